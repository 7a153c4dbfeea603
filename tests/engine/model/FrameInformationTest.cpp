#include "CWExcludedSegment.h"
#include "CWFrameInformation.h"
#include "MediaAsset.h"
#include "support/TestMedia.h"

#include <QJsonArray>

#include <gtest/gtest.h>

using namespace TestMedia;

namespace {
std::vector<FrameSample> constantRate(int count, int32_t rate)
{
    std::vector<FrameSample> samples;
    for (int i = 0; i < count; ++i)
        samples.push_back({CMTimeMake(i, rate), CMTimeMake(1, rate)});
    return samples;
}
CMTime ms(int64_t milliseconds) { return CMTimeMake(milliseconds, 1000); }
} // namespace

TEST(CWFrameInformation, ConstantRateIsOneRun)
{
    EXPECT_FALSE(CWFrameInformation::withFrameSamples({}));
    const auto info = CWFrameInformation::withFrameSamples(constantRate(250, 25));
    ASSERT_TRUE(info);
    EXPECT_FALSE(info->next());
    EXPECT_EQ(info->frameCount(), 250u);
    EXPECT_EQ(info->startTime(), kCMTimeZero);
    EXPECT_EQ(info->endTime(), CMTimeMake(249, 25));
    EXPECT_EQ(info->frameNumberAtTime(kCMTimeZero), 1u);
    EXPECT_EQ(info->frameNumberAtTime(ms(39)), 1u);
    EXPECT_EQ(info->frameNumberAtTime(ms(40)), 2u);
    EXPECT_EQ(info->frameNumberAtTime(ms(9960)), 250u);
    EXPECT_EQ(info->frameNumberAtTime(ms(9999)), 250u);
    EXPECT_EQ(info->frameNumberAtTime(ms(10000)), 251u);
}

TEST(CWFrameInformation, ReportsCountKeptFramesAndCutMembership)
{
    const auto info = CWFrameInformation::withFrameSamples(constantRate(250, 25));
    const std::vector<std::shared_ptr<CWExcludedSegment>> none;
    EXPECT_EQ(info->frameReportForTime(ms(2000), none), QStringLiteral("Frame 51 / 250\nTarget: 250 frames"));
    const std::vector<std::shared_ptr<CWExcludedSegment>> cut{CWExcludedSegment::startingAt(ms(4000), ms(6000))};
    EXPECT_EQ(info->frameReportForTime(ms(2000), cut), QStringLiteral("Frame 51 / 250\nTarget: 200 frames"));
    EXPECT_EQ(info->frameReportForTime(ms(5000), cut), QStringLiteral("Frame 126 / 250 (in cut)\nTarget: 200 frames"));
    EXPECT_EQ(info->frameReportForTime(ms(4000), cut), QStringLiteral("Frame 101 / 250\nTarget: 200 frames"));
    const std::vector<std::shared_ptr<CWExcludedSegment>> split{CWExcludedSegment::startingAt(ms(3000), ms(3000))};
    EXPECT_EQ(info->frameReportForTime(ms(3000), split), QStringLiteral("Frame 76 / 250\nTarget: 250 frames"));
}

TEST(CWFrameInformation, VariableRateMakesOneRunPerChange)
{
    std::vector<FrameSample> samples;
    CMTime t = kCMTimeZero;
    for (int i = 0; i < 6; ++i) {
        const CMTime d = i % 2 ? CMTimeMake(2, 25) : CMTimeMake(1, 25);
        samples.push_back({t, d});
        t = CMTimeAdd(t, d);
    }
    const auto info = CWFrameInformation::withFrameSamples(samples);
    int runs = 0;
    info->iterateFrameInformationsAndDo([&](const CWFrameInformation& run) {
        EXPECT_EQ(run.frameCount(), 1u);
        return ++runs < 100;
    });
    EXPECT_EQ(runs, 6);
    EXPECT_EQ(info->totalFrameCount(), 6u);
    // 0, 0.04, 0.12, 0.16, 0.24, 0.28: the frame shown at 0.2 s is the fourth, at 0.1 s the second.
    EXPECT_EQ(info->frameNumberAtTime(ms(200)), 4u);
    EXPECT_EQ(info->frameNumberAtTime(ms(100)), 2u);
    EXPECT_EQ(info->frameNumberAtTime(ms(240)), 5u);
    EXPECT_EQ(info->frameNumberAtTime(ms(280)), 6u);
}

// Built from real files, the frame count is the number of frames ffprobe decodes.
TEST(CWFrameInformation, CountsEveryFrameOfRealSources)
{
    for (const QString& path : {h264WithBFrames(), variableFrameRate(), variableFrameRateMp4(), fps2997()}) {
        SCOPED_TRACE(path.toStdString());
        Error error;
        auto asset = MediaAsset::open(path, &error);
        ASSERT_TRUE(asset);
        const auto samples = FrameTiming::read(*asset, asset->tracksWithMediaType(MediaType::Video)[0].trackID, &error);
        ASSERT_TRUE(samples);
        const auto info = CWFrameInformation::withFrameSamples(*samples);
        qlonglong counted = 0;
        for (const QJsonValue& s : probe(path, true).value(QStringLiteral("streams")).toArray())
            if (s.toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String("video"))
                counted = s.toObject().value(QStringLiteral("nb_read_frames")).toString().toLongLong();
        EXPECT_EQ(qlonglong(info->totalFrameCount()), counted);
        // Frame numbers follow presentation order, also with B-frames.
        const std::vector<double> times = probeFrameTimes(path);
        for (size_t i = 0; i < times.size(); i += 7)
            EXPECT_EQ(info->frameNumberAtTime(CMTimeMakeWithSeconds(times[i] + 1e-4, 1000000)), i + 1) << i;
    }
}
