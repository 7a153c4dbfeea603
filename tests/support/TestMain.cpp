// Test programs run with a Qt application object on the main thread, so that main-thread dispatch,
// timers and QImage work as they do in the deliverables.
#include <QCoreApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("clipwell_tests"));
    return RUN_ALL_TESTS();
}
