// Decodes an asset's first video track on a thread of its own into a small queue of upright frames
// (at most four). Every seek starts a new generation: the queue is emptied, and the generation's first
// frame is the one whose presentation interval contains the target (exact) or the first one decoded
// from the keyframe before it (inexact); a target past the last frame gives the last frame. Frames then
// follow in presentation order, each with its duration (up to the next frame). An exact seek with a
// preview first queues the first frame decoded from the keyframe (marked preview) when that is not
// already the target's. The thread waits while the queue is full and leaves its work at once for the
// destructor or a newer seek; a newer exact seek a little later in the stretch being decoded (as while
// scrubbing forward) goes on decoding from where it is instead of starting again from the keyframe.
//
// Thread-safe. notify is called on the worker thread whenever a frame was queued or the generation
// ended (the end of the stream, or a failure, whose error failure() keeps).
#pragma once

#include "Error.h"
#include "FFmpegPtr.h"
#include "PictureScaler.h"
#include "PlaybackFrame.h"

#include <QTransform>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class MediaAsset;

class VideoDecodeWorker {
public:
    struct BufferPool;
    VideoDecodeWorker(std::shared_ptr<const MediaAsset> asset, int32_t trackID, std::function<void()> notify);
    ~VideoDecodeWorker();

    void seek(CMTime target, bool exact, bool preview = false);
    // The next frame of the latest seek, without taking it; take() removes it.
    std::optional<PlaybackFrame> peek() const;
    std::optional<PlaybackFrame> take();
    // True once the latest seek's frames are all queued (the end of the stream or a failure).
    bool ended() const;
    std::optional<Error> failure() const;

private:
    struct Request {
        CMTime target;
        bool exact;
        bool preview = false;
    };
    void run();
    void decodeFrom(Request request, class TrackDecoder& decoder, QSize size, const QTransform& turn);
    // The frame as RGB32 at the size, in a buffer of the pool (worker thread).
    QImage render(const AVFrame* frame, QSize size);
    // Queues the frame unless a newer request or the destructor came first (then false). A preview is
    // still queued after a newer request: the player shows it if it is nearer than what is on screen.
    bool deliver(PlaybackFrame frame, bool evenAfterANewerSeek = false);
    bool interrupted() const; // caller holds mutex_

    std::shared_ptr<const MediaAsset> asset_;
    int32_t trackID_;
    std::function<void()> notify_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<PlaybackFrame> queue_;
    std::optional<Request> request_;
    bool stopping_ = false;
    bool ended_ = false;
    std::optional<Error> failure_;
    std::shared_ptr<BufferPool> pool_; // outlives the worker while pictures do
    PictureScaler scaler_;             // worker thread only
    std::thread thread_;
};
