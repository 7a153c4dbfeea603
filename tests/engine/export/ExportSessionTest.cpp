// Export sessions' lifetime: a session may lose its last reference on a worker thread, but it owns
// main-thread objects, so it must be deleted on the main thread.
#include "CWExportProject.h"
#include "CWExportSession.h"
#include "CWPreset.h"
#include "MediaAsset.h"
#include "support/TestMedia.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <thread>

using namespace TestMedia;

namespace {
QStringList warnings;
void collect(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg)
        warnings << message;
}
} // namespace

TEST(CWExportSession, LastReferenceReleasedOnAWorkerDeletesOnTheMainThread)
{
    CWPreset::registerStandardPresets();
    Error error;
    auto asset = MediaAsset::open(fps25(), &error);
    ASSERT_TRUE(asset) << error.message.toStdString();
    auto preset = CWPreset::classWithIdentifier(QStringLiteral("passthrough"))->create();
    auto project = CWExportProject::fromAsset(asset, std::vector<std::shared_ptr<CWExcludedSegment>>{}, preset, CWProjectConfiguration::defaultConfiguration(), &error);
    ASSERT_TRUE(project) << error.message.toStdString();
    auto session = CWExportSession::exportProject(project, folder() + QStringLiteral("/session.mp4"), preset, &error);
    ASSERT_TRUE(session) << error.message.toStdString();
    std::optional<int64_t> status;
    session->startExport([](double, CMTime) { return true; }, [&](const std::optional<Error>&, int64_t s) { status = s; });
    ASSERT_TRUE(runEventLoopUntil([&] { return status.has_value(); }));
    EXPECT_EQ(*status, CWExportStatusCompleted);

    // Its progress timer is still running; deleting it on the worker would stop it from the wrong thread.
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    std::weak_ptr<CWExportSession> weak = session;
    std::thread worker([held = std::move(session)]() mutable { held.reset(); });
    worker.join();
    EXPECT_TRUE(runEventLoopUntil([&] { return weak.expired(); }, 2000));
    QCoreApplication::processEvents();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('\n')).toStdString();
}
