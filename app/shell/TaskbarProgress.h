// Export progress on the application's taskbar entry: the com.canonical.Unity.LauncherEntry D-Bus
// signal for the installed desktop file, which KDE Plasma, Dash to Dock and other docks show. It
// follows the process-wide export notifications: 0 when an export starts, the progress numbers
// (0 to 100) as fractions while it runs, cleared when it has ended. Several documents exporting at once
// share the one indicator, which stays until the last of them has ended.
//
// Main thread. Without a session bus nothing is shown and nothing fails.
#pragma once

#include <QObject>

class TaskbarProgress : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kLauncherEntry = "application://io.clipwell.Clipwell.desktop";
    static constexpr const char* kObjectPath = "/io/clipwell/Clipwell/LauncherEntry";

    explicit TaskbarProgress(QObject* parent = nullptr);

    void startProgress();
    void updateProgress(double progress); // 0 to 100
    void endProgress();

private:
    void send(bool visible, double fraction);
    int running_ = 0;
    int lastPercent_ = 0; // the whole percent sent last
};
