#include "CWThumbnailLoader.h"

#include "CWThumbnail.h"
#include "ImageGenerator.h"

CWThumbnailLoader::CWThumbnailLoader(std::shared_ptr<MediaAsset> asset) : generator_(std::make_unique<ImageGenerator>(std::move(asset)))
{
    generator_->setMaximumSize(QSize(300, 300));
    generator_->setRequestedTimeToleranceBefore(kCMTimeZero);
    generator_->setRequestedTimeToleranceAfter(kCMTimeZero);
    generator_->setAppliesPreferredTrackTransform(true);
}

CWThumbnailLoader::~CWThumbnailLoader() { generator_->cancelAllImages(); }

void CWThumbnailLoader::loadStrip(CMTime duration, Delivery delivery)
{
    if (!CMTIME_IS_NUMERIC(duration))
        return;
    const int64_t step = duration.value / kStripCount;
    std::vector<CMTime> times;
    for (int i = 0; i < kStripCount; ++i)
        times.push_back(CMTimeMake(i * step, duration.timescale));
    generator_->generateImagesAsynchronously(
        times, [delivery = std::move(delivery)](CMTime, const QImage& image, CMTime actual, ImageGenerator::Result result, const Error&) {
            if (result == ImageGenerator::Result::Succeeded)
                delivery(CWThumbnail::withImage(image, actual));
        });
}

void CWThumbnailLoader::loadStartThumbnail(CMTime time, Delivery delivery)
{
    generator_->generateImagesAsynchronously(
        {time}, [delivery = std::move(delivery)](CMTime, const QImage& image, CMTime actual, ImageGenerator::Result, const Error&) {
            delivery(CWThumbnail::withImage(image, actual));
        });
}
