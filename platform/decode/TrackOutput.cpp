#include "TrackOutput.h"

#include "MediaInput.h"
#include "PacketTime.h"
#include "SampleBufferInternal.h"

TrackOutput::TrackOutput(std::shared_ptr<const MediaAsset> asset, const Composition& composition, int32_t trackID)
    : asset_(std::move(asset)), track_(composition.trackWithID(trackID))
{
}

bool TrackOutput::start(Error* error)
{
    if (!track_) {
        setError(error, mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("The composition has no such track.")));
        return false;
    }
    return track_->segments.empty() || decoder_.open(asset_, track_->segments.front().sourceTrackID, error);
}

bool TrackOutput::readNext(std::shared_ptr<SampleBuffer>& next, Error* error)
{
    next.reset();
    while (track_ && segment_ < track_->segments.size()) {
        if (isCancelled())
            return true;
        const CompositionSegment& segment = track_->segments[segment_];
        const CMTime start = segment.sourceRange.start, end = CMTimeRangeGetEnd(segment.sourceRange);
        if (!inSegment_) {
            if (!decoder_.seek(start, error))
                return false;
            inSegment_ = true;
        }
        PacketPtr packet = decoder_.nextPacket(error);
        if (!packet) {
            if (decoder_.failed())
                return false;
            inSegment_ = false;
            ++segment_;
            continue;
        }
        const int64_t timestamp = presentationTimestamp(*packet);
        if (timestamp == AV_NOPTS_VALUE)
            continue;
        const CMTime shownFrom = decoder_.packetTime(timestamp);
        const CMTime shownUntil = CMTimeAdd(shownFrom, decoder_.durationOf(std::max<int64_t>(packet->duration, 0)));
        if (CMTimeCompare(shownFrom, end) >= 0) {
            inSegment_ = false;
            ++segment_;
            continue;
        }
        if (CMTimeCompare(shownUntil, start) <= 0 && packet->duration > 0)
            continue;
        if (CMTimeCompare(shownFrom, start) < 0 && packet->duration <= 0)
            continue;
        const CMTime from = CMTimeMaximum(shownFrom, start);
        const CMTime until = packet->duration > 0 ? CMTimeMinimum(shownUntil, end) : from;
        const AVRational timeBase = decoder_.stream()->time_base;
        const CMTime outputTime = CMTimeAdd(segment.targetStart, CMTimeSubtract(from, start));
        // Decode times move with the presentation times, so their distance (reordering) is kept.
        const int64_t newPts = MediaInput::timestampFromTime(outputTime, timeBase);
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts += newPts - timestamp;
        packet->pts = newPts;
        packet->duration = MediaInput::timestampFromTime(CMTimeSubtract(until, from), timeBase);
        packet->pos = -1;
        auto buffer =
            std::make_shared<PacketBuffer>(std::make_unique<PacketBuffer::Packet>(PacketBuffer::Packet{std::move(packet), timeBase}));
        buffer->presentationTime = outputTime;
        buffer->duration = CMTimeSubtract(until, from);
        next = std::move(buffer);
        return true;
    }
    return true;
}
