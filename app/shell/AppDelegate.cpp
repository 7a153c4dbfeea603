#include "AppDelegate.h"

#include "CWBookmarkManager.h"
#include "FolderBookmark.h"
#include "Player.h"
#include "PreferencesController.h"
#include "QtAudioOutput.h"
#include "TaskbarProgress.h"
#include "UserDefaults.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QPushButton>
#include <QTimer>

namespace {
constexpr qint64 kCheckIntervalSeconds = 24 * 60 * 60;
constexpr int kScheduleTickMs = 60 * 60 * 1000; // how often a running application looks at the clock
} // namespace

AppDelegate::AppDelegate(QObject* parent) : QObject(parent), updateChecker_(new UpdateChecker(this))
{
    loadSandboxFolderBookmark();
    connect(updateChecker_, &UpdateChecker::finished, this,
            [this](const UpdateChecker::Result& result) { showUpdateResult(result, std::exchange(userInitiatedCheck_, false)); });
}

AppDelegate::~AppDelegate()
{
    delete preferencesController_.data();
    delete updateAlert_.data();
}

void AppDelegate::applicationDidFinishLaunching()
{
    CWBookmarkManager::sharedManager().setVerbose(true);
    Player::setAudioOutputFactory([] { return std::make_unique<QtAudioOutput>(); });
    taskbarProgress_ = new TaskbarProgress(this);
    updateTimer_ = new QTimer(this);
    connect(updateTimer_, &QTimer::timeout, this, &AppDelegate::checkForUpdatesInBackground);
    updateTimer_->start(kScheduleTickMs);
    checkForUpdatesInBackground();
}

bool AppDelegate::automaticallyChecksForUpdates() { return UserDefaults::boolForKey(QString::fromLatin1(kAutomaticChecksKey), true); }

void AppDelegate::setAutomaticallyChecksForUpdates(bool on) { UserDefaults::setBool(QString::fromLatin1(kAutomaticChecksKey), on); }

void AppDelegate::checkForUpdates()
{
    userInitiatedCheck_ = true;
    if (updateChecker_->isChecking()) // the scheduled check that runs answers the user too
        return;
    UserDefaults::setString(QString::fromLatin1(kLastCheckTimeKey), QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    updateChecker_->check();
}

bool AppDelegate::checkForUpdatesInBackground()
{
    if (!automaticallyChecksForUpdates() || UpdateChecker::feedUrl().isEmpty() || updateChecker_->isChecking())
        return false;
    const QDateTime last = QDateTime::fromString(UserDefaults::stringForKey(QString::fromLatin1(kLastCheckTimeKey)), Qt::ISODate);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // A last check in the future (a clock set back) does not hold the next one off for ever.
    if (last.isValid() && last <= now && last.secsTo(now) < kCheckIntervalSeconds)
        return false;
    UserDefaults::setString(QString::fromLatin1(kLastCheckTimeKey), now.toString(Qt::ISODate));
    updateChecker_->check();
    return true;
}

void AppDelegate::showUpdateResult(const UpdateChecker::Result& result, bool userInitiated)
{
    if (!userInitiated && result.outcome != UpdateChecker::Result::NewerVersion)
        return;
    delete updateAlert_.data();
    auto* alert = new QMessageBox;
    alert->setObjectName(QStringLiteral("updateAlert"));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowTitle(tr("Software Update"));
    switch (result.outcome) {
    case UpdateChecker::Result::NewerVersion: {
        alert->setIcon(QMessageBox::Information);
        alert->setText(tr("A new version of Clipwell is available!"));
        alert->setInformativeText(tr("Clipwell %1 is now available—you have %2.").arg(result.version, UpdateChecker::currentVersion()) +
                                  (result.releaseNotes.isEmpty() ? QString() : QStringLiteral("<br><br>") + result.releaseNotes));
        alert->setTextFormat(Qt::RichText);
        QPushButton* more = alert->addButton(tr("Learn More…"), QMessageBox::AcceptRole);
        more->setObjectName(QStringLiteral("learnMoreButton"));
        more->setEnabled(result.link.isValid());
        alert->addButton(tr("Later"), QMessageBox::RejectRole);
        const QUrl link = result.link;
        connect(more, &QPushButton::clicked, alert, [link] { QDesktopServices::openUrl(link); });
        break;
    }
    case UpdateChecker::Result::UpToDate:
        alert->setIcon(QMessageBox::Information);
        alert->setText(tr("You’re up to date!"));
        alert->setInformativeText(tr("Clipwell %1 is currently the newest version available.").arg(UpdateChecker::currentVersion()));
        alert->addButton(tr("OK"), QMessageBox::AcceptRole);
        break;
    case UpdateChecker::Result::Failed:
        alert->setIcon(QMessageBox::Warning);
        alert->setText(tr("Update Error!"));
        alert->setInformativeText(tr("An error occurred in retrieving update information. Please try again later.") + QLatin1Char(' ') +
                                  result.reason);
        alert->addButton(tr("OK"), QMessageBox::AcceptRole);
        break;
    case UpdateChecker::Result::NotConfigured:
        alert->setIcon(QMessageBox::Information);
        alert->setText(tr("Updates come with your system"));
        alert->setInformativeText(tr("This copy of Clipwell is updated by your system’s package manager, together with the rest of "
                                     "your software (for example with “sudo apt upgrade”)."));
        alert->addButton(tr("OK"), QMessageBox::AcceptRole);
        break;
    }
    updateAlert_ = alert;
    alert->open();
}

PreferencesController* AppDelegate::preferencesController() const { return preferencesController_; }

void AppDelegate::showPreferences()
{
    if (!preferencesController_)
        preferencesController_ = new PreferencesController(this);
    preferencesController_->show();
    preferencesController_->raise();
    preferencesController_->activateWindow();
}

void AppDelegate::loadSandboxFolderBookmark()
{
    const QByteArray data = UserDefaults::dataForKey(QString::fromLatin1(kSandboxFolderBookmarkKey));
    if (data.isEmpty())
        return;
    bool stale = false;
    if (const std::optional<QString> folder = FolderBookmark::resolve(data, &stale, nullptr))
        sandboxFolder_ = *folder; // a stale bookmark is used as it resolves
}

void AppDelegate::saveSandboxFolderBookmark(const QString& folder)
{
    const QString key = QString::fromLatin1(kSandboxFolderBookmarkKey);
    if (folder.isEmpty()) {
        sandboxFolder_.clear();
        CWBookmarkManager::sharedManager().removeBookmark();
        UserDefaults::removeObjectForKey(key);
        return;
    }
    sandboxFolder_ = folder;
    Error error;
    const bool shared = CWBookmarkManager::sharedManager().createBookmarkForFolder(folder, &error);
    const std::optional<QByteArray> own = FolderBookmark::create(folder, &error);
    if (shared && own)
        UserDefaults::setData(key, *own);
}
