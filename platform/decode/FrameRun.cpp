#include "FrameRun.h"

void FrameRun::restart(CMTime start, CMTime step)
{
    start_ = start;
    step_ = step;
    held_.reset();
    incoming_.reset();
    heldTime_ = incomingTime_ = kCMTimeInvalid;
}

bool FrameRun::decodeNext(Error* error, int64_t skipBefore)
{
    incoming_ = decoder_.nextFrame(error, skipBefore);
    incomingTime_ = incoming_ ? decoder_.frameTimeAfter(*incoming_, held_ ? heldTime_ : kCMTimeInvalid, step_, start_) : kCMTimeInvalid;
    return incoming_ != nullptr;
}

CMTime FrameRun::heldEnd() const
{
    if (incoming_ && CMTIME_IS_NUMERIC(incomingTime_) && CMTimeCompare(incomingTime_, heldTime_) > 0)
        return incomingTime_;
    return CMTimeAdd(heldTime_, decoder_.shownDuration(*held_, step_));
}

bool FrameRun::incomingIsLater() const { return incoming_ && (!held_ || CMTimeCompare(incomingTime_, heldTime_) > 0); }

FramePtr FrameRun::advance()
{
    FramePtr previous = std::move(held_);
    held_ = std::move(incoming_);
    heldTime_ = incomingTime_;
    incomingTime_ = kCMTimeInvalid;
    return previous;
}
