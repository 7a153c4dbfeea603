// The application object's companion: at launch it makes the bookmark manager log its steps, plays
// sound through Qt Multimedia, shows export progress on the taskbar, and keeps the folder granted to
// clipwell_cli (sandboxFolder, restored from the user defaults' "SandboxFolderBookmark"). It owns the
// preferences window, made on first use and reused. It answers "Check for Updates" (each outcome in an
// alert) and, when the user leaves automatic checks on ("SUEnableAutomaticChecks"), looks for a newer
// version at most once a day ("SULastCheckTime"), saying something only when there is one.
//
// Main thread. A bookmark that no longer resolves leaves no folder selected, silently; a folder that
// cannot be stored stays selected for this run only, and the bookmark manager's log says why.
#pragma once

#include "UpdateChecker.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

class PreferencesController;
class TaskbarProgress;
class QTimer;

class AppDelegate : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kSandboxFolderBookmarkKey = "SandboxFolderBookmark";
    static constexpr const char* kAutomaticChecksKey = "SUEnableAutomaticChecks";
    static constexpr const char* kLastCheckTimeKey = "SULastCheckTime";

    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void showPreferences();
    PreferencesController* preferencesController() const;

    const QString& sandboxFolder() const { return sandboxFolder_; }
    void loadSandboxFolderBookmark();
    // An empty folder withdraws the grant.
    void saveSandboxFolderBookmark(const QString& folder);

    // The menu's check: its outcome, whatever it is, in an alert.
    void checkForUpdates();
    // The scheduled check: runs when automatic checks are on, a feed is set and the last check is a day
    // old; tells only of a newer version. True when it started one.
    bool checkForUpdatesInBackground();
    static bool automaticallyChecksForUpdates();
    static void setAutomaticallyChecksForUpdates(bool on);
    UpdateChecker* updateChecker() const { return updateChecker_; }
    QMessageBox* updateAlert() const { return updateAlert_; }

private:
    void showUpdateResult(const UpdateChecker::Result& result, bool userInitiated);

    QString sandboxFolder_;
    TaskbarProgress* taskbarProgress_ = nullptr;
    QPointer<PreferencesController> preferencesController_;
    UpdateChecker* updateChecker_ = nullptr;
    QTimer* updateTimer_ = nullptr;
    bool userInitiatedCheck_ = false;
    QPointer<QMessageBox> updateAlert_;
};
