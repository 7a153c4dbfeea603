#include "FrameTiming.h"
#include "MediaAsset.h"
#include "support/TestMedia.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <set>

using namespace TestMedia;

// Presentation times in order, checked frame by frame against the frames ffprobe decodes.
TEST(FrameTiming, MatchesTheDecodedFramesForEveryKindOfSource)
{
    struct Case {
        QString path;
        FrameTiming::Source source;
    };
    const std::vector<Case> cases{
        {h264WithBFrames(), FrameTiming::Source::SampleTable},  {fps25(), FrameTiming::Source::SampleTable},
        {fps2997(), FrameTiming::Source::SampleTable},          {variableFrameRateMp4(), FrameTiming::Source::SampleTable},
        {rotatedMov(), FrameTiming::Source::SampleTable},       {hevc(), FrameTiming::Source::SampleTable},
        {variableFrameRate(), FrameTiming::Source::PacketScan}, {vp9Opus(), FrameTiming::Source::PacketScan}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        Error error;
        auto asset = MediaAsset::open(c.path, &error);
        ASSERT_TRUE(asset);
        FrameTiming::Source source{};
        const auto samples = FrameTiming::read(*asset, asset->tracksWithMediaType(MediaType::Video)[0].trackID, &error, &source);
        ASSERT_TRUE(samples) << error.message.toStdString();
        EXPECT_EQ(source, c.source);
        std::vector<double> expected = probeFrameTimes(c.path);
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(samples->size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_NEAR(CMTimeGetSeconds((*samples)[i].presentationTime), expected[i], 1e-5) << "frame " << i;
            if (i > 0) {
                EXPECT_LT((*samples)[i - 1].presentationTime, (*samples)[i].presentationTime);
            }
        }
        const QJsonObject counted = probe(c.path, true);
        for (const QJsonValue& s : counted.value(QStringLiteral("streams")).toArray())
            if (s.toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String("video")) {
                EXPECT_EQ(qsizetype(samples->size()), s.toObject().value(QStringLiteral("nb_read_frames")).toString().toLongLong());
            }
    }
}

TEST(FrameTiming, DurationsAreExactForConstantAndVariableRates)
{
    Error error;
    auto constant = MediaAsset::open(fps25(), &error);
    ASSERT_TRUE(constant);
    const auto cfr = FrameTiming::read(*constant, constant->tracks()[0].trackID, &error);
    ASSERT_TRUE(cfr);
    ASSERT_EQ(cfr->size(), 100u);
    for (size_t i = 0; i < cfr->size(); ++i) {
        EXPECT_EQ((*cfr)[i].presentationTime, CMTimeMake(int64_t(i), 25));
        EXPECT_EQ((*cfr)[i].duration, CMTimeMake(1, 25));
    }

    for (const QString& path : {variableFrameRate(), variableFrameRateMp4()}) {
        SCOPED_TRACE(path.toStdString());
        auto vfr = MediaAsset::open(path, &error);
        ASSERT_TRUE(vfr);
        const auto samples = FrameTiming::read(*vfr, vfr->tracks()[0].trackID, &error);
        ASSERT_TRUE(samples);
        ASSERT_GT(samples->size(), 30u);
        // Each frame lasts until the next one is shown; both rates of the source appear.
        std::set<int> milliseconds;
        for (size_t i = 0; i + 1 < samples->size(); ++i) {
            EXPECT_EQ(CMTimeAdd((*samples)[i].presentationTime, (*samples)[i].duration), (*samples)[i + 1].presentationTime);
            milliseconds.insert(int(std::lround(CMTimeGetSeconds((*samples)[i].duration) * 1000)));
        }
        EXPECT_TRUE(milliseconds.count(40) && milliseconds.count(80));
    }
}

TEST(FrameTiming, UnknownTrackIsAnError)
{
    Error error;
    auto asset = MediaAsset::open(fps25(), &error);
    ASSERT_TRUE(asset);
    EXPECT_FALSE(FrameTiming::read(*asset, 42, &error));
    EXPECT_TRUE(error.message.contains(QStringLiteral("no track 42")));
}
