// Encodes pictures with libx264 ('avc1') or libx265 ('hvc1') for a size: frames in (any pixel format,
// converted to 4:2:0 when needed, with their composition times), encoded packets out through a
// callback, B-frames allowed, not real-time. complete() flushes what the encoder holds. Creation
// fails with a clear error when the encoder is missing or refuses the settings. One thread at a time.
//
// Defaults for a general-purpose export: x264 "medium" at CRF 18 and x265 "medium" at CRF 20, which
// are visually transparent for typical footage; a smaller output asks for a higher CRF.
#pragma once

#include "Error.h"
#include "FFmpegPtr.h"
#include "SampleBuffer.h"
#include "VideoEncoderSettings.h"

#include <functional>
#include <map>

class VideoEncoder {
public:
    using Options = VideoEncoderOptions;
    using PacketHandler = std::function<bool(PacketPtr packet, Error* error)>;

    bool open(const Options& options, Error* error);
    AVCodecContext* context() const { return codec_.get(); }
    bool encode(VideoFrameBuffer& frame, const PacketHandler& handler, Error* error);
    bool complete(const PacketHandler& handler, Error* error);
    void invalidate() { codec_.reset(); }

private:
    bool drain(const PacketHandler& handler, Error* error);

    CodecContextPtr codec_;
    SwsContextPtr scaler_;
    int64_t lastPts_ = AV_NOPTS_VALUE;
    std::map<int64_t, int64_t> durations_; // by frame time, for the packets the encoder leaves without one
};
