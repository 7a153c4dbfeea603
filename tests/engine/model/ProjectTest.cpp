#include "CWExcludedSegment.h"
#include "CWPreset.h"
#include "CWProject.h"
#include "CWProjectExporter.h"
#include "CWTimelineSnapshot.h"
#include "CWUndoStack.h"
#include "CWUtility.h"
#include "MediaAsset.h"
#include "support/TestMedia.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace TestMedia;

namespace {

CMTime s(int64_t seconds) { return CMTimeMake(seconds, 1); }

std::shared_ptr<CWProject> projectFor(const QString& path)
{
    Error error;
    auto asset = MediaAsset::open(path, &error);
    EXPECT_TRUE(asset) << error.message.toStdString();
    return CWProject::forAVAsset(asset, CWProject::Options{false});
}

// The segment list as (start, stop) pairs in seconds.
std::vector<std::pair<double, double>> segments(const CWProject& project)
{
    std::vector<std::pair<double, double>> result;
    for (const auto& segment : project.splits())
        result.emplace_back(CMTimeGetSeconds(segment->start()), CMTimeGetSeconds(segment->stop()));
    return result;
}

using Pairs = std::vector<std::pair<double, double>>;

} // namespace

TEST(CWProject, CutsPairUpAndMapTargetTimes)
{
    auto project = projectFor(silence(60));
    EXPECT_EQ(project->duration(), s(60));
    EXPECT_TRUE(project->addCutAt(s(10)));
    EXPECT_EQ(segments(*project), (Pairs{{10, 60}}));
    EXPECT_TRUE(project->addCutAt(s(20)));
    EXPECT_EQ(segments(*project), (Pairs{{10, 20}}));
    EXPECT_EQ(project->currentTargetDuration(), s(50));
    EXPECT_EQ(project->targetTimeFromSourceTime(s(30)), s(20));
    EXPECT_EQ(project->targetTimeFromSourceTime(s(5)), s(5));
    EXPECT_FALSE(CMTIME_IS_VALID(project->targetTimeFromSourceTime(s(15))));
    EXPECT_FALSE(CMTIME_IS_VALID(project->targetTimeFromSourceTime(s(20))));
    EXPECT_FALSE(CMTIME_IS_VALID(project->targetTimeFromSourceTime(s(10))));
    EXPECT_EQ(project->nextSplitTimeAfter(s(5)), s(10));
    EXPECT_EQ(project->nextSplitTimeAfter(s(10)), s(60));

    auto longer = projectFor(silence(120));
    EXPECT_TRUE(longer->addCutAt(s(0)));
    EXPECT_TRUE(longer->addCutAt(s(90)));
    EXPECT_EQ(segments(*longer), (Pairs{{0, 90}}));
}

TEST(CWProject, SplitPointsAreRefusedWhereTheyCannotGo)
{
    auto project = projectFor(silence(60));
    EXPECT_TRUE(project->addSplitAt(s(30)));
    EXPECT_FALSE(project->addSplitAt(s(30)));
    EXPECT_FALSE(project->addSplitAt(CMTimeMake(30000, 1000)));
    EXPECT_FALSE(project->addSplitAt(s(61)));
    EXPECT_FALSE(project->addSplitAt(s(-1)));
    EXPECT_FALSE(project->addSplitAt(kCMTimeInvalid));
    EXPECT_TRUE(project->addSplitAt(s(60)));
    EXPECT_EQ(segments(*project), (Pairs{{30, 30}, {60, 60}}));
    // A cut at a split point changes nothing and succeeds, without an undo step.
    CWUndoStack undo;
    project->useUndoManager(&undo);
    EXPECT_TRUE(project->addCutAt(s(30)));
    EXPECT_EQ(segments(*project), (Pairs{{30, 30}, {60, 60}}));
    EXPECT_FALSE(undo.canUndo());
    // A cut before a split point runs to it and absorbs it.
    EXPECT_TRUE(project->addCutAt(s(10)));
    EXPECT_EQ(segments(*project), (Pairs{{10, 30}, {60, 60}}));
    // A cut before a cut joins the two.
    EXPECT_TRUE(project->addCutAt(s(5)));
    EXPECT_EQ(segments(*project), (Pairs{{5, 30}, {60, 60}}));
    // Beyond the end a cut cannot be made.
    EXPECT_FALSE(project->addCutAt(s(70)));
    EXPECT_FALSE(project->addCutAt(kCMTimeInvalid));
}

TEST(CWProject, RemovingAndWholeFileOperations)
{
    auto project = projectFor(silence(60));
    CWUndoStack undo;
    project->useUndoManager(&undo);
    project->addCutAt(s(10));
    project->addCutAt(s(20));
    // An edit that does not happen records no step: one undo goes back before the second cut end.
    EXPECT_FALSE(project->removeCutAt(s(40)));
    EXPECT_FALSE(project->addCutAt(s(70)));
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("Add Cut"));
    undo.undo();
    EXPECT_EQ(segments(*project), (Pairs{{10, 60}}));
    undo.redo();
    EXPECT_TRUE(project->removeCutAt(s(20))); // the stop is included
    EXPECT_TRUE(project->splits().empty());
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("Remove Cut"));

    project->splitFromStartToEnd();
    EXPECT_EQ(segments(*project), (Pairs{{0, 60}}));
    EXPECT_EQ(project->currentTargetDuration(), kCMTimeZero);
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("Split From Start to End"));
    project->removeAllSplits();
    EXPECT_TRUE(project->splits().empty());
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("Remove All Splits"));
}

// The list is ordered by exact start times, as every lookup compares them: two starts that are one and
// the same number of seconds as doubles still take their order.
TEST(CWProject, SegmentsAreOrderedByTheirExactStarts)
{
    auto project = projectFor(silence(60));
    const CMTime earlier = CMTimeMake(int64_t(1) << 53, 1 << 20), later = CMTimeMake((int64_t(1) << 53) + 1, 1 << 20);
    ASSERT_EQ(CMTimeGetSeconds(earlier), CMTimeGetSeconds(later));
    project->addSplit(CWExcludedSegment::startingAt(later, later));
    project->addSplit(CWExcludedSegment::startingAt(earlier, earlier));
    ASSERT_EQ(project->splits().size(), 2u);
    EXPECT_EQ(CMTimeCompare(project->splitAtIndex(0)->start(), earlier), 0);
    EXPECT_EQ(CMTimeCompare(project->splitAtIndex(1)->start(), later), 0);
}

TEST(CWProject, UndoAndRedoRestoreTheListAndNotifyAtOnce)
{
    auto project = projectFor(silence(60));
    CWUndoStack undo;
    project->useUndoManager(&undo);
    int changes = 0;
    QObject::connect(project.get(), &CWProject::projectChanged, [&] { ++changes; });
    project->addSplitAt(s(40));
    project->addCutAt(s(10)); // runs to the split point and absorbs it
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("Add Cut"));
    project->addCutAt(s(20));
    EXPECT_EQ(segments(*project), (Pairs{{10, 20}}));

    changes = 0;
    undo.undo();
    EXPECT_EQ(changes, 1) << "posted on the calling thread, before undo() returns";
    EXPECT_EQ(segments(*project), (Pairs{{10, 40}}));
    undo.undo();
    EXPECT_EQ(segments(*project), (Pairs{{40, 40}}));
    EXPECT_EQ(undo.redoActionName(), QStringLiteral("Add Cut"));
    undo.redo();
    EXPECT_EQ(segments(*project), (Pairs{{10, 40}}));
    undo.redo();
    EXPECT_EQ(segments(*project), (Pairs{{10, 20}}));
    EXPECT_EQ(changes, 4);
    // Restored segments are copies: editing them does not reach into the undo history.
    project->splitAtTime(s(15))->endAt(s(12));
    undo.undo();
    EXPECT_EQ(segments(*project), (Pairs{{10, 40}}));
    undo.redo();
    EXPECT_EQ(segments(*project), (Pairs{{10, 12}}));
}

TEST(CWProject, EditsNotifyOnTheMainThread)
{
    auto project = projectFor(silence(60));
    int changes = 0;
    QObject::connect(project.get(), &CWProject::projectChanged, [&] { ++changes; });
    project->addCutAt(s(10));
    EXPECT_EQ(changes, 0) << "queued, not immediate";
    ASSERT_TRUE(runEventLoopUntil([&] { return changes == 1; }));
    project->addCutAt(s(20)); // ends the existing cut
    project->removeCutAt(s(15));
    ASSERT_TRUE(runEventLoopUntil([&] { return changes == 3; }));
    project->removeAllSplits();
    project->splitFromStartToEnd();
    project->useVolumePercentage(25);
    runEventLoopUntil([] { return false; }, 100);
    EXPECT_EQ(changes, 3) << "whole-list operations and options post nothing";
}

// Every operation sees the segments queued by the ones before it, however busy the machine is.
TEST(CWProject, EditingOrderHoldsUnderLoad)
{
    std::atomic<bool> stop{false};
    std::vector<std::thread> load;
    for (int i = 0; i < 2; ++i)
        load.emplace_back([&] {
            volatile double x = 0;
            while (!stop)
                x = x + 1;
        });
    Error error;
    auto asset = MediaAsset::open(silence(120), &error);
    ASSERT_TRUE(asset);
    for (int round = 0; round < 300; ++round) {
        auto project = CWProject::forAVAsset(asset, CWProject::Options{false});
        ASSERT_TRUE(project->addCutAt(s(10)));
        ASSERT_TRUE(project->addCutAt(s(20)));
        ASSERT_TRUE(project->addCutAt(s(30)));
        ASSERT_TRUE(project->addCutAt(s(40)));
        ASSERT_TRUE(project->addSplitAt(s(50)));
        ASSERT_TRUE(project->addCutAt(s(45)));
        ASSERT_EQ(segments(*project), (Pairs{{10, 20}, {30, 40}, {45, 50}})) << "round " << round;
    }
    stop = true;
    for (auto& t : load)
        t.join();
}

TEST(CWProject, PresetSelectionFollowsTheCatalogue)
{
    CWPreset::registerStandardPresets();
    Error error;
    auto audio = MediaAsset::open(silence(60), &error);
    auto video = MediaAsset::open(fps25(), &error);
    ASSERT_TRUE(audio && video);
    auto qoa = CWPreset::classWithIdentifier(QStringLiteral("qoa"))->create();
    auto h265 = CWPreset::classWithIdentifier(QStringLiteral("h265"))->create();
    EXPECT_EQ(CWProject::selectPresetForAsset(*audio, qoa), qoa);
    EXPECT_EQ(CWProject::selectPresetForAsset(*video, h265), h265);
    // The last preset does not fit: the first class of the catalogue valid for the kind of source.
    EXPECT_EQ(CWProject::selectPresetForAsset(*video, qoa)->identifier(), QStringLiteral("h264"));
    EXPECT_EQ(CWProject::selectPresetForAsset(*audio, h265)->identifier(), QStringLiteral("alac"));
    EXPECT_EQ(CWProject::selectPresetForAsset(*audio, nullptr)->identifier(), QStringLiteral("alac"));

    auto project = CWProject::forAVAsset(audio, CWProject::Options{false});
    project->changePresetTo(qoa);
    EXPECT_EQ(CWPreset::lastPreset()->identifier(), QStringLiteral("qoa"));
    EXPECT_EQ(CWProject::forAVAsset(audio, CWProject::Options{false})->preset()->identifier(), QStringLiteral("qoa"));
    EXPECT_EQ(CWProject::forAVAsset(video, CWProject::Options{false})->preset()->identifier(), QStringLiteral("h264"));
    EXPECT_FALSE(project->usesPassthroughPreset());
    project->changePresetTo(CWPreset::classWithIdentifier(QStringLiteral("passthrough"))->create());
    EXPECT_TRUE(project->usesPassthroughPreset());
}

TEST(CWProject, OptionsArtworkAndMetadataReachTheConfiguration)
{
    auto project = projectFor(flac());
    project->useVolumePercentage(-50);
    project->useSelectedBitrate(128000);
    project->forceSmallArtwork();
    auto configuration = project->configuration();
    EXPECT_EQ(project->volumePercentage(), -50);
    EXPECT_EQ(project->selectedBitrate(), 128000);
    EXPECT_TRUE(configuration->enforceSmallArtwork());

    project->setCustomMetadata({{QStringLiteral("genre"), QStringLiteral("x")}});
    EXPECT_TRUE(configuration->additionalMetadata().empty());
    project->setCustomMetadata({{QStringLiteral("title"), QStringLiteral("T")}, {QStringLiteral("genre"), QStringLiteral("x")}});
    ASSERT_EQ(configuration->additionalMetadata().size(), 1u);
    EXPECT_EQ(configuration->additionalMetadata()[0].key, CommonMetadataKey::Title);
    EXPECT_EQ(configuration->additionalMetadata()[0].keySpace, MetadataKeySpace::Common);

    // Artwork: missing, empty and folder paths are refused with a debug line; a real file is taken.
    const QString emptyFile = folder() + QStringLiteral("/empty-art.png");
    QFile(emptyFile).open(QIODevice::WriteOnly);
    CWUtility::setDebugEnabled(true);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(project->useArtwork(folder() + QStringLiteral("/no-such.png")));
    EXPECT_FALSE(project->useArtwork(emptyFile));
    EXPECT_FALSE(project->useArtwork(folder()));
    const std::string log = testing::internal::GetCapturedStderr();
    CWUtility::setDebugEnabled(false);
    EXPECT_NE(log.find("DEBUG ArtWork: failed to load artwork from: " + emptyFile.toStdString()), std::string::npos);
    EXPECT_EQ(configuration->additionalMetadata().size(), 1u);
    const QString art =
        make(QStringLiteral("art.png"), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                         QStringLiteral("color=blue:s=32x32"), QStringLiteral("-frames:v"), QStringLiteral("1")});
    EXPECT_TRUE(project->useArtwork(art));
    ASSERT_EQ(configuration->additionalMetadata().size(), 2u);
    EXPECT_EQ(configuration->additionalMetadata()[1].commonKey, CommonMetadataKey::Artwork);
    EXPECT_TRUE(configuration->additionalMetadata()[1].dataValue().startsWith("\x89PNG"));

    // The file's own tags are appended on every exporter request.
    ASSERT_TRUE(project->extractedMetadata());
    const size_t extracted = project->extractedMetadata()->size();
    EXPECT_EQ(extracted, 2u); // title and artist of the FLAC fixture
    CWProjectExporter::singleFile(*project);
    CWProjectExporter::filePerPiece(*project);
    EXPECT_EQ(configuration->additionalMetadata().size(), 2 + 2 * extracted);

    // Not an audio file: nothing extracted.
    EXPECT_FALSE(projectFor(fps25())->extractedMetadata());
}

TEST(CWProject, TheTimelineSnapshotHoldsTheSegments)
{
    auto project = projectFor(silence(60));
    project->addSplitAt(s(15));
    project->addCutAt(s(30));
    project->addCutAt(s(45));
    const CWTimelineSnapshot snapshot = project->timelineSnapshot();
    EXPECT_EQ(snapshot.duration, project->duration());
    ASSERT_EQ(snapshot.splits.size(), 2u);
    EXPECT_EQ(snapshot.splits[0]->start(), s(15));
    EXPECT_TRUE(snapshot.splits[0]->isSplitPoint());
    EXPECT_EQ(snapshot.splits[1]->start(), s(30));
    EXPECT_EQ(snapshot.splits[1]->stop(), s(45));
    EXPECT_TRUE(project->thumbnailAt(s(3))->isMissing());
    EXPECT_FALSE(project->splitAtIndex(7));
    EXPECT_EQ(project->splitAtIndex(1)->start(), s(30));
}

TEST(CWProject, LookupsFindTheFirstOfTouchingSegmentsAndTheNextStart)
{
    auto project = projectFor(silence(60));
    // Out of order, with a split point where two cuts touch.
    project->addSplit(CWExcludedSegment::startingAt(s(30), s(40)));
    project->addSplit(CWExcludedSegment::startingAt(s(10), s(20)));
    project->addSplit(CWExcludedSegment::startingAt(s(20), s(20)));
    project->addSplit(CWExcludedSegment::startingAt(s(50), s(50)));
    EXPECT_EQ(segments(*project), (Pairs{{10, 20}, {20, 20}, {30, 40}, {50, 50}}));
    EXPECT_EQ(project->splitAtTime(s(20)), project->splitAtIndex(0)) << "the first that includes the time";
    EXPECT_EQ(project->splitAtTime(s(15)), project->splitAtIndex(0));
    EXPECT_EQ(project->splitAtTime(s(40)), project->splitAtIndex(2));
    EXPECT_EQ(project->splitAtTime(s(50)), project->splitAtIndex(3));
    EXPECT_FALSE(project->splitAtTime(s(25)));
    EXPECT_FALSE(project->splitAtTime(s(5)));
    EXPECT_FALSE(project->splitAtTime(s(45)));
    EXPECT_EQ(CMTimeCompare(project->nextSplitTimeAfter(s(5)), s(10)), 0);
    EXPECT_EQ(CMTimeCompare(project->nextSplitTimeAfter(s(20)), s(30)), 0);
    EXPECT_EQ(CMTimeCompare(project->nextSplitTimeAfter(s(50)), project->duration()), 0);
    // A cut added in a gap runs to the next segment and takes in the split point it reaches.
    ASSERT_TRUE(project->addCutAt(s(42)));
    project->waitForQueuedWork();
    EXPECT_EQ(segments(*project), (Pairs{{10, 20}, {20, 20}, {30, 40}, {42, 50}}));
}
