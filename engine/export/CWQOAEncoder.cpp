#include "CWQOAEncoder.h"

#include <algorithm>
#include <limits>

namespace {

const int kReciprocal[16] = {65536, 9363, 3121, 1457, 781, 475, 311, 216, 156, 117, 90, 71, 57, 47, 39, 32};
const int kQuantize[17] = {7, 7, 7, 5, 5, 3, 3, 1, 0, 0, 2, 2, 4, 4, 6, 6, 6};
const int kDequantize[16][8] = {
    {1, -1, 3, -3, 5, -5, 7, -7},
    {5, -5, 18, -18, 32, -32, 49, -49},
    {16, -16, 53, -53, 95, -95, 147, -147},
    {34, -34, 113, -113, 203, -203, 315, -315},
    {63, -63, 210, -210, 378, -378, 588, -588},
    {104, -104, 345, -345, 621, -621, 966, -966},
    {158, -158, 528, -528, 950, -950, 1477, -1477},
    {228, -228, 760, -760, 1368, -1368, 2128, -2128},
    {316, -316, 1053, -1053, 1895, -1895, 2947, -2947},
    {422, -422, 1405, -1405, 2529, -2529, 3934, -3934},
    {548, -548, 1828, -1828, 3290, -3290, 5117, -5117},
    {696, -696, 2320, -2320, 4176, -4176, 6496, -6496},
    {868, -868, 2893, -2893, 5207, -5207, 8099, -8099},
    {1064, -1064, 3548, -3548, 6386, -6386, 9933, -9933},
    {1286, -1286, 4288, -4288, 7718, -7718, 12005, -12005},
    {1536, -1536, 5120, -5120, 9216, -9216, 14336, -14336},
};

int clampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

int predict(const CWQOAEncoder::Lms& lms)
{
    int prediction = 0;
    for (int i = 0; i < 4; ++i)
        prediction += lms.history[size_t(i)] * lms.weights[size_t(i)];
    return prediction >> 13;
}

void update(CWQOAEncoder::Lms& lms, int sample, int residual)
{
    const int delta = residual >> 4;
    for (int i = 0; i < 4; ++i)
        lms.weights[size_t(i)] += lms.history[size_t(i)] < 0 ? -delta : delta;
    for (int i = 0; i < 3; ++i)
        lms.history[size_t(i)] = lms.history[size_t(i) + 1];
    lms.history[3] = sample;
}

// Division by the scale factor through its reciprocal, rounding away from zero. In 64 bits: a full
// scale residual times the largest reciprocal does not fit 32.
int divide(int v, int scaleFactor)
{
    const int64_t reciprocal = kReciprocal[scaleFactor];
    int64_t n = (int64_t(v) * reciprocal + (1 << 15)) >> 16;
    n = n + ((v > 0) - (v < 0)) - ((n > 0) - (n < 0));
    return int(std::clamp<int64_t>(n, -65536, 65536));
}

void put64(std::vector<uint8_t>& out, uint64_t v)
{
    for (int shift = 56; shift >= 0; shift -= 8)
        out.push_back(uint8_t(v >> shift));
}

} // namespace

CWQOAEncoder::CWQOAEncoder(int channels, uint32_t sampleRate) : channels_(channels), sampleRate_(sampleRate)
{
    for (Lms& lms : lms_)
        lms.weights = {0, 0, -(1 << 13), 1 << 14};
}

size_t CWQOAEncoder::frameSize(int channels, int samples)
{
    const int slices = (samples + kSliceLength - 1) / kSliceLength;
    return 8 + size_t(16 * channels) + size_t(8 * channels * slices);
}

std::array<uint8_t, 8> CWQOAEncoder::fileHeader(uint32_t samples)
{
    return {'q', 'o', 'a', 'f', uint8_t(samples >> 24), uint8_t(samples >> 16), uint8_t(samples >> 8), uint8_t(samples)};
}

void CWQOAEncoder::encodeFrame(const int16_t* interleaved, int samples, std::vector<uint8_t>& out)
{
    const size_t size = frameSize(channels_, samples);
    out.reserve(out.size() + size);
    put64(out, uint64_t(channels_) << 56 | uint64_t(sampleRate_ & 0xffffff) << 32 | uint64_t(samples) << 16 | size);
    for (int c = 0; c < channels_; ++c) {
        uint64_t history = 0, weights = 0;
        for (int i = 0; i < 4; ++i) {
            history = (history << 16) | uint16_t(lms_[size_t(c)].history[size_t(i)] & 0xffff);
            weights = (weights << 16) | uint16_t(lms_[size_t(c)].weights[size_t(i)] & 0xffff);
        }
        put64(out, history);
        put64(out, weights);
    }
    std::array<int, kMaxChannels> previousScale{};
    for (int start = 0; start < samples; start += kSliceLength) {
        const int length = std::min(kSliceLength, samples - start);
        for (int c = 0; c < channels_; ++c) {
            uint64_t bestError = std::numeric_limits<uint64_t>::max();
            uint64_t bestSlice = 0;
            Lms bestLms{};
            int bestScale = 0;
            for (int k = 0; k < 16; ++k) {
                const int scale = (previousScale[size_t(c)] + k) % 16;
                Lms lms = lms_[size_t(c)];
                uint64_t slice = uint64_t(scale);
                uint64_t error = 0;
                bool worse = false;
                for (int i = 0; i < length; ++i) {
                    const int sample = interleaved[size_t(start + i) * size_t(channels_) + size_t(c)];
                    const int prediction = predict(lms);
                    const int residual = sample - prediction;
                    const int scaled = divide(residual, scale);
                    const int quantized = kQuantize[clampInt(scaled, -8, 8) + 8];
                    const int dequantized = kDequantize[scale][quantized];
                    const int reconstructed = clampInt(prediction + dequantized, -32768, 32767);
                    int64_t weightSum = 0;
                    for (int32_t w : lms.weights)
                        weightSum += int64_t(w) * w;
                    const int64_t penalty = std::max<int64_t>(0, (weightSum >> 18) - 0x8ff);
                    const int64_t difference = sample - reconstructed;
                    error += uint64_t(difference * difference) + uint64_t(penalty * penalty);
                    if (error > bestError) {
                        worse = true;
                        break;
                    }
                    update(lms, reconstructed, dequantized);
                    slice = (slice << 3) | uint64_t(quantized);
                }
                if (!worse && error < bestError) {
                    bestError = error;
                    bestSlice = slice;
                    bestLms = lms;
                    bestScale = scale;
                }
            }
            previousScale[size_t(c)] = bestScale;
            lms_[size_t(c)] = bestLms;
            bestSlice <<= 3 * (kSliceLength - length);
            put64(out, bestSlice);
        }
    }
}
