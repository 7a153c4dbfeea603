#include "SubtitleCopy.h"

#include "CopyPlan.h"
#include "MediaInput.h"
#include "PacketTime.h"

bool SubtitleCopy::take(PacketPtr packet, Error* error)
{
    const int64_t pts = presentationTimestamp(*packet);
    if (pts == AV_NOPTS_VALUE || done_)
        return true;
    const int64_t duration = std::max<int64_t>(packet->duration, 0);
    sawSourcePacket(pts, duration);
    const int64_t from = MediaInput::timestampFromTime(placement_.sourceFrom, timeBase_);
    const int64_t end = MediaInput::timestampFromTime(placement_.piece->end, timeBase_);
    if (pts >= end) {
        done_ = true;
        return true;
    }
    int64_t shown = pts;
    if (duration > 0) {
        shown = std::max(pts, from);
        const int64_t until = std::min(pts + duration, end);
        if (until <= shown)
            return true;
        packet->duration = until - shown;
    } else if (pts < from) {
        return true;
    }
    packet->pts = packet->dts = shown + shiftTicks();
    return write(std::move(packet), error);
}
