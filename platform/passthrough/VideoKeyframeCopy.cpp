#include "VideoKeyframeCopy.h"

#include "CopyPlan.h"
#include "KeyframeKind.h"
#include "MediaInput.h"
#include "PacketTime.h"
#include "PassthroughPlan.h"

VideoKeyframeCopy::VideoKeyframeCopy(const MediaTrack& track, const AVStream* source, WriterInput* input, DecodeTimes decodeTimes)
    : TrackCopy(track, source, input), decodeTimes_(std::move(decodeTimes))
{
}

CMTime VideoKeyframeCopy::readFrom(const PiecePlacement& placement) const { return fromDecodeStart(placement, placement.sourceFrom); }

void VideoKeyframeCopy::beginPiece(const PiecePlacement& placement)
{
    TrackCopy::beginPiece(placement);
    const PlannedPiece& piece = *placement.piece;
    keyframePts_ = piece.decodeFrom ? piece.decodeFrom->pts : AV_NOPTS_VALUE;
    keyframeDts_ = piece.decodeFrom ? piece.decodeFrom->dts : AV_NOPTS_VALUE;
    reachedKeyframe_ = keyframePts_ == AV_NOPTS_VALUE;
    startedPiece_ = false;
    readInPiece_ = 0;
}

bool VideoKeyframeCopy::take(PacketPtr packet, Error* error)
{
    const int64_t pts = presentationTimestamp(*packet);
    if (pts == AV_NOPTS_VALUE || done_)
        return true;
    if (!reachedKeyframe_) {
        if (pts != keyframePts_)
            return true; // before the piece's keyframe (reading may begin well before it)
        reachedKeyframe_ = true;
    }
    const int64_t duration = std::max<int64_t>(packet->duration, 1);
    if (packet->dts == AV_NOPTS_VALUE)
        packet->dts = PassthroughPlan::missingDecodeTime(keyframePts_ != AV_NOPTS_VALUE ? keyframePts_ : pts,
                                                         source_->codecpar->video_delay, duration, readInPiece_);
    ++readInPiece_;
    packet->pts = pts;
    sawSourcePacket(pts, packet->duration);
    const CMTime shownAt = timeOf(pts), end = placement_.piece->end;
    const CMTime keyShown = keyframePts_ != AV_NOPTS_VALUE ? timeOf(keyframePts_) : placement_.sourceFrom;
    const CMTime keyDecoded = keyframeDts_ != AV_NOPTS_VALUE ? timeOf(keyframeDts_) : keyShown;
    PassthroughPlan::Decision decision = PassthroughPlan::videoPacket(shownAt, timeOf(packet->dts), keyShown, keyDecoded, end);
    // Every picture copied is shown: a B-frame shown before the end is kept also when it decodes
    // after it (the reference it follows is copied and shown too).
    if (decision == PassthroughPlan::Decision::TrackDone && CMTimeCompare(shownAt, end) < 0)
        decision = PassthroughPlan::Decision::Copy;
    done_ = decision == PassthroughPlan::Decision::TrackDone;
    if (decision != PassthroughPlan::Decision::Copy)
        return true;
    if (packet->flags & AV_PKT_FLAG_KEY) {
        // Decoding begins with the piece's keyframe in every player: an HEVC CRA picture becomes a
        // broken link there. Later keyframes that are not clean starts are no sync samples.
        const KeyframeKind kind = keyframeKind(*packet, *source_->codecpar);
        if (kind == KeyframeKind::OpenHevc && !startedPiece_ && !markAsSpliceStart(*packet, *source_->codecpar)) {
            setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot copy a keyframe")));
            return false;
        }
        if (kind != KeyframeKind::Clean && startedPiece_)
            packet->flags &= ~AV_PKT_FLAG_KEY;
    }
    startedPiece_ = true;
    packet->pts += shiftTicks();
    packet->dts = decodeTimes_.next(packet->pts);
    return write(std::move(packet), error);
}
