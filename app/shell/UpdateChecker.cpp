#include "UpdateChecker.h"

#include "ClipwellVersion.h"

#include <QNetworkReply>
#include <QXmlStreamReader>

#include <algorithm>

namespace {

constexpr const char* kSparkleNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";

UpdateChecker::Result failure(const QString& reason)
{
    UpdateChecker::Result result;
    result.outcome = UpdateChecker::Result::Failed;
    result.reason = reason;
    return result;
}

struct Item {
    QString version, shortVersion, title, notes;
    QUrl link;
};

} // namespace

UpdateChecker::UpdateChecker(QObject* parent) : QObject(parent) {}

QUrl UpdateChecker::feedUrl()
{
    const QString configured = qEnvironmentVariable("CLIPWELL_APPCAST_URL", QStringLiteral(CLIPWELL_APPCAST_URL));
    return configured.isEmpty() ? QUrl() : QUrl(configured);
}

QString UpdateChecker::currentVersion() { return QStringLiteral(CLIPWELL_SHORT_VERSION "." CLIPWELL_BUILD_NUMBER); }

int UpdateChecker::compareVersions(const QString& a, const QString& b)
{
    const QStringList left = a.split(QLatin1Char('.')), right = b.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const qlonglong x = i < left.size() ? left[i].toLongLong() : 0;
        const qlonglong y = i < right.size() ? right[i].toLongLong() : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

UpdateChecker::Result UpdateChecker::evaluateFeed(const QByteArray& feed, const QString& current)
{
    QXmlStreamReader xml(feed);
    std::vector<Item> items;
    bool sawChannel = false;
    const QString sparkle = QString::fromLatin1(kSparkleNamespace);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("channel")) {
            sawChannel = true;
        } else if (xml.name() == QLatin1String("item")) {
            items.emplace_back();
        } else if (!items.empty()) {
            Item& item = items.back();
            const bool ours = xml.namespaceUri() == sparkle;
            if (ours && xml.name() == QLatin1String("version")) {
                item.version = xml.readElementText().trimmed();
            } else if (ours && xml.name() == QLatin1String("shortVersionString")) {
                item.shortVersion = xml.readElementText().trimmed();
            } else if (ours && xml.name() == QLatin1String("releaseNotesLink")) {
                item.link = QUrl(xml.readElementText().trimmed());
            } else if (xml.name() == QLatin1String("title") && xml.namespaceUri().isEmpty()) {
                item.title = xml.readElementText().trimmed();
            } else if (xml.name() == QLatin1String("description") && xml.namespaceUri().isEmpty()) {
                item.notes = xml.readElementText().trimmed();
            } else if (xml.name() == QLatin1String("link") && xml.namespaceUri().isEmpty() && item.link.isEmpty()) {
                item.link = QUrl(xml.readElementText().trimmed());
            } else if (xml.name() == QLatin1String("enclosure")) {
                const QXmlStreamAttributes attributes = xml.attributes();
                if (item.version.isEmpty())
                    item.version = attributes.value(sparkle, QStringLiteral("version")).toString().trimmed();
                if (item.shortVersion.isEmpty())
                    item.shortVersion = attributes.value(sparkle, QStringLiteral("shortVersionString")).toString().trimmed();
            }
        }
    }
    if (xml.hasError())
        return failure(QStringLiteral("The update feed cannot be read: %1 (line %2).").arg(xml.errorString()).arg(xml.lineNumber()));
    if (!sawChannel)
        return failure(QStringLiteral("The update feed is not an appcast: it has no channel."));
    std::erase_if(items, [](const Item& item) { return item.version.isEmpty() && item.shortVersion.isEmpty(); });
    if (items.empty())
        return failure(QStringLiteral("The update feed names no version."));
    auto versionOf = [](const Item& item) { return item.version.isEmpty() ? item.shortVersion : item.version; };
    const Item& newest = *std::max_element(items.begin(), items.end(),
                                           [&](const Item& a, const Item& b) { return compareVersions(versionOf(a), versionOf(b)) < 0; });
    Result result;
    result.version = newest.shortVersion.isEmpty() ? newest.version : newest.shortVersion;
    result.title = newest.title;
    result.releaseNotes = newest.notes;
    result.link = newest.link;
    result.outcome = compareVersions(versionOf(newest), current) > 0 ? Result::NewerVersion : Result::UpToDate;
    return result;
}

void UpdateChecker::check(const QUrl& url)
{
    if (reply_)
        return;
    const QUrl feed = url.isEmpty() ? feedUrl() : url;
    if (feed.isEmpty()) {
        Result result;
        result.outcome = Result::NotConfigured;
        emit finished(result);
        return;
    }
    QNetworkRequest request(feed);
    request.setTransferTimeout(timeoutMs_);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Clipwell/%1").arg(currentVersion()));
    reply_ = network_.get(request);
    connect(reply_, &QNetworkReply::finished, this, &UpdateChecker::replyFinished);
}

void UpdateChecker::replyFinished()
{
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        const QString reason = reply->error() == QNetworkReply::OperationCanceledError
                                   ? QStringLiteral("The update server did not answer in time.")
                                   : QStringLiteral("The update feed cannot be fetched: %1.").arg(reply->errorString());
        emit finished(failure(reason));
        return;
    }
    emit finished(evaluateFeed(reply->readAll(), currentVersion()));
}
