// The system's own encoder of the published "Quite OK Audio" format: frames of up to 5120 samples per
// channel in 20-sample slices, a 4-tap LMS predictor per channel carried from frame to frame, and per
// slice the scale factor found by exhaustive search (starting at the previous slice's factor; among
// equal errors the first tried wins; large predictor weights are penalised). Pure computation on
// plain buffers; one encoder per stream, one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class CWQOAEncoder {
public:
    static constexpr int kFrameLength = 5120;
    static constexpr int kSliceLength = 20;
    static constexpr int kMaxChannels = 8;

    struct Lms {
        std::array<int32_t, 4> history{};
        std::array<int32_t, 4> weights{};
    };

    CWQOAEncoder(int channels, uint32_t sampleRate);

    // Size in bytes of a frame of that many samples per channel.
    static size_t frameSize(int channels, int samples);
    // The 8-byte file header: "qoaf" and the samples per channel.
    static std::array<uint8_t, 8> fileHeader(uint32_t samples);
    // Appends one frame of `samples` (1 to 5120) interleaved samples per channel to out.
    void encodeFrame(const int16_t* interleaved, int samples, std::vector<uint8_t>& out);
    const Lms& lms(int channel) const { return lms_[size_t(channel)]; }

private:
    int channels_;
    uint32_t sampleRate_;
    std::array<Lms, kMaxChannels> lms_;
};
