#include "AppDelegate.h"

#include "CWBookmarkManager.h"
#include "FolderBookmark.h"
#include "Player.h"
#include "PreferencesController.h"
#include "QtAudioOutput.h"
#include "TaskbarProgress.h"
#include "UserDefaults.h"

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) { loadSandboxFolderBookmark(); }

AppDelegate::~AppDelegate() { delete preferencesController_.data(); }

void AppDelegate::applicationDidFinishLaunching()
{
    CWBookmarkManager::sharedManager().setVerbose(true);
    Player::setAudioOutputFactory([] { return std::make_unique<QtAudioOutput>(); });
    taskbarProgress_ = new TaskbarProgress(this);
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
