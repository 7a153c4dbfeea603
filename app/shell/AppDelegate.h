// The application object's companion: at launch it makes the bookmark manager log its steps, plays
// sound through Qt Multimedia, shows export progress on the taskbar, and keeps the folder granted to
// clipwell_cli (sandboxFolder, restored from the user defaults' "SandboxFolderBookmark"). It owns the
// preferences window, made on first use and reused.
//
// Main thread. A bookmark that no longer resolves leaves no folder selected, silently; a folder that
// cannot be stored stays selected for this run only, and the bookmark manager's log says why.
#pragma once

#include <QObject>
#include <QPointer>

class PreferencesController;
class TaskbarProgress;

class AppDelegate : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kSandboxFolderBookmarkKey = "SandboxFolderBookmark";

    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void showPreferences();
    PreferencesController* preferencesController() const;

    const QString& sandboxFolder() const { return sandboxFolder_; }
    void loadSandboxFolderBookmark();
    // An empty folder withdraws the grant.
    void saveSandboxFolderBookmark(const QString& folder);

private:
    QString sandboxFolder_;
    TaskbarProgress* taskbarProgress_ = nullptr;
    QPointer<PreferencesController> preferencesController_;
};
