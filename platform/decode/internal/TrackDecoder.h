// Decodes one track of an asset from any point: owns a demuxer of its own (every other stream
// discarded) and the track's decoder. Seeking goes to the keyframe at or before a time, also when the
// keyframe is presented after it (B-frames), so the frame shown at that time is among those that
// follow. Frames come in presentation order; their times are source times (zero at the asset's start).
//
// Used by one thread at a time. End of file and damage the demuxer cannot get past end the stream;
// a read error other than the end of the file is reported as a failure with its message.
#pragma once

#include "CMTime.h"
#include "Error.h"
#include "FFmpegPtr.h"
#include "MediaTypes.h"
#include "StreamDecoder.h"

#include <memory>

class MediaAsset;

class TrackDecoder {
public:
    bool open(std::shared_ptr<const MediaAsset> asset, int32_t trackID, Error* error);

    const MediaTrack& track() const { return track_; }
    const MediaAsset& asset() const { return *asset_; }
    AVStream* stream() const { return stream_; }
    AVCodecContext* codec() const { return decoder_.context(); }

    // Positions the decoder so that the next frames include the one shown at the time.
    bool seek(CMTime sourceTime, Error* error);
    // The next frame in presentation order; null at the end (atEnd()) or on failure (failed()).
    // Non-reference frames that end at or before skipBefore (a stream timestamp) may be dropped unseen.
    FramePtr nextFrame(Error* error, int64_t skipBefore = AV_NOPTS_VALUE);
    bool atEnd() const { return endOfStream_; }
    bool failed() const { return failed_; }

    // The next packet of the track without decoding, for copying; null at the end or on failure.
    PacketPtr nextPacket(Error* error);

    CMTime frameTime(const AVFrame* frame) const;
    CMTime packetTime(int64_t timestamp) const;
    CMTime durationOf(int64_t ticks) const;
    // A decoded frame's time in a run of frames: one without a timestamp follows the frame before (at
    // `previous`; invalid when there is none) by `step`, or stands at `start`.
    CMTime frameTimeAfter(const AVFrame& frame, CMTime previous, CMTime step, CMTime start) const;
    // How long a frame is shown when no later frame tells: its own duration, else `fallback` (the
    // last frame of a stretch).
    CMTime shownDuration(const AVFrame& frame, CMTime fallback) const;
    // One frame at the track's nominal rate (1/30 s where it states none).
    CMTime nominalFrameDuration() const;
    int64_t timestampForTime(CMTime sourceTime) const;
    // The index's keyframe at or before the time (a stream timestamp), or AV_NOPTS_VALUE when the
    // container's index does not say (nothing indexed there yet).
    int64_t indexedKeyframeBefore(CMTime sourceTime) const;

private:
    enum class Read { Packet, End, Failed };
    Read readPacket(Error* error);
    bool positionAt(int64_t timestamp, Error* error);
    bool rewind(Error* error); // to the very start of the file
    // The first frame after a seek is shown after the time: the seek went too far.
    bool landedAfterSeekTime(const AVFrame* frame) const;
    // Opens the file for reading the track from its start.
    bool openInput(Error* error);

    std::shared_ptr<const MediaAsset> asset_;
    MediaTrack track_;
    InputFormatContextPtr input_;
    AVStream* stream_ = nullptr;
    StreamDecoder decoder_;
    bool decodes_ = false;
    PacketPtr packet_ = makePacket();
    bool endOfStream_ = false;
    bool draining_ = false;
    bool failed_ = false;
    bool pendingPacket_ = false;       // packet_ holds a packet read ahead that is still to be used
    CMTime seekTime_ = kCMTimeInvalid; // the last seek's time until its first frame is checked
    int seekAttempt_ = 0;
};
