#include "ImageGenerator.h"

#include "FrameRun.h"
#include "MediaAsset.h"
#include "MediaInput.h"
#include "PictureScaler.h"
#include "SerialQueue.h"
#include "TrackDecoder.h"

#include <cmath>

// Decoding state of one generator. Consecutive requests at increasing times in the same stretch between
// keyframes continue decoding where the previous one stopped instead of seeking again.
class ImageGenerator::Worker {
public:
    explicit Worker(std::shared_ptr<const MediaAsset> asset) : asset_(std::move(asset)) {}

    Result generate(CMTime time, const Settings& settings, const std::function<bool()>& cancelled, QImage& image, CMTime& actualTime,
                    Error* error);

private:
    bool ensureOpen(Error* error);
    QImage render(const AVFrame* frame, const Settings& settings, Error* error);

    std::shared_ptr<const MediaAsset> asset_;
    TrackDecoder decoder_;
    bool openAttempted_ = false;
    bool opened_ = false;
    Error openError_;
    PictureScaler scaler_;
    // Held: the last frame at or before the previous request; incoming: the first frame after it.
    FrameRun run_{decoder_};
};

bool ImageGenerator::Worker::ensureOpen(Error* error)
{
    if (!openAttempted_) {
        openAttempted_ = true;
        const auto videoTracks = asset_->tracksWithMediaType(MediaType::Video);
        if (videoTracks.empty())
            openError_ = mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("\"%1\" has no video track.").arg(asset_->path()));
        else
            opened_ = decoder_.open(asset_, videoTracks.front().trackID, &openError_);
    }
    if (!opened_)
        setError(error, openError_);
    return opened_;
}

ImageGenerator::Result ImageGenerator::Worker::generate(CMTime time, const Settings& settings, const std::function<bool()>& cancelled,
                                                        QImage& image, CMTime& actualTime, Error* error)
{
    if (!ensureOpen(error))
        return Result::Failed;
    if (!CMTIME_IS_NUMERIC(time)) {
        setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument, QStringLiteral("The requested time is invalid.")));
        return Result::Failed;
    }
    const int64_t target = decoder_.timestampForTime(time);
    const bool exact =
        CMTimeCompare(settings.toleranceBefore, kCMTimeZero) == 0 && CMTimeCompare(settings.toleranceAfter, kCMTimeZero) == 0;
    const int64_t skipBefore = exact ? target : AV_NOPTS_VALUE;
    const CMTime earliest = CMTimeSubtract(time, settings.toleranceBefore);
    const CMTime latest = CMTimeAdd(time, settings.toleranceAfter);
    auto acceptable = [&](CMTime frameTime) { return CMTimeCompare(earliest, frameTime) <= 0 && CMTimeCompare(frameTime, latest) <= 0; };

    // Keep decoding forward when the frame lies ahead in the current stretch; seek otherwise.
    bool reuse = run_.held() && CMTimeCompare(run_.heldTime(), time) <= 0;
    if (reuse && run_.incoming() && CMTimeCompare(run_.incomingTime(), time) <= 0) {
        const int keyframe = av_index_search_timestamp(decoder_.stream(), target, AVSEEK_FLAG_BACKWARD);
        const AVIndexEntry* entry = keyframe >= 0 ? avformat_index_get_entry(decoder_.stream(), keyframe) : nullptr;
        reuse = !entry || entry->timestamp <= run_.incoming()->best_effort_timestamp;
    }
    if (!reuse) {
        run_.restart(time, decoder_.nominalFrameDuration());
        if (!decoder_.seek(time, error))
            return Result::Failed;
    }
    for (;;) {
        if (cancelled())
            return Result::Cancelled;
        if (!exact && run_.held() && acceptable(run_.heldTime()))
            break;
        if (!run_.incoming() && !decoder_.atEnd() && !decoder_.failed())
            run_.decodeNext(error, skipBefore);
        if (!run_.incoming())
            break;
        if (CMTimeCompare(run_.incomingTime(), time) > 0 && (exact || !acceptable(run_.incomingTime()) || run_.held()))
            break;
        run_.advance();
    }
    if (decoder_.failed())
        return Result::Failed;
    // A time before the first frame shows the first frame.
    const bool held = run_.held() != nullptr;
    const AVFrame* shown = held ? run_.held().get() : run_.incoming().get();
    if (!shown) {
        setError(error, mediaLayerError(MediaLayerErrorCode::Damaged,
                                        QStringLiteral("No frame could be decoded at %1 s.").arg(CMTimeGetSeconds(time))));
        return Result::Failed;
    }
    image = render(shown, settings, error);
    if (image.isNull())
        return Result::Failed;
    actualTime = held ? run_.heldTime() : run_.incomingTime();
    return Result::Succeeded;
}

QImage ImageGenerator::Worker::render(const AVFrame* frame, const Settings& settings, Error* error)
{
    const double aspect = frame->sample_aspect_ratio.num > 0 && frame->sample_aspect_ratio.den > 0 ? av_q2d(frame->sample_aspect_ratio)
                                                                                                   : decoder_.track().pixelAspectRatio;
    const QTransform rotation = settings.appliesTransform
                                    ? QTransform(decoder_.track().preferredTransform.m11(), decoder_.track().preferredTransform.m12(),
                                                 decoder_.track().preferredTransform.m21(), decoder_.track().preferredTransform.m22(), 0, 0)
                                    : QTransform();
    // Display size: square pixels, then turned; fitted into the maximum size, never enlarged.
    const QSizeF square(frame->width * aspect, frame->height);
    const QSizeF turned = rotation.mapRect(QRectF(QPointF(0, 0), square)).size();
    double scale = 1.0;
    if (settings.maximumSize.width() > 0)
        scale = std::min(scale, settings.maximumSize.width() / turned.width());
    if (settings.maximumSize.height() > 0)
        scale = std::min(scale, settings.maximumSize.height() / turned.height());
    const bool swapsAxes = std::abs(rotation.m12()) > std::abs(rotation.m11());
    const int width = std::max(1, int(std::lround((swapsAxes ? turned.height() : turned.width()) * scale)));
    const int height = std::max(1, int(std::lround((swapsAxes ? turned.width() : turned.height()) * scale)));

    QImage image(width, height, QImage::Format_RGB32);
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    if (image.isNull() || !scaler_.scale(*frame, width, height, AV_PIX_FMT_RGB32, planes, strides)) {
        setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot convert the picture")));
        return {};
    }
    if (!rotation.isIdentity())
        image = image.transformed(rotation, Qt::SmoothTransformation);
    return image;
}

ImageGenerator::ImageGenerator(std::shared_ptr<const MediaAsset> asset)
    : asset_(std::move(asset)), worker_(std::make_unique<Worker>(asset_)),
      queue_(std::make_unique<SerialQueue>(QStringLiteral("image-generator")))
{
}

ImageGenerator::~ImageGenerator()
{
    cancelAllImages();
    queue_.reset(); // serves what is queued (as cancelled), then joins
}

void ImageGenerator::generateImagesAsynchronously(std::vector<CMTime> times, Handler handler)
{
    const Settings settings = settings_;
    const uint64_t generation = cancelGeneration_.load();
    queue_->async([this, times = std::move(times), handler = std::move(handler), settings, generation] {
        auto cancelled = [this, generation] { return cancelGeneration_.load() != generation; };
        for (const CMTime& time : times) {
            QImage image;
            CMTime actual = kCMTimeInvalid;
            Error error;
            const Result result = cancelled() ? Result::Cancelled : worker_->generate(time, settings, cancelled, image, actual, &error);
            if (result == Result::Cancelled)
                error = mediaLayerError(MediaLayerErrorCode::Stopped, QStringLiteral("The request was cancelled."));
            handler(time, image, actual, result, error);
        }
    });
}

void ImageGenerator::cancelAllImages() { ++cancelGeneration_; }
