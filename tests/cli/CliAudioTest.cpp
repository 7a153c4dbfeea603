// The audio presets through the real clipwell_cli: MP3 (LAME), QOA, FLAC and Apple Lossless, judged by
// ffprobe, by ffmpeg's decoding and by the tests' own QOA decoder.
#include "CliHarness.h"
#include "QoaDecoder.h"

#include <cmath>

using namespace TestMedia;

namespace {

using Outcome = CliOutcome;

class AudioCliTest : public CliHarness {
protected:
    static std::vector<int16_t> decode(const QString& path) { return pcm16(path); }
    static QJsonObject stream(const QString& path, int index = 0)
    {
        return probe(path).value(QStringLiteral("streams")).toArray()[index].toObject();
    }
    static QString loud()
    {
        return make(QStringLiteral("loud.wav"),
                    {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("aevalsrc=0.9*sin(440*2*PI*t):s=44100:d=1"), QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")});
    }
    static QString art()
    {
        return make(QStringLiteral("audio-art.png"),
                    {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("color=yellow:s=50x50"),
                     QStringLiteral("-frames:v"), QStringLiteral("1")});
    }
};

} // namespace

TEST_F(AudioCliTest, Mp3IsGaplessTaggedAndMixedDown)
{
    const QString source = inside(h264WithBFrames(), QStringLiteral("talk.mp4"));
    const QString artwork = inside(art(), QStringLiteral("art.png"));
    Outcome r = run({"-i", source, "-o", "talk.mp3", "-c", "2", "-c", "4", "--meta-title", "Ünïcödé ✓ 日本", "--meta-year", "2030",
                     "--artwork", artwork});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    const QString mp3 = granted + QStringLiteral("/talk.mp3");
    EXPECT_EQ(stream(mp3).value(QStringLiteral("codec_name")).toString(), QStringLiteral("mp3"));
    EXPECT_EQ(stream(mp3).value(QStringLiteral("channels")).toInt(), 2);
    EXPECT_NEAR(stream(mp3).value(QStringLiteral("bit_rate")).toString().toDouble(), 320000, 1000) << "the default bit rate";
    EXPECT_EQ(tags(mp3).value(QStringLiteral("title")).toString(), QStringLiteral("Ünïcödé ✓ 日本"));
    EXPECT_EQ(tags(mp3).value(QStringLiteral("date")).toString(), QStringLiteral("2030"));
    const QJsonArray streams = probe(mp3).value(QStringLiteral("streams")).toArray();
    ASSERT_EQ(streams.size(), 2) << "the artwork";
    EXPECT_EQ(streams[1].toObject().value(QStringLiteral("tags")).toObject().value(QStringLiteral("comment")).toString(),
              QStringLiteral("Cover (front)"));
    // The Info tag tells decoders the encoder's delay and padding: exactly the kept 8 s come out.
    EXPECT_EQ(decode(mp3).size(), size_t(8 * 48000 * 2));

    // More than two channels reach LAME as stereo; a mono source stays mono.
    const QString surround =
        inside(make(QStringLiteral("six.wav"), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                                QStringLiteral("sine=d=1"), QStringLiteral("-ac"), QStringLiteral("6")}),
               QStringLiteral("six.wav"));
    ASSERT_EQ(run({"-i", surround, "-o", "six.mp3"}).status, 0);
    EXPECT_EQ(stream(granted + QStringLiteral("/six.mp3")).value(QStringLiteral("channels")).toInt(), 2);
    ASSERT_EQ(run({"-i", inside(wav(), QStringLiteral("tone.wav")), "-o", "mono.mp3", "-p", "lame"}).status, 0);
    EXPECT_EQ(stream(granted + QStringLiteral("/mono.mp3")).value(QStringLiteral("channels")).toInt(), 1);
}

TEST_F(AudioCliTest, Mp3VolumeRules)
{
    const QString source = inside(loud(), QStringLiteral("loud.wav"));
    ASSERT_EQ(run({"-i", source, "-o", "silent.mp3", "--volume", "-100"}).status, 0);
    int peak = 0;
    for (int16_t v : decode(granted + QStringLiteral("/silent.mp3")))
        peak = std::max(peak, std::abs(int(v)));
    EXPECT_EQ(peak, 0) << "-100 makes silence";
    ASSERT_EQ(run({"-i", source, "-o", "clipped.mp3", "--volume", "+100"}).status, 0);
    int clippedSamples = 0;
    for (int16_t v : decode(granted + QStringLiteral("/clipped.mp3")))
        clippedSamples += std::abs(int(v)) >= 32000;
    EXPECT_GT(clippedSamples, 1000) << "+100 doubles a loud signal into clipping";
}

TEST_F(AudioCliTest, QoaRoundTripsThroughAnIndependentDecoder)
{
    const QString source = inside(h264WithBFrames(), QStringLiteral("talk.mp4"));
    ASSERT_EQ(run({"-i", source, "-o", "talk.qoa", "-p", "qoa"}).status, 0);
    QFile file(granted + QStringLiteral("/talk.qoa"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray raw = file.readAll();
    const auto decoded = decodeQoa(std::vector<uint8_t>(raw.begin(), raw.end()));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->channels, 2);
    EXPECT_EQ(decoded->sampleRate, 48000u);
    // ffmpeg also decodes the encoder's padding past the 10 s the file presents; that tail is left out.
    const std::vector<int16_t> reference = decode(source);
    EXPECT_EQ(decoded->samples, 480000u);
    ASSERT_EQ(decoded->interleaved.size(), size_t(decoded->samples) * 2);
    ASSERT_GE(reference.size(), decoded->interleaved.size());
    // Every frame but the last is full, whatever sizes the reader delivered in.
    for (size_t i = 0; i + 1 < decoded->frameSizes.size(); ++i) {
        EXPECT_EQ(decoded->frameSamples[i], 5120u);
        EXPECT_EQ(decoded->frameSizes[i], 4136u);
    }
    double signal = 0, noise = 0;
    for (size_t i = 0; i < decoded->interleaved.size(); ++i) {
        signal += double(reference[i]) * reference[i];
        noise += double(reference[i] - decoded->interleaved[i]) * (reference[i] - decoded->interleaved[i]);
    }
    EXPECT_GT(10 * std::log10(signal / noise), 25.0) << "QOA is lossy: a quiet tone keeps about 30 dB";

    const QString ten = inside(make(QStringLiteral("ten.wav"), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                                                QStringLiteral("aevalsrc=0|0|0|0|0|0|0|0|0|0:s=8000:d=0.5")}),
                               QStringLiteral("ten.wav"));
    const Outcome refused = run({"-i", ten, "-o", "ten.qoa", "-p", "qoa"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.out.contains(QStringLiteral("QOA holds 1 to 8 channels")));
    EXPECT_FALSE(QFile::exists(granted + QStringLiteral("/ten.qoa")));
}

TEST_F(AudioCliTest, FlacAndAppleLosslessAreBitExactAndTagged)
{
    const QString flacSource = inside(flac(), QStringLiteral("tone.flac"));
    const std::vector<int16_t> original = decode(flacSource); // 44.1 kHz mono
    ASSERT_EQ(run({"-i", flacSource, "-o", "same.flac", "-p", "flac"}).status, 0);
    EXPECT_EQ(decode(granted + QStringLiteral("/same.flac")), original);
    // Cutting 0.5 s to 1 s keeps the other samples exactly.
    ASSERT_EQ(run({"-i", flacSource, "-o", "cut.flac", "-p", "flac", "-c", "0.5", "-c", "1"}).status, 0);
    std::vector<int16_t> expected(original.begin(), original.begin() + 22050);
    expected.insert(expected.end(), original.begin() + 44100, original.end());
    EXPECT_EQ(decode(granted + QStringLiteral("/cut.flac")), expected);

    const QString artwork = inside(art(), QStringLiteral("art.png"));
    ASSERT_EQ(run({"-i", flacSource, "-o", "tagged.flac", "-p", "flac", "--meta-artist", "Someone", "--artwork", artwork}).status, 0);
    const QJsonObject probed = probe(granted + QStringLiteral("/tagged.flac"));
    EXPECT_EQ(probed.value(QStringLiteral("format")).toObject().value(QStringLiteral("format_name")).toString(), QStringLiteral("flac"));
    const QJsonObject flacTags = probed.value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject();
    auto tag = [&](const char* name) {
        for (auto it = flacTags.begin(); it != flacTags.end(); ++it)
            if (it.key().compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return it.value().toString();
        return QString();
    };
    EXPECT_EQ(tag("artist"), QStringLiteral("Someone"));
    EXPECT_EQ(tag("title"), QStringLiteral("FLAC Title")) << "the source's own title";
    EXPECT_EQ(probed.value(QStringLiteral("streams")).toArray().size(), 2) << "a PICTURE block";

    // A picture of 12,000 × 2 pixels (a few bytes) becomes a square of at most 3,000 pixels a side, not
    // 12,000: the canvas is bounded.
    const QString sliver = inside(
        make(QStringLiteral("sliver.png"), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                            QStringLiteral("color=red:s=12000x2"), QStringLiteral("-frames:v"), QStringLiteral("1")}),
        QStringLiteral("sliver.png"));
    ASSERT_EQ(run({"-i", flacSource, "-o", "sliver.flac", "-p", "flac", "--artwork", sliver}).status, 0);
    const QJsonArray sliverStreams = probe(granted + QStringLiteral("/sliver.flac")).value(QStringLiteral("streams")).toArray();
    ASSERT_EQ(sliverStreams.size(), 2);
    EXPECT_EQ(sliverStreams[1].toObject().value(QStringLiteral("width")).toInt(), 3000);
    EXPECT_EQ(sliverStreams[1].toObject().value(QStringLiteral("height")).toInt(), 3000);

    const QString wavSource = inside(wav(), QStringLiteral("tone.wav"));
    ASSERT_EQ(run({"-i", wavSource, "-o", "tone.m4a", "-p", "alac", "--meta-title", "Lossless"}).status, 0);
    const QString alac = granted + QStringLiteral("/tone.m4a");
    EXPECT_EQ(stream(alac).value(QStringLiteral("codec_name")).toString(), QStringLiteral("alac"));
    EXPECT_EQ(decode(alac), decode(wavSource));
    EXPECT_EQ(tags(alac).value(QStringLiteral("title")).toString(), QStringLiteral("Lossless"));
}

// The lossless presets keep what the source resolves: 24-bit sources stay 24-bit to the last bit,
// floating-point sources become 24-bit, 16-bit sources stay 16-bit (no padding).
TEST_F(AudioCliTest, LosslessPresetsKeepTheSourceResolution)
{
    const auto source = [](const char* name, const char* codec) {
        return make(QString::fromLatin1(name), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                                QStringLiteral("aevalsrc=0.7*sin(440*2*PI*t)+0.01*sin(7919*t):s=48000:d=1:c=stereo"),
                                                QStringLiteral("-c:a"), QString::fromLatin1(codec)});
    };
    const auto samples32 = [](const QString& path) {
        const QByteArray bytes = decodedAudio(path, "s32le");
        std::vector<int32_t> samples(size_t(bytes.size()) / 4);
        memcpy(samples.data(), bytes.constData(), samples.size() * 4);
        return samples;
    };
    const auto bits = [](const QString& path) { return stream(path).value(QStringLiteral("bits_per_raw_sample")).toString().toInt(); };
    const QString deep = inside(source("deep.wav", "pcm_s24le"), QStringLiteral("deep.wav"));
    const QString floating = inside(source("float.wav", "pcm_f32le"), QStringLiteral("float.wav"));
    const QString plain = inside(source("plain.wav", "pcm_s16le"), QStringLiteral("plain.wav"));
    const std::vector<int32_t> deepSamples = samples32(deep);
    ASSERT_EQ(deepSamples.size(), 96000u);
    ASSERT_TRUE(std::any_of(deepSamples.begin(), deepSamples.end(), [](int32_t v) { return (v & 0xff00) != 0; })) << "24-bit detail";

    for (const char* preset : {"flac", "alac"}) {
        SCOPED_TRACE(preset);
        const QString extension = QByteArray(preset) == "flac" ? QStringLiteral("flac") : QStringLiteral("m4a");
        const QString fromDeep = granted + QStringLiteral("/deep-%1.%2").arg(QLatin1String(preset), extension);
        const QString fromFloat = granted + QStringLiteral("/float-%1.%2").arg(QLatin1String(preset), extension);
        const QString fromPlain = granted + QStringLiteral("/plain-%1.%2").arg(QLatin1String(preset), extension);
        ASSERT_EQ(run({"-i", deep, "-o", fromDeep, "-p", preset}).status, 0);
        ASSERT_EQ(run({"-i", floating, "-o", fromFloat, "-p", preset}).status, 0);
        ASSERT_EQ(run({"-i", plain, "-o", fromPlain, "-p", preset}).status, 0);
        EXPECT_EQ(bits(fromDeep), 24);
        EXPECT_EQ(bits(fromFloat), 24);
        EXPECT_EQ(bits(fromPlain), 16);
        EXPECT_EQ(samples32(fromDeep), deepSamples);
        EXPECT_EQ(samples32(fromPlain), samples32(plain));
        // The float source rounded to 24 bits: within one step of 24-bit resolution.
        const std::vector<int32_t> exact = samples32(floating), stored = samples32(fromFloat);
        ASSERT_EQ(stored.size(), exact.size());
        int64_t worst = 0;
        for (size_t i = 0; i < exact.size(); ++i)
            worst = std::max<int64_t>(worst, std::abs(int64_t(exact[i]) - stored[i]));
        EXPECT_LE(worst, 256);
    }
    QByteArray shown;
    TestMedia::run(QStringLiteral("metaflac"), {QStringLiteral("--show-bps"), granted + QStringLiteral("/deep-flac.flac")}, &shown);
    EXPECT_EQ(shown.trimmed(), "24");
}

TEST_F(AudioCliTest, ATruncatedSourceFailsInsteadOfEndingShort)
{
    // A FLAC file whose header promises 10 s but whose data stops after about a third of it.
    const QString whole =
        make(QStringLiteral("long.flac"), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                           QStringLiteral("sine=d=10:sample_rate=44100"), QStringLiteral("-c:a"), QStringLiteral("flac")});
    QFile in(whole);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QFile cut(granted + QStringLiteral("/truncated.flac"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(in.read(in.size() / 3));
    cut.close();
    for (const char* preset : {"flac", "qoa", "lame"}) {
        const Outcome r = run({"-i", cut.fileName(), "-o", QStringLiteral("truncated-%1.out").arg(QLatin1String(preset)), "-p", preset});
        EXPECT_EQ(r.status, 1) << preset;
        EXPECT_TRUE(r.out.contains(QStringLiteral("Error: Export failed:"))) << preset << r.out.toStdString();
        EXPECT_FALSE(QFile::exists(granted + QStringLiteral("/truncated-%1.out").arg(QLatin1String(preset))));
    }
}

TEST_F(AudioCliTest, WriteErrorsFailAndLeaveNothing)
{
    const QString source = inside(h264WithBFrames(), QStringLiteral("talk.mp4"));
    for (const QStringList& arguments :
         {QStringList{"-i", source, "-o", "full.mp3", "-p", "lame"}, QStringList{"-i", source, "-o", "full.qoa", "-p", "qoa"},
          QStringList{"-i", source, "-o", "full.flac", "-p", "flac"}}) {
        const Outcome r = run(arguments, QStringLiteral("ulimit -f 30; exec"));
        EXPECT_EQ(r.status, 1) << arguments.join(' ').toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral("Error: Export failed:"))) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral("File too large"))) << r.out.toStdString();
        EXPECT_FALSE(QFile::exists(granted + QLatin1Char('/') + arguments[3]));
    }
    EXPECT_TRUE(QDir(granted).entryList({QStringLiteral(".*partial*")}, QDir::Files | QDir::Hidden).isEmpty());
}

// Sources that cannot seek or have no index (ADTS AAC, a raw MP3 stream without a header frame, an MPEG
// transport stream) export with every audio preset: read from the start where seeking is impossible.
TEST_F(AudioCliTest, StreamsWithoutAnIndexExportWithEveryAudioPreset)
{
    const QString adts =
        inside(make(QStringLiteral("stream.aac"), {"-f", "lavfi", "-i", "sine=d=3:sample_rate=48000", "-c:a", "aac", "-f", "adts"}),
               QStringLiteral("stream.aac"));
    const QString rawMp3 =
        inside(make(QStringLiteral("stream.mp3"), {"-f", "lavfi", "-i", "sine=d=3:sample_rate=44100", "-c:a", "libmp3lame", "-write_xing",
                                                   "0", "-id3v2_version", "0", "-f", "mp3"}),
               QStringLiteral("stream.mp3"));
    const QString ts = inside(transportStreamBFrames(), QStringLiteral("stream.ts"));
    const struct {
        const char* preset;
        const char* extension;
    } presets[] = {{"m4a", "m4a"}, {"alac", "m4a"}, {"flac", "flac"}, {"lame", "mp3"}, {"qoa", "qoa"}};
    for (const QString& source : {adts, rawMp3, ts}) {
        const double length =
            probe(source).value(QStringLiteral("format")).toObject().value(QStringLiteral("duration")).toString().toDouble();
        for (const auto& preset : presets) {
            SCOPED_TRACE(source.toStdString() + " " + preset.preset);
            const QString out =
                QStringLiteral("indexless-%1.%2").arg(QString::fromLatin1(preset.preset), QString::fromLatin1(preset.extension));
            const Outcome r = run({"-i", source, "-o", out, "-p", preset.preset, "-c", "1", "-c", "2"});
            ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
            if (QString::fromLatin1(preset.preset) == QLatin1String("qoa")) { // ffmpeg 5.1 has no QOA decoder
                QFile file(granted + QLatin1Char('/') + out);
                ASSERT_TRUE(file.open(QIODevice::ReadOnly));
                const QByteArray raw = file.readAll();
                const auto qoa = decodeQoa(std::vector<uint8_t>(raw.begin(), raw.end()));
                ASSERT_TRUE(qoa);
                EXPECT_NEAR(double(qoa->samples) / qoa->sampleRate, length - 1, 0.06);
                continue;
            }
            const Decoded decoded = TestMedia::decode(granted + QLatin1Char('/') + out);
            EXPECT_TRUE(decoded.messages.isEmpty()) << decoded.messages.toStdString();
            const double rate = stream(granted + QLatin1Char('/') + out).value(QStringLiteral("sample_rate")).toString().toDouble();
            EXPECT_NEAR(double(decoded.audioSamples) / rate, length - 1, 0.06);
        }
    }
}
