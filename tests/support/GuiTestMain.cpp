// GUI test programs run with a QApplication on the real X server the test script starts (DISPLAY),
// and play sound through its PulseAudio server; run by hand without a display they fall back to
// Qt's offscreen platform. Each program has a D-Bus session bus of its own (when dbus-daemon is
// installed), so what the application says on the bus reaches the test and never the user's desktop.
#include "CWEditMemory.h"

#include <QApplication>
#include <QFileInfo>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {
pid_t startPrivateSessionBus()
{
    FILE* daemon = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null", "r");
    if (!daemon)
        return 0;
    char address[1024] = {};
    char pid[64] = {};
    const bool read = std::fgets(address, sizeof address, daemon) && std::fgets(pid, sizeof pid, daemon);
    pclose(daemon);
    if (!read)
        return 0;
    std::string line(address);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    setenv("DBUS_SESSION_BUS_ADDRESS", line.c_str(), 1);
    return pid_t(std::atoi(pid));
}
} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const pid_t bus = startPrivateSessionBus();
    int status = 0;
    {
        QApplication app(argc, argv);
        // Settings of their own (recent files, the folder grant), as test programs run side by side.
        QApplication::setApplicationName(QFileInfo(QString::fromLocal8Bit(argv[0])).fileName());
        // Tests open the same fixtures again and again: no edits come back unless a test asks for them.
        CWEditMemory::setEnabled(false);
        status = RUN_ALL_TESTS();
    }
    if (bus > 0)
        kill(bus, SIGTERM);
    // Qt Multimedia's PulseAudio engine is a global torn down after main returns, and libpulse then
    // now and then aborts on an assertion of its own (mainloop.c: io_events_please_scan), after every
    // test has passed and been reported. The program ends here instead, once the leak check (in
    // sanitized builds) has run.
    std::fflush(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
    _exit(status);
}
