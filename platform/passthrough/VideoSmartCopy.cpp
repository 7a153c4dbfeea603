#include "VideoSmartCopy.h"

#include "CopyPlan.h"
#include "KeyframeKind.h"
#include "MediaInput.h"
#include "PacketTime.h"
#include "PassthroughPlan.h"

#include <algorithm>

namespace {

// How many packets past the first one not kept can still hold kept pictures (B-frames): more than
// any decoder's reordering.
constexpr size_t kLookahead = 32;

PacketPtr cloned(const AVPacket& packet) { return PacketPtr(av_packet_clone(&packet)); }

int64_t frameTime(const AVFrame& frame) { return frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts; }

} // namespace

VideoSmartCopy::VideoSmartCopy(const MediaTrack& track, const AVStream* source, WriterInput* input, std::unique_ptr<SpliceEncoder> encoder,
                               DecodeTimes decodeTimes)
    : TrackCopy(track, source, input), encoder_(std::move(encoder)),
      nominalDuration_(std::max<int64_t>(DecodeTimes::pictureTicks(*source), 1)), decodeTimes_(std::move(decodeTimes))
{
}

CMTime VideoSmartCopy::readFrom(const PiecePlacement& placement) const { return fromDecodeStart(placement, placement.sourceFrom); }

void VideoSmartCopy::beginPiece(const PiecePlacement& placement)
{
    TrackCopy::beginPiece(placement);
    const PlannedPiece& piece = *placement.piece;
    start_ = MediaInput::timestampFromTime(piece.start, timeBase_);
    end_ = MediaInput::timestampFromTime(piece.end, timeBase_);
    decodePts_ = piece.decodeFrom ? piece.decodeFrom->pts : AV_NOPTS_VALUE;
    copyPts_ = piece.copyFrom ? piece.copyFrom->pts : AV_NOPTS_VALUE;
    reachedKeyframe_ = decodePts_ == AV_NOPTS_VALUE;
    readInPiece_ = 0;
    headDone_ = !piece.encodesHead;
    headEnd_ = copyPts_ != AV_NOPTS_VALUE ? copyPts_ : end_;
    head_.reset();
    copying_ = pastEnd_ = copiedInPiece_ = false;
    copyLater_ = 0;
    pending_.clear();
    lookahead_.clear();
    durations_.clear();
}

bool VideoSmartCopy::kept(int64_t pts, int64_t duration) const
{
    const int64_t middle = pts + duration / 2;
    return middle >= start_ && middle < end_;
}

int64_t VideoSmartCopy::durationOf(const AVPacket& packet) const { return packet.duration > 0 ? packet.duration : nominalDuration_; }

bool VideoSmartCopy::take(PacketPtr packet, Error* error)
{
    const int64_t pts = presentationTimestamp(*packet);
    if (pts == AV_NOPTS_VALUE || done_)
        return true;
    if (!reachedKeyframe_) {
        if (pts != decodePts_)
            return true; // before the piece's keyframe (reading may begin well before it)
        reachedKeyframe_ = true;
    }
    const int64_t duration = durationOf(*packet);
    if (packet->dts == AV_NOPTS_VALUE)
        packet->dts = PassthroughPlan::missingDecodeTime(decodePts_ != AV_NOPTS_VALUE ? decodePts_ : pts, source_->codecpar->video_delay,
                                                         duration, readInPiece_);
    ++readInPiece_;
    packet->pts = pts;
    packet->duration = duration;
    const int64_t dts = packet->dts;
    sawSourcePacket(pts, duration);
    durations_[pts] = duration;
    if (!headDone_ && !feedHead(*packet, error))
        return false;
    if (copyPts_ == AV_NOPTS_VALUE) {
        // Every picture of the piece is encoded anew: done once the decoder has passed the end.
        done_ = headDone_;
        return true;
    }
    if (!copying_) {
        if (pts != copyPts_ || !(packet->flags & AV_PKT_FLAG_KEY))
            return true; // decoded for the pictures before the copy start, not copied
        copying_ = true;
        // Decoding begins here in every player: an HEVC CRA picture becomes a broken link.
        if (!markAsSpliceStart(*packet, *source_->codecpar)) {
            setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot copy a keyframe")));
            return false;
        }
        pending_.push_back(std::move(packet));
        return true;
    }
    if (pastEnd_) {
        lookahead_.push_back(std::move(packet));
        done_ = dts >= end_ || lookahead_.size() > kLookahead;
        return true;
    }
    if (pts < copyPts_)
        return true; // a leading picture of the copy start: made by the head
    if (!kept(pts, duration)) {
        pastEnd_ = true;
        lookahead_.push_back(std::move(packet));
        done_ = dts >= end_;
        return true;
    }
    if ((packet->flags & AV_PKT_FLAG_KEY) && headDone_ && !writePending(error))
        return false;
    pending_.push_back(std::move(packet));
    return true;
}

bool VideoSmartCopy::feedHead(const AVPacket& packet, Error* error)
{
    if (!head_) {
        head_ = std::make_unique<StreamDecoder>();
        if (!head_->open(source_, 0, error))
            return false;
    }
    for (;;) {
        const StreamDecoder::SendResult sent = head_->send(&packet, error);
        if (sent == StreamDecoder::SendResult::Failed)
            return false;
        if (!drainHead(error))
            return false;
        if (sent == StreamDecoder::SendResult::Accepted || headDone_)
            break;
    }
    return !headDone_ || finishHead(error);
}

bool VideoSmartCopy::drainHead(Error* error)
{
    FramePtr frame = makeFrame();
    for (;;) {
        const StreamDecoder::Status status = head_->receive(frame.get(), error);
        if (status == StreamDecoder::Status::Failed)
            return false;
        if (status != StreamDecoder::Status::Frame)
            return true;
        const int64_t time = frameTime(*frame);
        if (headDone_ || time == AV_NOPTS_VALUE) {
            av_frame_unref(frame.get());
            continue;
        }
        if (time >= headEnd_) {
            headDone_ = true;
        } else {
            const auto known = durations_.find(time);
            if (kept(time, known != durations_.end() ? known->second : nominalDuration_) && !encodePicture(*frame, error))
                return false;
        }
        av_frame_unref(frame.get());
    }
}

bool VideoSmartCopy::finishHead(Error* error)
{
    head_.reset();
    return finishRun(error);
}

bool VideoSmartCopy::encodePicture(const AVFrame& frame, Error* error)
{
    const int64_t time = frameTime(frame);
    const auto known = durations_.find(time);
    const int64_t duration = known != durations_.end() ? known->second : nominalDuration_;
    // Pictures keep their own times: one kept by less than half of it begins up to half a picture
    // before its piece (where the picture cut before it would have been shown), but never before
    // what is written already, nor before the file's start.
    const int64_t pts = std::max(time + shiftTicks(), earliestPts());
    lastOutputPts_ = pts;
    encoding_ = true;
    return encoder_->encode(
        frame, pts, duration, [&](PacketPtr packet, Error* e) { return writeInOrder(std::move(packet), e); }, error);
}

bool VideoSmartCopy::finishRun(Error* error)
{
    if (!encoding_)
        return true;
    encoding_ = false;
    return encoder_->finishRun([&](PacketPtr packet, Error* e) { return writeInOrder(std::move(packet), e); }, error);
}

bool VideoSmartCopy::writeCopied(PacketPtr packet, Error* error)
{
    // The piece's pictures follow what is written, and begin no earlier than the file (the first may
    // be shown up to half a picture early): where its first copied picture would not, the copied
    // pictures move on together.
    if (!copiedInPiece_ && packet->pts + shiftTicks() < earliestPts())
        copyLater_ = earliestPts() - (packet->pts + shiftTicks());
    copiedInPiece_ = true;
    // Players begin decoding at sync samples: only clean starts are ones (the copy start is made one).
    if ((packet->flags & AV_PKT_FLAG_KEY) && packet->pts != copyPts_ && keyframeKind(*packet, *source_->codecpar) != KeyframeKind::Clean)
        packet->flags &= ~AV_PKT_FLAG_KEY;
    packet->pts += shiftTicks() + copyLater_;
    lastOutputPts_ = std::max(lastOutputPts_ == AV_NOPTS_VALUE ? packet->pts : lastOutputPts_, packet->pts);
    return writeInOrder(std::move(packet), error);
}

int64_t VideoSmartCopy::earliestPts() const { return lastOutputPts_ == AV_NOPTS_VALUE ? 0 : lastOutputPts_ + 1; }

bool VideoSmartCopy::writeInOrder(PacketPtr packet, Error* error)
{
    packet->dts = decodeTimes_.next(packet->pts);
    return write(std::move(packet), error);
}

bool VideoSmartCopy::writePending(Error* error)
{
    for (PacketPtr& packet : pending_)
        if (!writeCopied(std::move(packet), error))
            return false;
    pending_.clear();
    return true;
}

bool VideoSmartCopy::resolveEnd(Error* error)
{
    int64_t tailStart = AV_NOPTS_VALUE;
    for (const PacketPtr& packet : lookahead_)
        if (packet->pts >= copyPts_ && kept(packet->pts, packet->duration))
            tailStart = tailStart == AV_NOPTS_VALUE ? packet->pts : std::min(tailStart, packet->pts);
    if (tailStart == AV_NOPTS_VALUE)
        return writePending(error);
    // Kept pictures decoded after one that is not kept refer to it: they are encoded anew, from a
    // decoder that begins with the held group's keyframe. The held pictures are copied when all of
    // them are shown before those; otherwise the whole held group is encoded anew.
    const bool copyHeld = std::all_of(pending_.begin(), pending_.end(), [&](const PacketPtr& packet) { return packet->pts < tailStart; });
    const int64_t from = copyHeld ? tailStart : (pending_.empty() ? tailStart : pending_.front()->pts);
    StreamDecoder decoder;
    if (!decoder.open(source_, 0, error))
        return false;
    std::vector<PacketPtr> group;
    for (const PacketPtr& packet : pending_)
        group.push_back(cloned(*packet));
    for (const PacketPtr& packet : lookahead_)
        group.push_back(cloned(*packet));
    if (copyHeld && !writePending(error))
        return false;
    pending_.clear();
    FramePtr frame = makeFrame();
    const auto drain = [&]() {
        for (;;) {
            const StreamDecoder::Status status = decoder.receive(frame.get(), error);
            if (status == StreamDecoder::Status::Failed)
                return false;
            if (status != StreamDecoder::Status::Frame)
                return true;
            const int64_t time = frameTime(*frame);
            const auto known = durations_.find(time);
            const int64_t duration = known != durations_.end() ? known->second : nominalDuration_;
            const bool ok = time == AV_NOPTS_VALUE || time < from || !kept(time, duration) || encodePicture(*frame, error);
            av_frame_unref(frame.get());
            if (!ok)
                return false;
        }
    };
    for (const PacketPtr& packet : group) {
        if (!packet)
            continue;
        for (;;) {
            const StreamDecoder::SendResult sent = decoder.send(packet.get(), error);
            if (sent == StreamDecoder::SendResult::Failed || !drain())
                return false;
            if (sent == StreamDecoder::SendResult::Accepted)
                break;
        }
    }
    if (decoder.send(nullptr, error) == StreamDecoder::SendResult::Failed || !drain())
        return false;
    return finishRun(error);
}

bool VideoSmartCopy::endPiece(Error* error)
{
    if (head_ && !headDone_) {
        // The file or the piece ended before the decoder passed the copy start: what it holds is the rest.
        if (head_->send(nullptr, error) == StreamDecoder::SendResult::Failed || !drainHead(error))
            return false;
        headDone_ = true;
    }
    if (!finishHead(error))
        return false;
    const bool ok = !copying_ || resolveEnd(error);
    pending_.clear();
    lookahead_.clear();
    return ok;
}
