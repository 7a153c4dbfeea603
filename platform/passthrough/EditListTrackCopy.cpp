#include "EditListTrackCopy.h"

#include "CopyPlan.h"
#include "KeyframeKind.h"
#include "PacketTime.h"
#include "PassthroughPlan.h"

using PassthroughPlan::Decision;

CMTime EditListTrackCopy::readFrom(const PiecePlacement& placement) const
{
    return track().mediaType == MediaType::Video ? fromDecodeStart(placement, placement.copyStart) : placement.copyStart;
}

void EditListTrackCopy::beginPiece(const PiecePlacement& placement)
{
    TrackCopy::beginPiece(placement);
    // A piece moves at least as far as planned, so that its keyframe decodes after what is written.
    const CMTime shift = placement.shift;
    setShiftTicks(av_rescale_rnd(shift.value, timeBase_.den, int64_t(shift.timescale) * timeBase_.num, AV_ROUND_UP));
    pieces_.emplace_back(placement.sourceFrom, timeOf(shiftTicks()));
    const PlannedPiece& piece = *placement.piece;
    keyframePts_ = track().mediaType == MediaType::Video && piece.decodeFrom ? piece.decodeFrom->pts : AV_NOPTS_VALUE;
    startedPiece_ = false;
    readInPiece_ = 0;
}

bool EditListTrackCopy::take(PacketPtr packet, Error* error)
{
    const int64_t pts = presentationTimestamp(*packet);
    if (pts == AV_NOPTS_VALUE || done_)
        return true;
    int64_t dts = decodeTimestamp(*packet);
    const bool video = track().mediaType == MediaType::Video;
    const bool anchored = video && keyframePts_ != AV_NOPTS_VALUE;
    if (anchored && readInPiece_ == 0 && pts != keyframePts_)
        return true; // before the piece's keyframe (reading may begin well before it)
    if (anchored && packet->dts == AV_NOPTS_VALUE)
        dts = PassthroughPlan::missingDecodeTime(keyframePts_, source_->codecpar->video_delay, std::max<int64_t>(packet->duration, 1),
                                                 readInPiece_);
    if (anchored)
        ++readInPiece_;
    const int64_t duration = std::max<int64_t>(packet->duration, 0);
    sawSourcePacket(pts, duration);
    const PlannedPiece& piece = *placement_.piece;
    const CMTime shownAt = timeOf(pts), shownUntil = timeOf(pts + duration);
    Decision decision;
    if (video) {
        const CMTime keyShown = keyframePts_ != AV_NOPTS_VALUE ? CMTimeMinimum(timeOf(keyframePts_), piece.start) : piece.start;
        const CMTime keyDecoded = piece.decodeFrom ? timeOf(piece.decodeFrom->dts) : keyShown;
        decision = PassthroughPlan::videoPacket(shownAt, timeOf(dts), keyShown, keyDecoded, piece.end);
    } else {
        decision = PassthroughPlan::otherPacket(shownAt, shownUntil, placement_.copyStart, piece.end);
    }
    done_ = decision == Decision::TrackDone;
    if (decision != Decision::Copy)
        return true;
    packet->pts = pts + shiftTicks();
    packet->dts = dts + shiftTicks();
    // Players begin each edit at the sync sample before it: only clean starts are sync samples, and a
    // piece's first keyframe is made one.
    if (video && (packet->flags & AV_PKT_FLAG_KEY)) {
        const KeyframeKind kind = keyframeKind(*packet, *source_->codecpar);
        if (kind == KeyframeKind::OpenHevc && !startedPiece_ && !markAsSpliceStart(*packet, *source_->codecpar)) {
            setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot copy a keyframe")));
            return false;
        }
        if (kind != KeyframeKind::Clean && startedPiece_)
            packet->flags &= ~AV_PKT_FLAG_KEY;
    }
    startedPiece_ = true;
    lastDts_ = std::max(lastDts_ == AV_NOPTS_VALUE ? packet->dts : lastDts_, packet->dts);
    return write(std::move(packet), error);
}

std::vector<Mp4Edit> EditListTrackCopy::edits(const std::vector<CMTime>& durations) const
{
    std::vector<Mp4Edit> list;
    if (!wroteAnything())
        return list;
    // A track's media time begins with its first sample; the muxer fills a subtitle track from the
    // file's start with an empty sample when its first cue comes later.
    CMTime firstDecode = firstOutputDecode();
    if (track().mediaType == MediaType::Subtitle)
        firstDecode = CMTimeMinimum(firstDecode, kCMTimeZero);
    for (size_t p = 0; p < durations.size() && p < pieces_.size(); ++p) {
        const CMTime mediaStart = PassthroughPlan::editMediaStart(pieces_[p].first, pieces_[p].second, firstDecode);
        CMTime duration = durations[p];
        // A track whose first sample comes later shows nothing until then.
        if (CMTimeCompare(mediaStart, kCMTimeZero) < 0) {
            const CMTime empty = CMTimeMinimum(CMTimeSubtract(kCMTimeZero, mediaStart), duration);
            list.push_back(Mp4Edit{kCMTimeInvalid, empty});
            duration = CMTimeSubtract(duration, empty);
            if (CMTimeCompare(duration, kCMTimeZero) > 0)
                list.push_back(Mp4Edit{kCMTimeZero, duration});
            continue;
        }
        list.push_back(Mp4Edit{mediaStart, duration});
    }
    return list;
}
