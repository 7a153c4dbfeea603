// Encodes interleaved PCM with a libavcodec audio encoder (AAC by default): converts to the encoder's
// sample format, cuts the stream into the encoder's frame size, and hands encoded packets (time base
// 1/sample rate, timestamps from zero) to a callback. One thread at a time. Creation fails with the
// library's message when the encoder is missing or refuses the settings.
#pragma once

#include "AudioEncoderSettings.h"
#include "Error.h"
#include "FFmpegPtr.h"
#include "SampleBuffer.h"

#include <functional>

extern "C" {
#include <libavutil/audio_fifo.h>
}

class AudioEncoder {
public:
    using PacketHandler = std::function<bool(PacketPtr packet, Error* error)>;

    bool open(const AudioEncoderSettings& settings, bool globalHeader, Error* error);
    AVCodecContext* context() const { return codec_.get(); }
    // Adds samples (any rate, channel count or sample type; converted as needed).
    bool encode(PcmBuffer& buffer, const PacketHandler& handler, Error* error);
    // Encodes what is left and drains the encoder.
    bool finish(const PacketHandler& handler, Error* error);

private:
    bool encodeFrames(bool flush, const PacketHandler& handler, Error* error);
    bool drain(const PacketHandler& handler, Error* error);

    CodecContextPtr codec_;
    SwrContextPtr resampler_;
    PcmFormat resamplerInput_;
    AudioFifoPtr fifo_;
    int64_t nextPts_ = 0;
};
