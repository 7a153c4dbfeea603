#include "TrackCopy.h"

#include "CopyPlan.h"
#include "MediaInput.h"
#include "MediaWriter.h"
#include "SampleBufferInternal.h"

TrackCopy::TrackCopy(const MediaTrack& track, const AVStream* source, WriterInput* input)
    : source_(source), timeBase_(source->time_base), track_(track), input_(input)
{
}

TrackCopy::~TrackCopy() = default;

void TrackCopy::beginPiece(const PiecePlacement& placement)
{
    placement_ = placement;
    shift_ = ticksOf(placement.shift);
    done_ = false;
    reached_ = kCMTimeInvalid;
}

bool TrackCopy::endPiece(Error*) { return true; }

CMTime TrackCopy::timeOf(int64_t ticks) const { return MediaInput::timeFromTimestamp(ticks, timeBase_); }

CMTime TrackCopy::fromDecodeStart(const PiecePlacement& placement, CMTime from) const
{
    const PlannedPiece& piece = *placement.piece;
    return piece.decodeFrom ? CMTimeMinimum(timeOf(piece.decodeFrom->pts), from) : from;
}

int64_t TrackCopy::ticksOf(CMTime time) const
{
    return av_rescale_rnd(time.value, timeBase_.den, int64_t(time.timescale) * timeBase_.num, AV_ROUND_NEAR_INF);
}

void TrackCopy::sawSourcePacket(int64_t pts, int64_t duration)
{
    if (pts == AV_NOPTS_VALUE)
        return;
    const CMTime until = timeOf(pts + std::max<int64_t>(duration, 0));
    reached_ = CMTIME_IS_NUMERIC(reached_) ? CMTimeMaximum(reached_, until) : until;
}

CMTime TrackCopy::firstOutputDecode() const { return firstDts_ == AV_NOPTS_VALUE ? kCMTimeInvalid : timeOf(firstDts_); }

CMTime TrackCopy::firstOutputShown() const { return firstPts_ == AV_NOPTS_VALUE ? kCMTimeInvalid : timeOf(firstPts_); }

CMTime TrackCopy::outputEnd() const { return end_ == AV_NOPTS_VALUE ? kCMTimeInvalid : timeOf(end_); }

bool TrackCopy::write(PacketPtr packet, Error* error)
{
    if (firstDts_ == AV_NOPTS_VALUE) {
        firstDts_ = packet->dts;
        firstPts_ = packet->pts;
    }
    firstPts_ = std::min(firstPts_, packet->pts);
    const int64_t end = packet->pts + std::max<int64_t>(packet->duration, 0);
    end_ = end_ == AV_NOPTS_VALUE ? end : std::max(end_, end);
    packet->stream_index = track_.streamIndex;
    PacketBuffer buffer(std::make_unique<PacketBuffer::Packet>(PacketBuffer::Packet{std::move(packet), timeBase_}));
    return input_->append(buffer, error);
}
