// Pass-through joins as a viewer gets them: several kept pieces of B-frame H.264 and HEVC (also from
// Matroska, which states no decode times, MPEG-TS, which has no index, and MPEG-4 Part 2 in AVI, which
// states no presentation times) joined into one file. In the default (exact) mode the file shows
// exactly the kept frames in ffmpeg without any edit list per piece (pictures before a piece's first
// clean keyframe are encoded anew), states the kept length and plays to its end in GStreamer; in
// edit-list mode every track has an edit per piece that hides the lead-ins; copy-only begins each piece
// at its keyframe. Copied tracks keep their rotation; the pieces of a QuickTime source are QuickTime
// files. (What every player shows, seeks and sound included, is checked through the tool by
// cli_player_tests.)
#include "CWMultiFileExporter.h"
#include "CWPassThroughPreset.h"
#include "CWPreset.h"
#include "MediaAsset.h"
#include "Mp4EditList.h"
#include "support/EngineFixtures.h"
#include "support/TestMedia.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <cmath>

using namespace TestMedia;
using namespace EngineFixtures;

namespace {

struct JoinCase {
    const char* name;
    QString (*fixture)();
    double frameDuration; // seconds
    int frameCount;
    std::vector<std::pair<double, double>> cuts; // on frame boundaries
    int audioRate = 48000;
};

// The frames shown in the kept ranges when frame i starts at i × its duration, as numbered by the
// fixtures (modulo 256): what an edit list shows.
std::vector<int> keptByIndex(const JoinCase& c)
{
    std::vector<int> frames;
    for (int i = 0; i < c.frameCount; ++i) {
        const double t = (i + 0.5) * c.frameDuration;
        bool cut = false;
        for (const auto& [start, end] : c.cuts)
            cut = cut || (t > start && t < end);
        if (!cut)
            frames.push_back(i % 256);
    }
    return frames;
}

// The frames whose middle lies in a kept range, on the source's own timeline (its earliest stream at
// zero; AVI, which states the frames' order only, at i × the frame duration): what the exact mode keeps.
std::vector<int> keptByMiddle(const JoinCase& c, const QString& source)
{
    std::vector<double> times = probeFrameTimes(source);
    const double zero = probe(source).value(QStringLiteral("format")).toObject().value(QStringLiteral("start_time")).toString().toDouble();
    const bool byOrder = QFileInfo(source).suffix() == QLatin1String("avi");
    std::vector<int> frames;
    for (size_t i = 0; i < times.size(); ++i) {
        const double middle = (byOrder ? double(i) * c.frameDuration : times[i] - zero) + c.frameDuration / 2;
        bool cut = false;
        for (const auto& [start, end] : c.cuts)
            cut = cut || (middle >= start && middle < end);
        if (!cut)
            frames.push_back(int(i % 256));
    }
    return frames;
}

std::shared_ptr<CWExportProject> projectIn(PassthroughMode mode, const JoinCase& c, double* kept, std::shared_ptr<MediaAsset>* asset)
{
    CWPreset::registerStandardPresets();
    *asset = openAsset(c.fixture());
    if (!*asset)
        return nullptr;
    std::vector<std::shared_ptr<CWExcludedSegment>> cuts;
    *kept = CMTimeGetSeconds((*asset)->duration()); // Matroska's also counts the video's start delay
    for (const auto& [start, end] : c.cuts) {
        cuts.push_back(CWExcludedSegment::startingAt(CMTimeMakeWithSeconds(start, 1000), CMTimeMakeWithSeconds(end, 1000)));
        *kept -= end - start;
    }
    auto preset = CWPreset::classWithIdentifier(QStringLiteral("passthrough"))->create();
    std::dynamic_pointer_cast<CWPassThroughPreset>(preset)->setMode(mode);
    Error error;
    auto project = CWExportProject::fromAsset(*asset, cuts, preset, CWProjectConfiguration::defaultConfiguration(), &error);
    EXPECT_TRUE(project) << error.message.toStdString();
    return project;
}

class PassthroughJoin : public ::testing::TestWithParam<JoinCase> {};

std::string caseName(const ::testing::TestParamInfo<JoinCase>& info) { return info.param.name; }

} // namespace

TEST_P(PassthroughJoin, ExactShowsTheKeptFramesWithoutAnEditPerPiece)
{
    const JoinCase c = GetParam();
    double kept = 0;
    std::shared_ptr<MediaAsset> asset;
    auto project = projectIn(PassthroughMode::Exact, c, &kept, &asset);
    ASSERT_TRUE(project);
    const QString out = folder() + QStringLiteral("/exact-%1.mp4").arg(QString::fromLatin1(c.name));
    const SessionOutcome outcome = runSession(project, out);
    ASSERT_EQ(outcome.status, CWExportStatusCompleted) << (outcome.error ? outcome.error->message.toStdString() : "");

    const Decoded decoded = decode(out);
    EXPECT_TRUE(decoded.messages.isEmpty()) << decoded.messages.toStdString();
    EXPECT_EQ(decoded.frameNumbers, keptByMiddle(c, c.fixture()));
    // Whole packets at the joins: at most one audio frame more or less at each join and at the ends.
    EXPECT_NEAR(double(decoded.audioSamples), kept * c.audioRate, 1152.0 * double(c.cuts.size() + 2));
    // No edit per piece: a track begins at most with an empty edit (it starts later than the file),
    // and shows its media once; the movie states the kept length.
    const auto lists = readEditLists(out);
    ASSERT_TRUE(lists);
    ASSERT_EQ(lists->size(), 2u);
    for (const auto& [trackID, list] : *lists) {
        ASSERT_FALSE(list.mediaTimes.empty()) << "track " << trackID;
        EXPECT_LE(list.durations.size(), 2u) << "track " << trackID;
        EXPECT_NE(list.mediaTimes.back(), -1) << "track " << trackID;
    }
    EXPECT_NEAR(probe(out).value(QStringLiteral("format")).toObject().value(QStringLiteral("duration")).toString().toDouble(), kept, 0.05);
    QByteArray messages;
    EXPECT_TRUE(gstreamerDecodes(out, &messages)) << messages.toStdString();
    EXPECT_NEAR(gstreamerDuration(out), kept, 0.05);
}

TEST_P(PassthroughJoin, EditListsShowTheKeptFramesWithAnEditPerPiece)
{
    const JoinCase c = GetParam();
    double kept = 0;
    std::shared_ptr<MediaAsset> asset;
    auto project = projectIn(PassthroughMode::EditLists, c, &kept, &asset);
    ASSERT_TRUE(project);
    const QString out = folder() + QStringLiteral("/edit-lists-%1.mp4").arg(QString::fromLatin1(c.name));
    const SessionOutcome outcome = runSession(project, out);
    ASSERT_EQ(outcome.status, CWExportStatusCompleted) << (outcome.error ? outcome.error->message.toStdString() : "");

    const Decoded decoded = decode(out);
    EXPECT_TRUE(decoded.messages.isEmpty()) << decoded.messages.toStdString();
    EXPECT_EQ(decoded.frameNumbers, keptByIndex(c));
    // Every piece's audio edit is exact; ffmpeg rounds a later piece's start to its audio packet, so it
    // may give up to one audio frame (1,024 AAC or 1,152 MP3 samples) more or less at each join.
    const double samples = kept * c.audioRate;
    EXPECT_NEAR(double(decoded.audioSamples), samples, 1152.0 * double(c.cuts.size()) + 1);

    // One edit per piece in every track, together the kept length to the sample.
    const auto lists = readEditLists(out);
    ASSERT_TRUE(lists);
    ASSERT_EQ(lists->size(), 2u);
    for (const auto& [trackID, list] : *lists) {
        EXPECT_EQ(list.durations.size(), c.cuts.size() + 1) << "track " << trackID;
        EXPECT_EQ(list.movieTimescale, c.audioRate);
        EXPECT_EQ(list.trackDuration, uint64_t(std::llround(samples)));
    }
    EXPECT_NEAR(probe(out).value(QStringLiteral("format")).toObject().value(QStringLiteral("duration")).toString().toDouble(), kept, 0.001);
}

INSTANTIATE_TEST_SUITE_P(
    BFrames, PassthroughJoin,
    ::testing::Values(JoinCase{"Gop100At25", longGop25, 0.04, 300, {{2.2, 4.6}, {7.04, 8.0}}},
                      JoinCase{"OpenGopAt2997", openGop2997, 1001.0 / 30000, 180, {{1.001, 2.002}, {3.003, 4.004}}},
                      JoinCase{"Hevc10BitCra", hevc10Bit, 0.04, 200, {{1.2, 3.6}, {5.04, 6.0}}},
                      JoinCase{"MatroskaBFrames", matroskaBFrames, 0.04, 200, {{1.2, 3.6}, {5.04, 6.0}}, 44100},
                      JoinCase{"TransportStreamBFrames", transportStreamBFrames, 0.04, 200, {{1.2, 3.6}, {5.04, 6.0}}, 44100},
                      JoinCase{"Mpeg4BFramesInAvi", mpeg4BFramesAvi, 0.04, 200, {{1.2, 3.6}, {5.04, 6.0}}, 44100}),
    caseName);

// Copy-only: nothing is encoded anew, so each piece shows from the keyframe at or before its start.
TEST(Passthrough, CopyOnlyBeginsEachPieceAtItsKeyframe)
{
    const JoinCase c{"CopyOnly", longGop25, 0.04, 300, {{2.2, 4.6}}};
    double kept = 0;
    std::shared_ptr<MediaAsset> asset;
    auto project = projectIn(PassthroughMode::CopyOnly, c, &kept, &asset);
    ASSERT_TRUE(project);
    const QString out = folder() + QStringLiteral("/copy-only.mp4");
    const SessionOutcome outcome = runSession(project, out);
    ASSERT_EQ(outcome.status, CWExportStatusCompleted) << (outcome.error ? outcome.error->message.toStdString() : "");
    const Decoded decoded = decode(out);
    EXPECT_TRUE(decoded.messages.isEmpty()) << decoded.messages.toStdString();
    // 0–2.2 s, with the reference picture its last B-frames need; then from the keyframe at 4 s.
    ASSERT_GE(decoded.frameNumbers.size(), 56u + 200u);
    EXPECT_EQ(std::vector<int>(decoded.frameNumbers.begin(), decoded.frameNumbers.begin() + 55),
              keptByIndex({"", longGop25, 0.04, 55, {}}));
    const auto second = std::find(decoded.frameNumbers.begin(), decoded.frameNumbers.end(), 100);
    ASSERT_NE(second, decoded.frameNumbers.end());
    EXPECT_LE(second - decoded.frameNumbers.begin(), 58);
}

TEST(Passthrough, KeepsRotationAndWritesQuickTimePiecesOfAQuickTimeSource)
{
    CWPreset::registerStandardPresets();
    auto asset = openAsset(rotatedMov());
    ASSERT_TRUE(asset);
    const QString dir = folder() + QStringLiteral("/rotated-pieces");
    QDir().mkpath(dir);
    auto exporter = CWMultiFileExporter::exportAsset(asset, CWPreset::classWithIdentifier(QStringLiteral("passthrough"))->create(),
                                                     {CWExcludedSegment::startingAt(CMTimeMake(1, 1), CMTimeMake(1, 1))},
                                                     CWProjectConfiguration::defaultConfiguration());
    std::optional<int64_t> status;
    exporter->setProgressHandler([](double, CMTime) { return true; }, [&](const std::optional<Error>&, int64_t s) { status = s; });
    exporter->exportProjectTo(dir);
    ASSERT_TRUE(runEventLoopUntil([&] { return status.has_value(); }, 60000));
    ASSERT_EQ(*status, CWExportStatusCompleted);

    const auto rotation = [](const QString& path) {
        for (const QJsonValue& stream : probe(path).value(QStringLiteral("streams")).toArray())
            for (const QJsonValue& side : stream.toObject().value(QStringLiteral("side_data_list")).toArray())
                if (side.toObject().contains(QStringLiteral("rotation")))
                    return side.toObject().value(QStringLiteral("rotation")).toInt();
        return 0;
    };
    const QStringList pieces = QDir(dir).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(pieces.size(), 2) << pieces.join(QLatin1Char(' ')).toStdString();
    ASSERT_NE(rotation(rotatedMov()), 0);
    for (const QString& piece : pieces) {
        EXPECT_TRUE(piece.endsWith(QStringLiteral(".mov"))) << piece.toStdString();
        const QString path = dir + QLatin1Char('/') + piece;
        EXPECT_TRUE(probe(path)
                        .value(QStringLiteral("format"))
                        .toObject()
                        .value(QStringLiteral("format_name"))
                        .toString()
                        .contains(QStringLiteral("mov")));
        EXPECT_EQ(rotation(path), rotation(rotatedMov())) << piece.toStdString();
        const Decoded decoded = decode(path);
        EXPECT_TRUE(decoded.messages.isEmpty()) << decoded.messages.toStdString();
        EXPECT_EQ(decoded.frameNumbers.size(), 25u) << piece.toStdString();
    }
}

// Two audio tracks and a subtitle track: every track keeps the kept length (without an edit per piece),
// and both cues that overlap a kept piece are in the file, the one across the join too.
TEST(Passthrough, JoinsEveryTrackOfTheSource)
{
    auto project = exportProject(twoAudioAndSubtitle(), {{1.0, 2.52}}, "passthrough");
    ASSERT_TRUE(project);
    const QString out = folder() + QStringLiteral("/join-tracks.mp4");
    const SessionOutcome outcome = runSession(project, out);
    ASSERT_EQ(outcome.status, CWExportStatusCompleted) << (outcome.error ? outcome.error->message.toStdString() : "");

    const QJsonArray streams = probe(out).value(QStringLiteral("streams")).toArray();
    ASSERT_EQ(streams.size(), 4);
    for (const QJsonValue& stream : streams) {
        // The subtitle track's media ends with its last cue; the others' with the kept length.
        const double duration = stream.toObject().value(QStringLiteral("duration")).toString().toDouble();
        if (stream.toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String("subtitle"))
            EXPECT_LE(duration, 2.48 + 0.001);
        else
            EXPECT_NEAR(duration, 2.48, 0.001);
    }
    const auto lists = readEditLists(out);
    ASSERT_TRUE(lists);
    ASSERT_EQ(lists->size(), 4u);
    for (const auto& [track, list] : *lists) {
        EXPECT_LE(list.durations.size(), 2u) << "track " << track;
        EXPECT_EQ(list.trackDuration, uint64_t(2.48 * list.movieTimescale + 0.5)) << "track " << track;
    }

    const Decoded decoded = decode(out);
    EXPECT_TRUE(decoded.messages.isEmpty()) << decoded.messages.toStdString();
    std::vector<int> frames;
    for (int i = 0; i < 100; ++i)
        if (i < 25 || i >= 63) // the 1 s to 2.52 s cut
            frames.push_back(i);
    EXPECT_EQ(decoded.frameNumbers, frames);
    QByteArray cues, messages;
    run(QStringLiteral("ffmpeg"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), out, QStringLiteral("-map"), QStringLiteral("0:s"),
         QStringLiteral("-f"), QStringLiteral("srt"), QStringLiteral("-")},
        &cues, 60000, &messages);
    EXPECT_TRUE(cues.contains("Hello")) << cues.toStdString();
    EXPECT_TRUE(cues.contains("World")) << cues.toStdString();
    QByteArray gst;
    EXPECT_TRUE(gstreamerDecodes(out, &gst)) << gst.toStdString();
}

// Variable frame rate (25 fps for 1 s, then 12.5 fps), in MP4 with B-frames and in Matroska: every frame
// keeps its own time, and the join shows exactly the frames of the kept time.
TEST(Passthrough, JoinsVariableFrameRate)
{
    const auto start = [](int frame) { return frame < 25 ? frame * 0.04 : 1 + (frame - 25) * 0.08; };
    for (const QString& source : {variableFrameRateMp4(), variableFrameRate()}) {
        SCOPED_TRACE(source.toStdString());
        auto project = exportProject(source, {{start(15), start(38)}}, "passthrough");
        ASSERT_TRUE(project);
        const QString out = source + QStringLiteral(".joined.mp4");
        const SessionOutcome outcome = runSession(project, out);
        ASSERT_EQ(outcome.status, CWExportStatusCompleted) << (outcome.error ? outcome.error->message.toStdString() : "");
        std::vector<int> frames;
        for (int i = 0; i < 75; ++i)
            if (i < 15 || i >= 38)
                frames.push_back(i);
        const Decoded decoded = decode(out);
        EXPECT_TRUE(decoded.messages.isEmpty()) << decoded.messages.toStdString();
        EXPECT_EQ(decoded.frameNumbers, frames);
        // The frames after the join keep their 80 ms.
        const std::vector<double> times = probeFrameTimes(out);
        ASSERT_EQ(times.size(), frames.size());
        EXPECT_NEAR(times.back() - times[times.size() - 2], 0.08, 0.001);
        QByteArray messages;
        EXPECT_TRUE(gstreamerDecodes(out, &messages)) << messages.toStdString();
    }
}
