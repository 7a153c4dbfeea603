// Any PCM through the QOA encoder and back through the tests' independent decoder: a valid stream of
// the same length whatever the samples (first byte: channel count).
#include "CWQOAEncoder.h"
#include "QoaDecoder.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const int channels = 1 + data[0] % 8;
    const size_t frames = (size - 1) / 2 / size_t(channels);
    if (frames == 0)
        return 0;
    std::vector<int16_t> pcm(frames * size_t(channels));
    std::memcpy(pcm.data(), data + 1, pcm.size() * 2);
    CWQOAEncoder encoder(channels, 44100);
    const auto header = CWQOAEncoder::fileHeader(uint32_t(frames));
    std::vector<uint8_t> out(header.begin(), header.end());
    for (size_t at = 0; at < frames; at += CWQOAEncoder::kFrameLength)
        encoder.encodeFrame(pcm.data() + at * size_t(channels), int(std::min<size_t>(CWQOAEncoder::kFrameLength, frames - at)), out);
    const auto decoded = decodeQoa(out);
    if (!decoded || decoded->interleaved.size() != pcm.size())
        __builtin_trap();
    return 0;
}
