#include "PassthroughPlan.h"

#include <algorithm>

namespace PassthroughPlan {

Decision videoPacket(CMTime shownAt, CMTime decodedAt, CMTime keyframeShown, CMTime keyframeDecoded, CMTime end)
{
    if (CMTimeCompare(decodedAt, end) >= 0)
        return Decision::TrackDone;
    if (CMTimeCompare(decodedAt, keyframeDecoded) < 0 || CMTimeCompare(shownAt, keyframeShown) < 0)
        return Decision::Skip;
    return Decision::Copy;
}

Decision otherPacket(CMTime shownAt, CMTime shownUntil, CMTime copyStart, CMTime end)
{
    if (CMTimeCompare(shownAt, end) >= 0)
        return Decision::TrackDone;
    const bool timed = CMTimeCompare(shownUntil, shownAt) > 0;
    if (timed ? CMTimeCompare(shownUntil, copyStart) <= 0 : CMTimeCompare(shownAt, copyStart) < 0)
        return Decision::Skip;
    return Decision::Copy;
}

CMTime pieceShift(CMTime outputEnd, CMTime copyStart, CMTime keyframeDecoded, CMTime lastVideoDecode, CMTime videoTick)
{
    CMTime shift = CMTimeSubtract(outputEnd, copyStart);
    if (CMTIME_IS_NUMERIC(lastVideoDecode) && CMTIME_IS_NUMERIC(keyframeDecoded))
        shift = CMTimeMaximum(shift, CMTimeSubtract(CMTimeAdd(lastVideoDecode, videoTick), keyframeDecoded));
    return shift;
}

SampleTrim trimToRange(int64_t first, int64_t count, int64_t start, int64_t end)
{
    const int64_t from = std::clamp(start, first, first + count), to = std::clamp(end, from, first + count);
    return SampleTrim{from - first, first + count - to};
}

} // namespace PassthroughPlan
