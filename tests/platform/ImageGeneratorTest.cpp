#include "ImageGenerator.h"
#include "MediaAsset.h"
#include "support/TestMedia.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <mutex>

using namespace TestMedia;

namespace {

struct Delivered {
    CMTime requested;
    QImage image;
    CMTime actual;
    ImageGenerator::Result result;
    Error error;
    bool onMainThread;
};

std::vector<Delivered> generate(ImageGenerator& generator, const std::vector<CMTime>& times, bool cancelAtOnce = false)
{
    std::mutex mutex;
    std::vector<Delivered> delivered;
    generator.generateImagesAsynchronously(times, [&](CMTime requested, const QImage& image, CMTime actual, ImageGenerator::Result result,
                                                      const Error& error) {
        std::lock_guard lock(mutex);
        delivered.push_back({requested, image, actual, result, error, QThread::currentThread() == QCoreApplication::instance()->thread()});
    });
    if (cancelAtOnce)
        generator.cancelAllImages();
    EXPECT_TRUE(runEventLoopUntil(
        [&] {
            std::lock_guard lock(mutex);
            return delivered.size() == times.size();
        },
        60000));
    std::lock_guard lock(mutex);
    return delivered;
}

} // namespace

// The frame shown at each time, not the keyframe before it: frames are told apart by their drawn number.
TEST(ImageGenerator, DeliversTheExactFrameShownAtEachTime)
{
    for (const QString& path : {h264WithBFrames(), vp9Opus(), hevc(), fps2997()}) {
        SCOPED_TRACE(path.toStdString());
        auto asset = openAsset(path);
        ASSERT_TRUE(asset);
        const double rate = asset->tracks()[0].nominalFrameRate;
        const int frameCount = int(std::lround(CMTimeGetSeconds(asset->duration()) * rate));
        // In order, backwards, on keyframes, just before a keyframe, inside B-frame runs, and at the end.
        std::vector<int> frames{0, 1, 2, 3, 26, 49, 50, 51, frameCount - 1, 37, 5, 44, 44, 45};
        std::erase_if(frames, [&](int f) { return f >= frameCount; });
        std::vector<CMTime> times;
        for (int f : frames) // a quarter into each frame's display time
            times.push_back(CMTimeAdd(CMTimeMakeWithSeconds(f / rate, 600000), CMTimeMake(1, int32_t(rate * 4))));
        ImageGenerator generator(asset);
        generator.setMaximumSize(QSize(300, 300));
        generator.setAppliesPreferredTrackTransform(true);
        const auto delivered = generate(generator, times);
        ASSERT_EQ(delivered.size(), frames.size());
        for (size_t i = 0; i < frames.size(); ++i) {
            SCOPED_TRACE(frames[i]);
            ASSERT_EQ(delivered[i].result, ImageGenerator::Result::Succeeded) << delivered[i].error.message.toStdString();
            EXPECT_FALSE(delivered[i].onMainThread);
            EXPECT_EQ(delivered[i].requested, times[i]);
            EXPECT_EQ(frameNumberInImage(delivered[i].image), frames[i]);
            // Matroska stores milliseconds, and this one starts its video 7 ms late.
            EXPECT_NEAR(CMTimeGetSeconds(delivered[i].actual), frames[i] / rate + 0.004, 0.0045);
            EXPECT_EQ(delivered[i].image.size(), QSize(160, 120)); // never enlarged
        }
    }
}

TEST(ImageGenerator, TimesOnFrameBoundariesAndOutsideTheMedia)
{
    auto asset = openAsset(h264WithBFrames());
    ASSERT_TRUE(asset);
    ImageGenerator generator(asset);
    const auto delivered =
        generate(generator, {CMTimeMake(2, 1), CMTimeMake(1999, 1000), CMTimeMake(0, 1), CMTimeMake(60, 1), kCMTimeInvalid});
    ASSERT_EQ(delivered.size(), 5u);
    EXPECT_EQ(frameNumberInImage(delivered[0].image), 50);
    EXPECT_EQ(delivered[0].actual, CMTimeMake(2, 1));
    EXPECT_EQ(frameNumberInImage(delivered[1].image), 49);
    EXPECT_EQ(frameNumberInImage(delivered[2].image), 0);
    // Past the end: the last frame.
    EXPECT_EQ(delivered[3].result, ImageGenerator::Result::Succeeded);
    EXPECT_EQ(frameNumberInImage(delivered[3].image), 249);
    EXPECT_EQ(delivered[4].result, ImageGenerator::Result::Failed);
    EXPECT_FALSE(delivered[4].error.message.isEmpty());
}

TEST(ImageGenerator, ScalesToFitAndTurnsRotatedVideoUpright)
{
    auto rotated = openAsset(rotatedMov());
    ASSERT_TRUE(rotated);
    ImageGenerator upright(rotated);
    upright.setAppliesPreferredTrackTransform(true);
    upright.setMaximumSize(QSize(60, 300));
    const CMTime frame20 = CMTimeMake(20 * 40 + 10, 1000); // N = 20: left level 4, right level 1
    auto images = generate(upright, {frame20});
    ASSERT_EQ(images[0].result, ImageGenerator::Result::Succeeded);
    const QImage turned = images[0].image;
    EXPECT_EQ(turned.size(), QSize(60, 80));
    // Turned clockwise: the source's left half is now on top.
    auto level = [](QRgb px) { return int(std::lround(qGray(px) * 219.0 / 255.0 / 14.0)); };
    EXPECT_EQ(level(turned.pixel(30, 20)), 4);
    EXPECT_EQ(level(turned.pixel(30, 60)), 1);

    ImageGenerator asStored(rotated);
    asStored.setMaximumSize(QSize(80, 80));
    images = generate(asStored, {frame20});
    EXPECT_EQ(images[0].image.size(), QSize(80, 60));
    EXPECT_EQ(frameNumberInImage(images[0].image), 20);

    // Pixel aspect 2:1 — 160×120 stored, 320×120 shown.
    const QString wide =
        make(QStringLiteral("anamorphic.mp4"),
             {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("testsrc=s=160x120:r=25:d=1"),
              QStringLiteral("-vf"), QStringLiteral("setsar=2"), QStringLiteral("-c:v"), QStringLiteral("libx264")});
    auto anamorphic = openAsset(wide);
    ASSERT_TRUE(anamorphic);
    EXPECT_DOUBLE_EQ(anamorphic->tracks()[0].pixelAspectRatio, 2.0);
    ImageGenerator stretched(anamorphic);
    stretched.setMaximumSize(QSize(300, 300));
    images = generate(stretched, {CMTimeMake(1, 2)});
    EXPECT_EQ(images[0].image.width(), 300);
    EXPECT_NEAR(images[0].image.height(), 112.5, 0.5);
}

TEST(ImageGenerator, CancellationAndFailuresStillAnswerEveryRequest)
{
    auto asset = openAsset(h264WithBFrames());
    ASSERT_TRUE(asset);
    ImageGenerator generator(asset);
    std::vector<CMTime> times;
    for (int i = 0; i < 30; ++i)
        times.push_back(CMTimeMake(i * 333, 1000));
    const auto delivered = generate(generator, times, true);
    ASSERT_EQ(delivered.size(), 30u);
    int cancelled = 0;
    for (const Delivered& d : delivered)
        cancelled += d.result == ImageGenerator::Result::Cancelled;
    EXPECT_GT(cancelled, 0);
    // The generator still works after a cancellation.
    EXPECT_EQ(generate(generator, {CMTimeMake(1, 1)})[0].result, ImageGenerator::Result::Succeeded);

    auto audioOnly = openAsset(wav());
    ASSERT_TRUE(audioOnly);
    ImageGenerator noVideo(audioOnly);
    const auto failed = generate(noVideo, {kCMTimeZero, CMTimeMake(1, 2)});
    for (const Delivered& d : failed) {
        EXPECT_EQ(d.result, ImageGenerator::Result::Failed);
        EXPECT_TRUE(d.error.message.contains(QStringLiteral("no video track")));
    }
}

// Destroying a generator with requests under way waits for its worker and does not crash.
TEST(ImageGenerator, DestructionWithWorkInFlight)
{
    auto asset = openAsset(h264WithBFrames());
    ASSERT_TRUE(asset);
    std::atomic<int> calls{0};
    {
        ImageGenerator generator(asset);
        std::vector<CMTime> times(20, CMTimeMake(9, 1));
        generator.generateImagesAsynchronously(times,
                                               [&](CMTime, const QImage&, CMTime, ImageGenerator::Result, const Error&) { ++calls; });
    }
    EXPECT_EQ(calls.load(), 20);
}
