#include "TrackDecoder.h"

#include "MediaAsset.h"
#include "MediaInput.h"
#include "PacketTime.h"

bool TrackDecoder::open(std::shared_ptr<const MediaAsset> asset, int32_t trackID, Error* error)
{
    asset_ = std::move(asset);
    const std::optional<MediaTrack> track = asset_->trackWithID(trackID);
    if (!track) {
        setError(error, mediaLayerError(MediaLayerErrorCode::NotFound,
                                        QStringLiteral("\"%1\" has no track %2.").arg(asset_->path()).arg(trackID)));
        return false;
    }
    track_ = *track;
    if (!openInput(error))
        return false;
    decodes_ = track_.mediaType == MediaType::Audio || track_.mediaType == MediaType::Video;
    return !decodes_ || decoder_.open(stream_, 0, error);
}

bool TrackDecoder::openInput(Error* error)
{
    input_ = MediaInput::open(asset_->source(), false, error);
    if (!input_)
        return false;
    if (track_.streamIndex >= int(input_->nb_streams) || input_->streams[track_.streamIndex]->codecpar->codec_id == AV_CODEC_ID_NONE) {
        // Containers without a header announce their streams only while probing.
        const int ret = avformat_find_stream_info(input_.get(), nullptr);
        if (ret < 0 || track_.streamIndex >= int(input_->nb_streams)) {
            setError(error,
                     mediaError(ret < 0 ? ret : AVERROR_STREAM_NOT_FOUND, QStringLiteral("Cannot find track %1").arg(track_.trackID)));
            return false;
        }
    }
    for (unsigned i = 0; i < input_->nb_streams; ++i)
        input_->streams[i]->discard = int(i) == track_.streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    stream_ = input_->streams[track_.streamIndex];
    return true;
}

CMTime TrackDecoder::packetTime(int64_t timestamp) const
{
    return CMTimeSubtract(MediaInput::timeFromTimestamp(timestamp, stream_->time_base), asset_->startOffset());
}

CMTime TrackDecoder::durationOf(int64_t ticks) const { return MediaInput::timeFromTimestamp(ticks, stream_->time_base); }

CMTime TrackDecoder::frameTime(const AVFrame* frame) const { return packetTime(frame->best_effort_timestamp); }

CMTime TrackDecoder::frameTimeAfter(const AVFrame& frame, CMTime previous, CMTime step, CMTime start) const
{
    const CMTime time = frameTime(&frame);
    if (CMTIME_IS_NUMERIC(time))
        return time;
    return CMTIME_IS_NUMERIC(previous) ? CMTimeAdd(previous, step) : start;
}

CMTime TrackDecoder::shownDuration(const AVFrame& frame, CMTime fallback) const
{
    return frame.pkt_duration > 0 ? durationOf(frame.pkt_duration) : fallback;
}

CMTime TrackDecoder::nominalFrameDuration() const
{
    return track_.nominalFrameRate > 0 ? CMTimeMakeWithSeconds(1.0 / track_.nominalFrameRate, 90000) : CMTimeMake(1, 30);
}

int64_t TrackDecoder::timestampForTime(CMTime sourceTime) const
{
    return MediaInput::timestampFromTime(CMTimeAdd(sourceTime, asset_->startOffset()), stream_->time_base);
}

int64_t TrackDecoder::indexedKeyframeBefore(CMTime sourceTime) const
{
    const int index = av_index_search_timestamp(stream_, timestampForTime(sourceTime), AVSEEK_FLAG_BACKWARD);
    const AVIndexEntry* entry = index >= 0 ? avformat_index_get_entry(stream_, index) : nullptr;
    return entry ? entry->timestamp : AV_NOPTS_VALUE;
}

bool TrackDecoder::positionAt(int64_t timestamp, Error* error)
{
    endOfStream_ = draining_ = failed_ = pendingPacket_ = false;
    if (decodes_)
        decoder_.flush();
    if (av_seek_frame(input_.get(), stream_->index, timestamp, AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    // Before the first keyframe, or a file without an index: from the beginning.
    const int ret = avformat_seek_file(input_.get(), -1, INT64_MIN, INT64_MIN, INT64_MIN, 0);
    if (ret >= 0 || av_seek_frame(input_.get(), stream_->index, INT64_MIN, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) >= 0)
        return true;
    // A stream that cannot seek at all (ADTS, raw streams) is read again from its start.
    if (openInput(error))
        return true;
    failed_ = true;
    return false;
}

bool TrackDecoder::seek(CMTime sourceTime, Error* error)
{
    int64_t target = timestampForTime(sourceTime);
    if (!decodes_ || track_.mediaType == MediaType::Audio) {
        // Audio decoders need a little run-up after a seek; the caller trims by time.
        if (track_.mediaType == MediaType::Audio)
            target -= av_rescale_q(AV_TIME_BASE / 5, AV_TIME_BASE_Q, stream_->time_base);
        return positionAt(target, error);
    }
    // Video: the first packet must be shown at or before the time. A keyframe decoded before its
    // presentation can lie just after it (B-frames); a demuxer without an index (MPEG-TS) may land
    // well after it. Go back further then, farther each time, and in the end from the beginning.
    const int64_t second = av_rescale_q(AV_TIME_BASE, AV_TIME_BASE_Q, stream_->time_base);
    seekTime_ = sourceTime;
    seekAttempt_ = 0;
    for (int attempt = 0; attempt < 6; ++attempt) {
        if (!positionAt(target, error))
            return false;
        if (readPacket(error) != Read::Packet)
            return !failed_;
        const int64_t dts = decodeTimestamp(*packet_);
        const int64_t pts = presentationTimestamp(*packet_);
        const bool before = pts == AV_NOPTS_VALUE || CMTimeCompare(packetTime(pts), sourceTime) <= 0;
        const bool atStart = dts == AV_NOPTS_VALUE || (stream_->start_time != AV_NOPTS_VALUE && dts <= stream_->start_time);
        if (before || atStart) {
            pendingPacket_ = true; // decode the packet already read
            return true;
        }
        target = std::min(dts - 1, target - (second << attempt));
    }
    return rewind(error);
}

bool TrackDecoder::landedAfterSeekTime(const AVFrame* frame) const
{
    if (!CMTIME_IS_VALID(seekTime_) || seekAttempt_ >= 6 || track_.mediaType != MediaType::Video)
        return false;
    const CMTime shown = frameTime(frame);
    const CMTime expected = CMTimeMaximum(seekTime_, track_.timeRange.start);
    return CMTIME_IS_NUMERIC(shown) && CMTimeCompare(shown, CMTimeAdd(expected, CMTimeMake(1, 1000))) > 0;
}

bool TrackDecoder::rewind(Error* error)
{
    // By bytes first: a demuxer that does not see the first keyframe as one (MPEG-TS without random
    // access flags) would otherwise land on the second.
    endOfStream_ = draining_ = failed_ = pendingPacket_ = false;
    if (decodes_)
        decoder_.flush();
    if (!(input_->iformat->flags & AVFMT_NO_BYTE_SEEK) && av_seek_frame(input_.get(), -1, 0, AVSEEK_FLAG_BYTE) >= 0)
        return true;
    return positionAt(INT64_MIN, error);
}

TrackDecoder::Read TrackDecoder::readPacket(Error* error)
{
    if (pendingPacket_) {
        pendingPacket_ = false;
        return Read::Packet;
    }
    for (;;) {
        av_packet_unref(packet_.get());
        const int ret = av_read_frame(input_.get(), packet_.get());
        // The end, or damage nothing can be read past: what was read stands.
        if (ret == AVERROR_EOF || ret == AVERROR_INVALIDDATA)
            return Read::End;
        if (ret < 0) {
            setError(error, mediaError(ret, QStringLiteral("Cannot read \"%1\"").arg(asset_->path())));
            failed_ = true;
            return Read::Failed;
        }
        if (packet_->stream_index != stream_->index || (packet_->flags & AV_PKT_FLAG_DISCARD))
            continue;
        return Read::Packet;
    }
}

FramePtr TrackDecoder::nextFrame(Error* error, int64_t skipBefore)
{
    for (;;) {
        FramePtr frame = makeFrame();
        switch (decoder_.receive(frame.get(), error)) {
        case StreamDecoder::Status::Frame:
            if (landedAfterSeekTime(frame.get())) {
                // The demuxer placed us after the time (MPEG-TS marks no keyframes, so its seeks land
                // anywhere and the decoder waits for the next keyframe): start earlier, in the end
                // from the beginning.
                const int64_t second = av_rescale_q(AV_TIME_BASE, AV_TIME_BASE_Q, stream_->time_base);
                const bool repositioned =
                    ++seekAttempt_ < 6 ? positionAt(timestampForTime(seekTime_) - (second << seekAttempt_), error) : rewind(error);
                if (!repositioned)
                    return nullptr;
                continue;
            }
            seekTime_ = kCMTimeInvalid;
            return frame;
        case StreamDecoder::Status::EndOfStream:
            endOfStream_ = true;
            return nullptr;
        case StreamDecoder::Status::Failed:
            failed_ = true;
            return nullptr;
        case StreamDecoder::Status::NeedsInput:
            break;
        }
        if (draining_) {
            endOfStream_ = true;
            return nullptr;
        }
        switch (readPacket(error)) {
        case Read::Failed:
            return nullptr;
        case Read::End:
            draining_ = true;
            decoder_.send(nullptr, nullptr);
            continue;
        case Read::Packet:
            break;
        }
        const bool skippable = skipBefore != AV_NOPTS_VALUE && packet_->pts != AV_NOPTS_VALUE && packet_->duration > 0 &&
                               packet_->pts + packet_->duration <= skipBefore;
        decoder_.context()->skip_frame = skippable ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        if (decoder_.send(packet_.get(), error) == StreamDecoder::SendResult::Failed) {
            failed_ = true;
            return nullptr;
        }
    }
}

PacketPtr TrackDecoder::nextPacket(Error* error)
{
    const Read read = readPacket(error);
    if (read != Read::Packet) {
        endOfStream_ = read == Read::End;
        return nullptr;
    }
    PacketPtr copy = makePacket();
    av_packet_move_ref(copy.get(), packet_.get());
    return copy;
}
