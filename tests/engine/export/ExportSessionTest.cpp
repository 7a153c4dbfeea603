// Every export session driven directly (a composition in, a file out), judged by what ffmpeg decodes
// from the file; and the sessions' lifetime: a session may lose its last reference on a worker thread,
// but it owns main-thread objects, so it must be deleted on the main thread.
#include "CWExportProject.h"
#include "CWExportSession.h"
#include "CWPreset.h"
#include "MediaAsset.h"
#include "QoaDecoder.h"
#include "support/EngineFixtures.h"
#include "support/TestMedia.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <thread>

using namespace TestMedia;
using namespace EngineFixtures;

namespace {

struct SessionCase {
    const char* preset;
    const char* file;
    const char* videoCodec; // null: no video in the output
    const char* audioCodec;
    bool twoPieces;          // cut 2–4 s (a join) rather than 0–2 s
    int64_t sampleTolerance; // 0: every sample exactly
};

// Frames of the 10-s 25 fps fixture (each showing its number) that remain after the cut.
std::vector<int> keptFrames(bool twoPieces)
{
    std::vector<int> frames;
    for (int i = 0; i < 250; ++i)
        if (twoPieces ? (i < 50 || i >= 100) : i >= 50)
            frames.push_back(i);
    return frames;
}

class SessionTest : public ::testing::TestWithParam<SessionCase> {};

std::string caseName(const ::testing::TestParamInfo<SessionCase>& info) { return info.param.preset; }

} // namespace

// 8 s of a B-frame H.264 + AAC source remain; each session's file shows exactly those frames and
// holds exactly (lossless) or nearly (lossy codecs' frame padding) those 384,000 samples per channel.
TEST_P(SessionTest, ExportsTheKeptMaterial)
{
    const SessionCase c = GetParam();
    auto project = exportProject(h264WithBFrames(), {c.twoPieces ? std::pair{2.0, 4.0} : std::pair{0.0, 2.0}}, c.preset);
    ASSERT_TRUE(project);
    const QString out = folder() + QStringLiteral("/session-") + QString::fromLatin1(c.file);
    const SessionOutcome outcome = runSession(project, out);
    ASSERT_EQ(outcome.status, CWExportStatusCompleted) << (outcome.error ? outcome.error->message.toStdString() : "");

    if (QString::fromLatin1(c.audioCodec) == QLatin1String("qoa")) {
        // Neither ffprobe nor ffmpeg 5.1 reads QOA: the tests' own decoder judges it.
        QFile file(out);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray raw = file.readAll();
        const auto decoded = decodeQoa(std::vector<uint8_t>(raw.begin(), raw.end()));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->samples, 384000u);
        EXPECT_EQ(decoded->interleaved.size(), size_t(decoded->samples) * 2);
        return;
    }
    const QJsonArray streams = probe(out).value(QStringLiteral("streams")).toArray();
    QStringList codecs;
    for (const QJsonValue& stream : streams)
        if (!stream.toObject().value(QStringLiteral("disposition")).toObject().value(QStringLiteral("attached_pic")).toInt())
            codecs << stream.toObject().value(QStringLiteral("codec_name")).toString();
    QStringList expected;
    if (c.videoCodec)
        expected << QString::fromLatin1(c.videoCodec);
    expected << QString::fromLatin1(c.audioCodec);
    codecs.sort();
    expected.sort();
    EXPECT_EQ(codecs, expected);
    const Decoded decoded = decode(out);
    EXPECT_TRUE(decoded.messages.isEmpty()) << decoded.messages.toStdString();
    if (c.videoCodec) {
        EXPECT_EQ(decoded.frameNumbers, keptFrames(c.twoPieces));
    }
    EXPECT_NEAR(double(decoded.audioSamples), 384000.0, double(c.sampleTolerance));
}

INSTANTIATE_TEST_SUITE_P(EverySession, SessionTest,
                         ::testing::Values(SessionCase{"passthrough", "copy.mp4", "h264", "aac", false, 1024},
                                           SessionCase{"h264", "h264.mp4", "h264", "aac", true, 1024},
                                           SessionCase{"h265", "h265.mp4", "hevc", "aac", true, 1024},
                                           SessionCase{"low", "low.mp4", "h264", "aac", true, 1024},
                                           SessionCase{"m4a", "audio.m4a", nullptr, "aac", true, 1024},
                                           SessionCase{"alac", "lossless.m4a", nullptr, "alac", true, 0},
                                           SessionCase{"flac", "lossless.flac", nullptr, "flac", true, 0},
                                           SessionCase{"lame", "audio.mp3", nullptr, "mp3", true, 1152},
                                           SessionCase{"qoa", "audio.qoa", nullptr, "qoa", true, 0}),
                         caseName);

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
    auto project = exportProject(fps25(), {});
    ASSERT_TRUE(project);
    Error error;
    auto session = CWExportSession::exportProject(project, folder() + QStringLiteral("/session.mp4"), project->preset(), &error);
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
