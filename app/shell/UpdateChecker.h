// Looks for a newer Clipwell in an appcast feed (an RSS feed in the software-update format: each <item>
// has a sparkle:version, or an <enclosure> carrying it, a title, release notes as <description> or a
// sparkle:releaseNotesLink, and a <link>). It only reads the feed and tells; it never downloads or
// installs anything: packages update through the system.
//
// The feed's address is the build setting CLIPWELL_APPCAST_URL (empty by default: then there is
// nothing to check and the outcome says that updates come with the system's packages);
// $CLIPWELL_APPCAST_URL overrides it, for trying a feed. Versions compare as dotted numbers
// ("2.10" > "2.9"). A feed that cannot be fetched, does not answer within the time limit or cannot be
// read is a failure with a reason. Main thread; one check at a time (a second request while one runs
// is ignored); finished() is emitted exactly once per started check.
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <QNetworkReply>

class UpdateChecker : public QObject {
    Q_OBJECT
public:
    struct Result {
        enum Outcome { NewerVersion, UpToDate, Failed, NotConfigured } outcome = Failed;
        QString version;      // the newest version the feed offers
        QString title;        // its item's title
        QString releaseNotes; // HTML or text, as the feed gives it
        QUrl link;            // the page to read more or to get it
        QString reason;       // why it failed
    };

    explicit UpdateChecker(QObject* parent = nullptr);

    // The feed in use: $CLIPWELL_APPCAST_URL, else the build setting; empty when there is none.
    static QUrl feedUrl();
    // This program's version, as the feed's items state theirs.
    static QString currentVersion();
    // -1, 0 or 1 as `a` is older than, the same as or newer than `b`.
    static int compareVersions(const QString& a, const QString& b);
    // The newest item of a feed compared with `current`; Failed with a reason for a feed that is not one.
    static Result evaluateFeed(const QByteArray& feed, const QString& current);

    void setTimeout(int milliseconds) { timeoutMs_ = milliseconds; }
    bool isChecking() const { return reply_ != nullptr; }
    // Starts a check of `url` (feedUrl() when empty); NotConfigured at once when there is no feed.
    void check(const QUrl& url = {});

signals:
    void finished(const UpdateChecker::Result& result);

private:
    void replyFinished();

    QNetworkAccessManager network_;
    QPointer<QNetworkReply> reply_;
    int timeoutMs_ = 15000;
};
