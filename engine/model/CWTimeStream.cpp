#include "CWTimeStream.h"

std::shared_ptr<CWTimeStream> CWTimeStream::streamForDuration(CMTime duration) { return std::make_shared<CWTimeStream>(duration); }

std::shared_ptr<CWTimeStream> CWTimeStream::emptyStreamWithTimescale(CMTimeScale timescale)
{
    return std::make_shared<CWTimeStream>(CMTimeMake(0, timescale));
}

CWTimeStream::CWTimeStream(CMTime duration) : now_(CMTimeMake(0, duration.timescale)), max_(duration) {}

// Callers hold the lock; the timescale is the end's, which only setMax changes.
CMTime CWTimeStream::converted(CMTime time) const
{
    return CMTimeConvertScale(time, max_.timescale, kCMTimeRoundingMethod_RoundTowardZero);
}

void CWTimeStream::skipUntil(CMTime time)
{
    std::lock_guard lock(mutex_);
    now_ = converted(time);
}

void CWTimeStream::skipDuration(CMTime duration) { rangeWithDuration(duration); }

CMTimeRange CWTimeStream::rangeWithDuration(CMTime duration)
{
    std::lock_guard lock(mutex_);
    const CMTime d = converted(duration);
    const CMTimeRange range = CMTimeRangeMake(now_, d);
    now_ = CMTimeAdd(now_, d);
    return range;
}

CMTimeRange CWTimeStream::rangeUntil(CMTime time)
{
    std::lock_guard lock(mutex_);
    const CMTime t = converted(time);
    const CMTimeRange range = CMTimeRangeMake(now_, CMTimeSubtract(t, now_));
    now_ = t;
    return range;
}

CMTimeRange CWTimeStream::rangeUntilEnd() { return rangeUntil(max()); }

CMTime CWTimeStream::currentTime() const
{
    std::lock_guard lock(mutex_);
    return now_;
}

CMTime CWTimeStream::max() const
{
    std::lock_guard lock(mutex_);
    return max_;
}

void CWTimeStream::setNow(CMTime now)
{
    std::lock_guard lock(mutex_);
    now_ = now;
}

void CWTimeStream::setMax(CMTime max)
{
    std::lock_guard lock(mutex_);
    max_ = max;
}
