// The frames of one track decoder as a run of pictures on screen: the frame held (shown from its time
// until the next frame's) and the one decoded after it, the incoming frame. A frame without a timestamp
// follows the one before it by the step, or stands at the run's start; the last frame before the end
// is shown for its own duration, else for the step. The export's video output, the player's decoding
// worker and the image generator all take their frames this way.
//
// Used by the thread of its decoder; the decoder outlives the run.
#pragma once

#include "CMTime.h"
#include "FFmpegPtr.h"
#include "TrackDecoder.h"

class FrameRun {
public:
    explicit FrameRun(TrackDecoder& decoder) : decoder_(decoder) {}

    // Forgets both frames (after a seek); a first frame without a timestamp stands at `start`, and
    // frames follow each other by `step` where they do not tell.
    void restart(CMTime start, CMTime step);
    // Decodes the frame after the held one (see TrackDecoder::nextFrame for `skipBefore`). False at the
    // end of the stream or on a failure (the decoder's failed() tells which), with no incoming frame.
    bool decodeNext(Error* error, int64_t skipBefore = AV_NOPTS_VALUE);

    const FramePtr& held() const { return held_; }
    CMTime heldTime() const { return heldTime_; }
    const FramePtr& incoming() const { return incoming_; }
    CMTime incomingTime() const { return incomingTime_; }
    // When the held frame leaves the screen: at the incoming frame's time where that is later, else
    // (at the end, or after a frame out of order) when its own duration is over.
    CMTime heldEnd() const;
    // True when the incoming frame comes after the held one (or nothing is held).
    bool incomingIsLater() const;

    // The incoming frame becomes the held one; the one held before is given back.
    FramePtr advance();
    // The incoming frame is dropped; the held one stays.
    void dropIncoming() { incoming_.reset(); }
    // The held frame is given away (it is no longer held); its time stays readable until the next advance.
    FramePtr takeHeld() { return std::move(held_); }

private:
    TrackDecoder& decoder_;
    CMTime step_ = kCMTimeInvalid;
    CMTime start_ = kCMTimeInvalid;
    FramePtr held_, incoming_;
    CMTime heldTime_ = kCMTimeInvalid, incomingTime_ = kCMTimeInvalid;
};
