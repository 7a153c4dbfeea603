#include "VideoDecodeWorker.h"

#include "FrameConverter.h"
#include "MediaAsset.h"
#include "TrackDecoder.h"

#include <cmath>

namespace {
constexpr size_t kQueuedFrames = 4;

// The stored picture's size with square pixels (even sides, as the scaler prefers); the turn that
// makes it upright is applied to the finished image.
QSize squarePixelSize(const MediaTrack& track)
{
    const double width = track.naturalSize.width() * (track.pixelAspectRatio > 0 ? track.pixelAspectRatio : 1.0);
    return QSize(std::max(2, int(std::lround(width / 2)) * 2), std::max(2, (track.naturalSize.height() + 1) / 2 * 2));
}

QTransform uprightTurn(const MediaTrack& track)
{
    const QTransform& m = track.preferredTransform;
    return QTransform(m.m11(), m.m12(), m.m21(), m.m22(), 0, 0);
}

QImage imageOf(const AVFrame* frame)
{
    QImage image(frame->width, frame->height, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    for (int y = 0; y < frame->height; ++y)
        memcpy(image.scanLine(y), frame->data[0] + ptrdiff_t(y) * frame->linesize[0], size_t(frame->width) * 4);
    return image;
}
} // namespace

VideoDecodeWorker::VideoDecodeWorker(std::shared_ptr<const MediaAsset> asset, int32_t trackID, std::function<void()> notify)
    : asset_(std::move(asset)), trackID_(trackID), notify_(std::move(notify)), thread_([this] { run(); })
{
}

VideoDecodeWorker::~VideoDecodeWorker()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void VideoDecodeWorker::seek(CMTime target, bool exact)
{
    {
        std::lock_guard lock(mutex_);
        request_ = Request{target, exact};
        queue_.clear();
        ended_ = false;
    }
    wake_.notify_all();
}

std::optional<PlaybackFrame> VideoDecodeWorker::peek() const
{
    std::lock_guard lock(mutex_);
    return queue_.empty() ? std::nullopt : std::optional(queue_.front());
}

std::optional<PlaybackFrame> VideoDecodeWorker::take()
{
    std::optional<PlaybackFrame> frame;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty())
            return std::nullopt;
        frame = std::move(queue_.front());
        queue_.pop_front();
    }
    wake_.notify_all(); // room for the next frame
    return frame;
}

bool VideoDecodeWorker::ended() const
{
    std::lock_guard lock(mutex_);
    return ended_ && !request_;
}

std::optional<Error> VideoDecodeWorker::failure() const
{
    std::lock_guard lock(mutex_);
    return failure_;
}

bool VideoDecodeWorker::interrupted() const { return stopping_ || request_.has_value(); }

bool VideoDecodeWorker::deliver(PlaybackFrame frame)
{
    {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return interrupted() || queue_.size() < kQueuedFrames; });
        if (interrupted())
            return false;
        queue_.push_back(std::move(frame));
    }
    notify_();
    return true;
}

void VideoDecodeWorker::run()
{
    TrackDecoder decoder;
    Error error;
    const bool opened = decoder.open(asset_, trackID_, &error);
    std::optional<FrameConverter> converter;
    if (opened)
        converter.emplace(squarePixelSize(decoder.track()), QTransform(), AV_PIX_FMT_RGB32);
    const QTransform turn = opened ? uprightTurn(decoder.track()) : QTransform();
    for (;;) {
        Request request;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || request_.has_value(); });
            if (stopping_)
                return;
            request = *request_;
            request_.reset();
            if (!opened) {
                failure_ = error;
                ended_ = true;
            }
        }
        if (opened)
            decodeFrom(request, decoder, *converter, turn);
        notify_();
    }
}

void VideoDecodeWorker::decodeFrom(const Request& request, TrackDecoder& decoder, FrameConverter& converter, const QTransform& turn)
{
    Error error;
    auto finish = [&](std::optional<Error> failure) {
        std::lock_guard lock(mutex_);
        if (!interrupted()) {
            ended_ = true;
            failure_ = std::move(failure);
        }
    };
    if (!decoder.seek(request.target, &error))
        return finish(error);
    const int64_t skipBefore = request.exact ? decoder.timestampForTime(request.target) : AV_NOPTS_VALUE;
    const CMTime fallbackDuration =
        decoder.track().nominalFrameRate > 0 ? CMTimeMakeWithSeconds(1.0 / decoder.track().nominalFrameRate, 90000) : CMTimeMake(1, 30);
    FramePtr held;
    CMTime heldTime = kCMTimeInvalid;
    bool first = true;
    auto show = [&](CMTime until) {
        FramePtr converted = converter.convert(std::move(held), &error);
        if (!converted) {
            finish(error);
            return false;
        }
        QImage image = imageOf(converted.get());
        if (!turn.isIdentity())
            image = image.transformed(turn);
        PlaybackFrame frame{std::move(image), heldTime, CMTimeSubtract(until, heldTime)};
        first = false;
        return deliver(std::move(frame));
    };
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (interrupted())
                return;
        }
        FramePtr next = decoder.nextFrame(&error, first ? skipBefore : AV_NOPTS_VALUE);
        if (!next) {
            if (decoder.failed())
                return finish(error);
            // The last frame lasts as long as the container says.
            if (held) {
                const int64_t ticks = held->pkt_duration;
                const CMTime end = CMTimeAdd(heldTime, ticks > 0 ? decoder.durationOf(ticks) : fallbackDuration);
                if (!show(end))
                    return;
            }
            return finish(std::nullopt);
        }
        CMTime time = decoder.frameTime(next.get());
        if (!CMTIME_IS_NUMERIC(time))
            time = held ? CMTimeAdd(heldTime, fallbackDuration) : request.target;
        if (held && CMTimeCompare(time, heldTime) > 0) {
            // Before the target only the frame on screen at the target counts.
            const bool beforeTarget = first && request.exact && CMTimeCompare(time, request.target) <= 0;
            if (!beforeTarget && !show(time))
                return;
        }
        if (!held || CMTimeCompare(time, heldTime) > 0) {
            held = std::move(next);
            heldTime = time;
        }
    }
}
