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

std::vector<MediaChapter> chaptersAfterLeadIns(std::vector<MediaChapter> chapters, const std::vector<CMTime>& durations,
                                               const std::vector<CMTime>& leadIns)
{
    // How far an output time (as asked) moves: the lead-ins of every piece that begins at or before it.
    const auto moved = [&](CMTime time, bool end) {
        CMTime pieceStart = kCMTimeZero, shift = kCMTimeZero;
        for (size_t p = 0; p < durations.size() && p < leadIns.size(); ++p) {
            const int order = CMTimeCompare(time, pieceStart);
            if (order < 0 || (end && order == 0 && p > 0))
                break;
            shift = CMTimeAdd(shift, leadIns[p]);
            pieceStart = CMTimeAdd(pieceStart, durations[p]);
        }
        return CMTimeAdd(time, shift);
    };
    for (MediaChapter& chapter : chapters) {
        const CMTime start = moved(chapter.timeRange.start, false), end = moved(CMTimeRangeGetEnd(chapter.timeRange), true);
        chapter.timeRange = CMTimeRangeMake(start, CMTimeSubtract(end, start));
    }
    return chapters;
}

} // namespace PassthroughPlan
