// A decoder of the published QOA format, written from the format description for the tests only, so
// that encoder output is judged by code other than the encoder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

struct QoaDecoded {
    int channels = 0;
    uint32_t sampleRate = 0;
    uint32_t samples = 0;               // per channel, from the file header
    std::vector<int16_t> interleaved;   // what the frames decode to
    std::vector<size_t> frameSizes;     // bytes of each frame, as read
    std::vector<uint32_t> frameSamples; // samples per channel of each frame
};

inline uint64_t qoaRead64(const uint8_t* p)
{
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = v << 8 | p[i];
    return v;
}

inline std::optional<QoaDecoded> decodeQoa(const std::vector<uint8_t>& bytes)
{
    static const int dequant[16][8] = {{1, -1, 3, -3, 5, -5, 7, -7},
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
                                       {1536, -1536, 5120, -5120, 9216, -9216, 14336, -14336}};
    if (bytes.size() < 8 || bytes[0] != 'q' || bytes[1] != 'o' || bytes[2] != 'a' || bytes[3] != 'f')
        return std::nullopt;
    QoaDecoded out;
    out.samples = uint32_t(qoaRead64(bytes.data()) & 0xffffffff);
    size_t pos = 8;
    while (pos + 8 <= bytes.size()) {
        const uint64_t header = qoaRead64(&bytes[pos]);
        const int channels = int(header >> 56);
        const uint32_t rate = uint32_t(header >> 32) & 0xffffff;
        const int samples = int(header >> 16) & 0xffff;
        const size_t size = size_t(header & 0xffff);
        if (channels < 1 || channels > 8 || pos + size > bytes.size() || size < 8 + 16 * size_t(channels))
            return std::nullopt;
        out.channels = channels;
        out.sampleRate = rate;
        out.frameSizes.push_back(size);
        out.frameSamples.push_back(uint32_t(samples));
        pos += 8;
        int history[8][4], weights[8][4];
        for (int c = 0; c < channels; ++c) {
            const uint64_t h = qoaRead64(&bytes[pos]), w = qoaRead64(&bytes[pos + 8]);
            pos += 16;
            for (int i = 0; i < 4; ++i) {
                history[c][i] = int16_t(h >> (48 - 16 * i));
                weights[c][i] = int16_t(w >> (48 - 16 * i));
            }
        }
        const size_t base = out.interleaved.size();
        out.interleaved.resize(base + size_t(samples) * size_t(channels));
        for (int start = 0; start < samples; start += 20) {
            for (int c = 0; c < channels; ++c) {
                uint64_t slice = qoaRead64(&bytes[pos]);
                pos += 8;
                const int scale = int(slice >> 60);
                const int length = std::min(20, samples - start);
                for (int i = 0; i < length; ++i) {
                    int prediction = 0;
                    for (int k = 0; k < 4; ++k)
                        prediction += history[c][k] * weights[c][k];
                    prediction >>= 13;
                    const int quantized = int(slice >> 57) & 7;
                    slice <<= 3;
                    const int dequantized = dequant[scale][quantized];
                    const int value = std::clamp(prediction + dequantized, -32768, 32767);
                    out.interleaved[base + size_t(start + i) * size_t(channels) + size_t(c)] = int16_t(value);
                    const int delta = dequantized >> 4;
                    for (int k = 0; k < 4; ++k)
                        weights[c][k] += history[c][k] < 0 ? -delta : delta;
                    for (int k = 0; k < 3; ++k)
                        history[c][k] = history[c][k + 1];
                    history[c][3] = value;
                }
            }
        }
    }
    return pos == bytes.size() ? std::optional<QoaDecoded>(out) : std::nullopt;
}
