#include "VideoDecodeWorker.h"

#include "EarlyEnd.h"
#include "FrameRun.h"
#include "MediaAsset.h"
#include "TrackDecoder.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <QElapsedTimer>

#include <cmath>

namespace {
constexpr size_t kQueuedFrames = 4;
constexpr size_t kPooledImages = 8; // the queue, the frame on screen and a few kept by their viewers
// How far ahead of the frame being decoded a newer exact seek may lie and still be reached by decoding
// on rather than by starting again from its keyframe.
constexpr double kDecodeOnSeconds = 0.5;
constexpr qint64 kPreviewIntervalMs = 60;

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

} // namespace

// Pictures of 1080p are 8 MB: their buffers are kept and used again once every QImage that shows
// one is gone (no allocation, and none of its page faults, per frame). A buffer goes back under the
// pool's mutex, which also orders the last reader's use before the next write.
struct VideoDecodeWorker::BufferPool {
    std::mutex mutex;
    size_t bytes = 0;
    std::vector<std::unique_ptr<uchar[]>> free;
};

VideoDecodeWorker::VideoDecodeWorker(std::shared_ptr<const MediaAsset> asset, int32_t trackID, std::function<void()> notify)
    : asset_(std::move(asset)), trackID_(trackID), notify_(std::move(notify)), pool_(std::make_shared<BufferPool>()),
      thread_([this] { run(); })
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

void VideoDecodeWorker::seek(CMTime target, bool exact, bool preview)
{
    {
        std::lock_guard lock(mutex_);
        request_ = Request{target, exact, preview && exact};
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

bool VideoDecodeWorker::deliver(PlaybackFrame frame, bool evenAfterANewerSeek)
{
    {
        std::unique_lock lock(mutex_);
        const auto stop = [&] { return evenAfterANewerSeek ? stopping_ : interrupted(); };
        wake_.wait(lock, [&] { return stop() || queue_.size() < kQueuedFrames; });
        if (stop())
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
    const QSize size = opened ? squarePixelSize(decoder.track()) : QSize();
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
            decodeFrom(request, decoder, size, turn);
        notify_();
    }
}

namespace {
struct Lease {
    std::shared_ptr<VideoDecodeWorker::BufferPool> pool;
    std::unique_ptr<uchar[]> buffer;
    size_t bytes;
};

void giveBack(void* info)
{
    std::unique_ptr<Lease> lease(static_cast<Lease*>(info));
    std::lock_guard lock(lease->pool->mutex);
    if (lease->bytes == lease->pool->bytes && lease->pool->free.size() < kPooledImages)
        lease->pool->free.push_back(std::move(lease->buffer));
}
} // namespace

QImage VideoDecodeWorker::render(const AVFrame* frame, QSize size)
{
    const size_t bytes = size_t(size.width()) * 4 * size_t(size.height());
    auto lease = std::make_unique<Lease>(Lease{pool_, nullptr, bytes});
    {
        std::lock_guard lock(pool_->mutex);
        if (pool_->bytes != bytes) {
            pool_->free.clear();
            pool_->bytes = bytes;
        }
        if (!pool_->free.empty()) {
            lease->buffer = std::move(pool_->free.back());
            pool_->free.pop_back();
        }
    }
    if (!lease->buffer)
        lease->buffer.reset(new (std::nothrow) uchar[bytes]);
    if (!lease->buffer)
        return {};
    uint8_t* planes[4] = {lease->buffer.get(), nullptr, nullptr, nullptr};
    const int strides[4] = {size.width() * 4, 0, 0, 0};
    if (!scaler_.scale(*frame, size.width(), size.height(), AV_PIX_FMT_RGB32, planes, strides))
        return {};
    uchar* data = lease->buffer.get();
    return QImage(data, size.width(), size.height(), size.width() * 4, QImage::Format_RGB32, giveBack, lease.release());
}

void VideoDecodeWorker::decodeFrom(Request request, TrackDecoder& decoder, QSize size, const QTransform& turn)
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
    int64_t skipBefore = request.exact ? decoder.timestampForTime(request.target) : AV_NOPTS_VALUE;
    const CMTime fallbackDuration = decoder.nominalFrameDuration();
    FrameRun run(decoder);
    run.restart(request.target, fallbackDuration);
    bool first = true;
    // Scrubbing, the frames decoded on the way to the target stand in for it: the first at once, then
    // a few a second (each costs a conversion that would slow the decoding down).
    QElapsedTimer sincePreview;
    auto picture = [&](const AVFrame* source, QImage& image) {
        image = render(source, size);
        if (image.isNull()) {
            finish(mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot convert the picture")));
            return false;
        }
        if (!turn.isIdentity())
            image = image.transformed(turn);
        return true;
    };
    auto show = [&](CMTime until) {
        QImage image;
        if (!picture(run.held().get(), image))
            return false;
        PlaybackFrame frame{std::move(image), run.heldTime(), CMTimeSubtract(until, run.heldTime())};
        first = false;
        return deliver(std::move(frame));
    };
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
            if (request_) {
                // A newer exact seek further on is reached by decoding on from here when no keyframe lies
                // between (by the container's index), or, where the index does not say, when it is near.
                bool onTheWay = request_->exact && first && run.held() && CMTimeCompare(request_->target, run.heldTime()) >= 0;
                if (onTheWay) {
                    const int64_t keyframe = decoder.indexedKeyframeBefore(request_->target);
                    onTheWay = keyframe != AV_NOPTS_VALUE
                                   ? keyframe == decoder.indexedKeyframeBefore(run.heldTime())
                                   : CMTimeGetSeconds(CMTimeSubtract(request_->target, run.heldTime())) < kDecodeOnSeconds;
                }
                if (!onTheWay)
                    return;
                request = *request_;
                request_.reset();
                skipBefore = decoder.timestampForTime(request.target);
            }
        }
        if (!run.decodeNext(&error, first ? skipBefore : AV_NOPTS_VALUE)) {
            if (decoder.failed())
                return finish(error);
            // The last frame lasts as long as the container says.
            CMTime reached = request.target;
            if (run.held()) {
                reached = run.heldEnd();
                if (!show(reached))
                    return;
            }
            // Fine at the track's end; a damaged or cut-short file well before it.
            if (!checkTrackReachedEnd(*asset_, decoder.track(), reached, CMTimeRangeGetEnd(decoder.track().timeRange), &error))
                return finish(error);
            return finish(std::nullopt);
        }
        const CMTime time = run.incomingTime();
        if (run.held() && run.incomingIsLater()) {
            // Before the target only the frame on screen at the target counts.
            const bool beforeTarget = first && request.exact && CMTimeCompare(time, request.target) <= 0;
            if (!beforeTarget && !show(time))
                return;
        }
        if (request.preview && first && CMTimeCompare(time, request.target) <= 0 &&
            (!sincePreview.isValid() || sincePreview.elapsed() >= kPreviewIntervalMs)) {
            sincePreview.start();
            QImage image;
            if (!picture(run.incoming().get(), image))
                return;
            if (!deliver(PlaybackFrame{std::move(image), time, fallbackDuration, true}, true))
                return;
        }
        // A frame out of order (not after the one held) is left out.
        if (run.incomingIsLater())
            run.advance();
        else
            run.dropIncoming();
    }
}
