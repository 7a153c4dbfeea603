#include "CWQOAEncoder.h"
#include "QoaDecoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>

namespace {

std::vector<uint8_t> encode(const std::vector<int16_t>& pcm, int channels, std::vector<int> frames)
{
    CWQOAEncoder encoder(channels, 44100);
    uint32_t total = 0;
    for (int f : frames)
        total += uint32_t(f);
    const auto header = CWQOAEncoder::fileHeader(total);
    std::vector<uint8_t> out(header.begin(), header.end());
    size_t offset = 0;
    for (int f : frames) {
        encoder.encodeFrame(pcm.data() + offset, f, out);
        offset += size_t(f) * size_t(channels);
    }
    return out;
}

double snr(const std::vector<int16_t>& a, const std::vector<int16_t>& b)
{
    double signal = 0, noise = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        signal += double(a[i]) * a[i];
        noise += double(a[i] - b[i]) * (a[i] - b[i]);
    }
    return noise == 0 ? 200 : 10 * std::log10(signal / noise);
}

} // namespace

TEST(CWQOAEncoder, FrameLayoutFollowsTheFormat)
{
    std::vector<int16_t> pcm(2 * 10240 + 2 * 33);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = int16_t(8000 * std::sin(double(i / 2) * 0.05) * (i % 2 ? 0.5 : 1.0));
    const auto bytes = encode(pcm, 2, {5120, 5120, 33});
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "qoaf");
    const auto decoded = decodeQoa(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->samples, 10273u);
    EXPECT_EQ(decoded->channels, 2);
    EXPECT_EQ(decoded->sampleRate, 44100u);
    ASSERT_EQ(decoded->frameSizes.size(), 3u);
    EXPECT_EQ(decoded->frameSizes[0], 4136u) << "a full stereo frame";
    EXPECT_EQ(decoded->frameSizes[2], CWQOAEncoder::frameSize(2, 33));
    EXPECT_EQ(CWQOAEncoder::frameSize(1, 5120), 8u + 2064u);
    EXPECT_EQ(bytes.size(), 8 + 4136 * 2 + CWQOAEncoder::frameSize(2, 33));
    EXPECT_GT(snr(pcm, decoded->interleaved), 30.0);
}

// Whatever the PCM, the encoder makes a valid stream whose decoding stays close to the input.
TEST(CWQOAEncoder, RoundTripStaysCloseForAnySignal)
{
    std::mt19937 random(42);
    std::uniform_int_distribution<int> any(-32768, 32767);
    const int n = 5120 * 2 + 777;
    struct Signal {
        const char* name;
        std::function<int16_t(int, int)> sample;
        double minimumSnr;
    };
    const Signal signals[] = {
        {"sine", [](int i, int c) { return int16_t(20000 * std::sin(i * 2 * std::numbers::pi * 440 / 44100 + c)); }, 40},
        {"silence", [](int, int) { return int16_t(0); }, 0},
        {"full-scale square", [](int i, int) { return int16_t((i / 50) % 2 ? 32767 : -32768); }, 8},
        {"white noise", [&](int, int) { return int16_t(any(random)); }, 4},
    };
    for (const Signal& signal : signals) {
        for (int channels : {1, 2, 6, 8}) {
            std::vector<int16_t> pcm(size_t(n) * size_t(channels));
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < channels; ++c)
                    pcm[size_t(i) * size_t(channels) + size_t(c)] = signal.sample(i, c);
            const auto decoded = decodeQoa(encode(pcm, channels, {5120, 5120, 777}));
            ASSERT_TRUE(decoded) << signal.name << " " << channels;
            ASSERT_EQ(decoded->interleaved.size(), pcm.size());
            if (signal.minimumSnr > 0)
                EXPECT_GT(snr(pcm, decoded->interleaved), signal.minimumSnr) << signal.name << " " << channels;
            else
                for (int16_t v : decoded->interleaved)
                    ASSERT_LE(std::abs(v), 1) << "silence stays silent";
        }
    }
}
