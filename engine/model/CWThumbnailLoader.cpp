#include "CWThumbnailLoader.h"

#include "CWThumbnail.h"
#include "ImageGenerator.h"

CWThumbnailLoader::CWThumbnailLoader(std::shared_ptr<MediaAsset> asset)
    : generator_(std::make_unique<ImageGenerator>(asset)), detailGenerator_(std::make_unique<ImageGenerator>(asset))
{
    generator_->setMaximumSize(QSize(300, 300));
    detailGenerator_->setMaximumSize(QSize(200, 200));
    for (ImageGenerator* generator : {generator_.get(), detailGenerator_.get()}) {
        generator->setRequestedTimeToleranceBefore(kCMTimeZero);
        generator->setRequestedTimeToleranceAfter(kCMTimeZero);
        generator->setAppliesPreferredTrackTransform(true);
    }
}

CWThumbnailLoader::~CWThumbnailLoader()
{
    detailGenerator_->cancelAllImages();
    generator_->cancelAllImages();
}

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

void CWThumbnailLoader::loadDetail(std::vector<CMTime> times, Delivery delivery)
{
    detailGenerator_->cancelAllImages();
    if (times.empty())
        return;
    detailGenerator_->generateImagesAsynchronously(
        std::move(times),
        [delivery = std::move(delivery)](CMTime requested, const QImage& image, CMTime, ImageGenerator::Result result, const Error&) {
            if (result == ImageGenerator::Result::Succeeded)
                delivery(CWThumbnail::withImage(image, requested));
        });
}
