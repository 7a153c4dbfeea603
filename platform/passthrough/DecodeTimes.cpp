#include "DecodeTimes.h"

#include <algorithm>

extern "C" {
#include <libavformat/avformat.h>
}

int64_t DecodeTimes::pictureTicks(const AVStream& stream)
{
    const AVRational rate = stream.avg_frame_rate.num > 0 ? stream.avg_frame_rate : stream.r_frame_rate;
    return rate.num > 0 && rate.den > 0 ? av_rescale_q(1, av_inv_q(rate), stream.time_base) : 0;
}

DecodeTimes DecodeTimes::forStream(const AVStream& stream, int depth, bool fileKeepsDecodeTimes)
{
    const int64_t frame = std::max<int64_t>(pictureTicks(stream), 1);
    // Squeezing the first decode times needs ticks finer than pictures (AVI counts in pictures).
    return DecodeTimes(depth, frame, fileKeepsDecodeTimes || frame <= depth ? INT64_MIN : 0);
}

int64_t DecodeTimes::next(int64_t pts)
{
    if (!started_) {
        started_ = true;
        for (int i = depth_; i > 0; --i)
            waiting_.push_back(pts - i * frameDuration_);
    }
    waiting_.insert(std::upper_bound(waiting_.begin(), waiting_.end(), pts), pts);
    int64_t dts = std::max(waiting_.front(), floor_);
    waiting_.erase(waiting_.begin());
    // A stream reordered deeper than expected still decodes in order.
    if (dts <= last_)
        dts = last_ + 1;
    last_ = dts;
    return dts;
}
