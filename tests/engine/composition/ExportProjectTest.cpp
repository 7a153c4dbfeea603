#include "CWAssetOrientation.h"
#include "CWExportProject.h"
#include "CWPreset.h"
#include "MediaAsset.h"
#include "support/TestMedia.h"

#include <gtest/gtest.h>

#include <numbers>

using namespace TestMedia;

namespace {

CMTime s(double seconds) { return CMTimeMakeWithSeconds(seconds, 600); }

std::vector<std::shared_ptr<CWExcludedSegment>> segments(std::initializer_list<std::pair<double, double>> ranges)
{
    std::vector<std::shared_ptr<CWExcludedSegment>> list;
    for (const auto& [start, stop] : ranges)
        list.push_back(CWExcludedSegment::startingAt(CMTimeMakeWithSeconds(start, 1000), CMTimeMakeWithSeconds(stop, 1000)));
    return list;
}

// (source start, target start, duration) of each slice, in seconds.
std::vector<std::tuple<double, double, double>> describe(const CWSliceList& slices)
{
    std::vector<std::tuple<double, double, double>> result;
    for (const auto& slice : slices)
        result.emplace_back(CMTimeGetSeconds(slice->sourceTimeRange().start), CMTimeGetSeconds(slice->targetTimeRange().start),
                            CMTimeGetSeconds(slice->duration()));
    return result;
}

using Triples = std::vector<std::tuple<double, double, double>>;

std::shared_ptr<CWPreset> preset(const char* id)
{
    CWPreset::registerStandardPresets();
    return CWPreset::classWithIdentifier(QString::fromLatin1(id))->create();
}

} // namespace

TEST(CWExportProjectSlices, KeptPiecesFollowTheSegments)
{
    const CMTime sixty = CMTimeMake(36000, 600);
    auto slices = CWExportProject::createSlicesFromSplits(segments({{10, 20}, {40, 40}}), sixty);
    EXPECT_EQ(describe(slices), (Triples{{0, 0, 10}, {20, 10, 20}, {40, 30, 20}}));
    for (const auto& slice : slices) {
        EXPECT_EQ(slice->sourceTimeRange().start.timescale, 600);
        EXPECT_EQ(slice->targetTimeRange().duration.timescale, 600);
    }
    EXPECT_TRUE(CWExportProject::createSlicesFromSplits(segments({{0, 60}}), sixty).empty());
    EXPECT_EQ(describe(CWExportProject::createSlicesFromSplits(segments({{0, 5}}), sixty)), (Triples{{5, 0, 55}}));
    EXPECT_EQ(describe(CWExportProject::createSlicesFromSplits({}, sixty)), (Triples{{0, 0, 60}}));
    // A start that is not a whole tick of the duration's timescale is truncated to one.
    auto truncated =
        CWExportProject::createSlicesFromSplits({CWExcludedSegment::startingAt(CMTimeMake(10001, 1000), CMTimeMake(20, 1))}, sixty);
    EXPECT_EQ(truncated[0]->sourceEndTime(), CMTimeMake(6000, 600));
    // Segments beyond the source remove nothing more; a sub-tick piece vanishes.
    EXPECT_EQ(describe(CWExportProject::createSlicesFromSplits(segments({{50, 70}}), sixty)), (Triples{{0, 0, 50}}));
    auto tiny = CWExportProject::createSlicesFromSplits({CWExcludedSegment::startingAt(CMTimeMake(1, 1000), CMTimeMake(60, 1))}, sixty);
    EXPECT_TRUE(tiny.empty());

    auto slice = CWCompositionSlice::fromSourceRange(CMTimeRangeMake(s(10), s(10)), CMTimeRangeMake(s(0), s(10)));
    EXPECT_TRUE(slice->includesTargetTime(s(0)));
    EXPECT_TRUE(slice->includesTargetTime(CMTimeMake(9999, 1000)));
    EXPECT_FALSE(slice->includesTargetTime(s(10)));
    EXPECT_EQ(slice->sourceTimeAtTargetTime(s(4)), s(14));
    auto later = CWCompositionSlice::fromSourceRange(CMTimeRangeMake(s(5), s(10)), CMTimeRangeMake(s(30), s(10)));
    later->moveTargetToStart();
    EXPECT_EQ(later->targetTimeRange().start, kCMTimeZero);
    EXPECT_EQ(later->sourceTimeRange().start, s(5));
}

TEST(CWExportProject, BuildsABackToBackComposition)
{
    Error error;
    auto asset = MediaAsset::open(twoAudioAndSubtitle(), &error);
    ASSERT_TRUE(asset);
    auto project = CWExportProject::fromAsset(asset, segments({{1, 2}, {3, 3}}), preset("h264"),
                                              CWProjectConfiguration::defaultConfiguration(), &error);
    ASSERT_TRUE(project) << error.message.toStdString();
    EXPECT_TRUE(project->invalidationReasons().isEmpty()) << project->invalidationReasons().join('\n').toStdString();
    const Composition& composition = *project->composition();
    ASSERT_EQ(composition.tracks.size(), asset->tracks().size());
    for (size_t i = 0; i < composition.tracks.size(); ++i) {
        EXPECT_EQ(composition.tracks[i].trackID, asset->tracks()[i].trackID);
        EXPECT_EQ(composition.tracks[i].segments.size(), 3u);
    }
    EXPECT_NEAR(CMTimeGetSeconds(composition.duration()), CMTimeGetSeconds(asset->duration()) - 1, 1e-9);
    ASSERT_TRUE(project->videoComposition());
    EXPECT_EQ(project->videoComposition()->instructions.size(), 3u);
    EXPECT_EQ(project->videoComposition()->instructions[1].layerInstructions.size(), 1u);
    EXPECT_EQ(project->videoComposition()->renderSize, QSize(160, 120));
    EXPECT_EQ(project->videoComposition()->frameDuration, CMTimeMake(1, 25)) << "the source's rate, not 1/30 s";
    EXPECT_EQ(project->audioMix().inputParameters.size(), 2u);
    EXPECT_EQ(project->baseFilename(), QStringLiteral("multi"));
    EXPECT_EQ(project->fileType(), MediaFileType::MPEG4);
    EXPECT_EQ(project->endTime(), asset->duration());
    // Half way through the 3 s export is 1.5 s of output, source 2.5 s.
    EXPECT_NEAR(CMTimeGetSeconds(project->targetProgressToSourceTime(0.5)), 2.5, 0.01);
    EXPECT_EQ(project->targetProgressToSourceTime(1.0), kCMTimeZero);

    // An audio-only session leaves the video out and makes no video composition.
    auto audio = CWExportProject::fromAsset(asset, std::vector<std::shared_ptr<CWExcludedSegment>>{}, preset("m4a"),
                                            CWProjectConfiguration::defaultConfiguration(), &error);
    ASSERT_TRUE(audio);
    EXPECT_TRUE(audio->composition()->tracksWithMediaType(MediaType::Video).empty());
    EXPECT_EQ(audio->composition()->tracksWithMediaType(MediaType::Subtitle).size(), 1u);
    EXPECT_FALSE(audio->videoComposition());

    // Nothing kept: no project and no error.
    error = Error{};
    EXPECT_FALSE(
        CWExportProject::fromAsset(asset, segments({{0, 10}}), preset("h264"), CWProjectConfiguration::defaultConfiguration(), &error));
    EXPECT_TRUE(error.message.isEmpty());
}

TEST(CWExportProject, MultiFilePreparationGivesEachPieceItsOwnProject)
{
    Error error;
    auto asset = MediaAsset::open(h264WithBFrames(), &error);
    ASSERT_TRUE(asset);
    auto project = CWExportProject::fromAsset(asset, segments({{1, 2}, {4, 4}}), preset("passthrough"),
                                              CWProjectConfiguration::defaultConfiguration(), &error);
    ASSERT_TRUE(project);
    project->setupForMultiFileExport();
    EXPECT_EQ(describe(project->slices()), (Triples{{0, 0, 1}, {2, 0, 2}, {4, 0, 6}}));
    auto piece = project->copyForSlice(project->slices()[1], &error);
    ASSERT_TRUE(piece);
    EXPECT_EQ(CMTimeGetSeconds(piece->composition()->duration()), 2.0);
    EXPECT_EQ(CMTimeGetSeconds(piece->composition()->tracks[0].segments[0].sourceRange.start), 2.0);
    EXPECT_EQ(piece->preset(), project->preset());
    EXPECT_EQ(piece->configuration(), project->configuration());
}

TEST(CWAssetOrientation, ClassifiesQuarterTurns)
{
    const QSizeF size(1920, 1080);
    EXPECT_EQ(CWAssetOrientation::orientationFromTransform(QTransform(0, 1, -1, 0, 1080, 0), size), 1);
    EXPECT_EQ(CWAssetOrientation::orientationFromTransform(QTransform(), size), 3);
    EXPECT_EQ(CWAssetOrientation::orientationFromTransform(QTransform(-1, 0, 0, -1, 1920, 1080), size), 4);
    EXPECT_EQ(CWAssetOrientation::orientationFromTransform(QTransform(0, -1, 1, 0, 0, 1920), size), 2);
    EXPECT_EQ(CWAssetOrientation::orientationFromTransform(QTransform(-1, 0, 0, 1, 0, 0), size), 3) << "mirrored, not turned";
    EXPECT_EQ(CWAssetOrientation::transformForOrientation(1, size, QRectF(0, 0, 1920, 1080)), QTransform(0, 1, -1, 0, 1080, 0));
    EXPECT_EQ(CWAssetOrientation::transformForOrientation(2, size, QRectF(0, 0, 1920, 1080)), QTransform(0, -1, 1, 0, 0, 1920));
    EXPECT_EQ(CWAssetOrientation::transformForOrientation(4, size, QRectF(0, 0, 1920, 1080)), QTransform(-1, 0, 0, -1, 1920, 1080));
    EXPECT_EQ(CWAssetOrientation::transformForOrientation(9, size, QRectF()), QTransform());
    // Each transform maps the stored picture exactly onto the upright one.
    for (int o = 1; o <= 4; ++o) {
        const QRectF mapped =
            CWAssetOrientation::transformForOrientation(o, size, QRectF(0, 0, 1920, 1080)).mapRect(QRectF(0, 0, 1920, 1080));
        EXPECT_EQ(mapped.topLeft(), QPointF(0, 0)) << o;
    }

    Error error;
    auto rotated = CWAssetOrientation::forAsset(*MediaAsset::open(rotatedMov(), &error));
    EXPECT_EQ(rotated->orientation(), 1);
    EXPECT_EQ(rotated->renderVideoWidth(), 120);
    EXPECT_EQ(rotated->renderVideoHeight(), 160);
    auto audio = CWAssetOrientation::forAsset(*MediaAsset::open(wav(), &error));
    EXPECT_EQ(audio->orientation(), 1);
    EXPECT_EQ(audio->renderVideoWidth(), 0);
    EXPECT_EQ(audio->renderVideoHeight(), 0);
}
