#include "CWExcludedSegment.h"

std::shared_ptr<CWExcludedSegment> CWExcludedSegment::startingAt(CMTime start, CMTime end)
{
    auto segment = std::make_shared<CWExcludedSegment>(start, kCMTimeInvalid);
    if (!segment->isPossibleEnd(end))
        return nullptr;
    segment->setStop(end);
    return segment;
}

bool CWExcludedSegment::isPossibleEnd(CMTime time) const
{
    const CMTime first = start();
    return CMTIME_IS_NUMERIC(time) && CMTIME_IS_NUMERIC(first) && CMTimeCompare(time, first) >= 0;
}

bool CWExcludedSegment::endAt(CMTime time)
{
    if (!isPossibleEnd(time))
        return false;
    setStop(time);
    return true;
}

bool CWExcludedSegment::isBefore(CMTime time) const { return CMTimeCompare(start(), time) <= 0; }

bool CWExcludedSegment::includesTime(CMTime time) const
{
    const CMTime first = start(), last = stop();
    if (CMTimeCompare(first, last) != 0)
        return CMTimeCompare(first, time) <= 0 && CMTimeCompare(time, last) <= 0;
    return CMTimeCompare(time, first) == 0;
}

CMTime CWExcludedSegment::duration() const { return CMTimeSubtract(stop(), start()); }

bool CWExcludedSegment::tryMergeWith(const CWExcludedSegment& other)
{
    if (CMTimeCompare(stop(), other.start()) != 0)
        return false;
    setStop(other.stop());
    return true;
}

std::shared_ptr<CWExcludedSegment> CWExcludedSegment::copy() const
{
    auto segment = std::make_shared<CWExcludedSegment>(start(), stop());
    segment->useStartThumbnail(startThumbnail());
    return segment;
}
