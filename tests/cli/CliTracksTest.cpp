// clipwell_cli --list-tracks and --tracks: the tracks of a file with a video, two audio tracks (a 440 Hz
// tone in English, an 880 Hz tone in German) and subtitles, listed, and chosen for every preset. What
// each output holds is read by ffprobe and its sound by ffmpeg's decoder (the QOA file by the tests'
// own decoder), so the tone says which audio track went in.
#include "CliHarness.h"
#include "QoaDecoder.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace TestMedia;

namespace {

class CliTracksTest : public CliHarness {
protected:
    static void SetUpTestSuite()
    {
        CliHarness::SetUpTestSuite();
        source = inside(twoAudioAndSubtitle(), QStringLiteral("multi.mp4"));
    }
    // The sound of a file's index-th audio track: the QOA file decoded here, the others by ffmpeg.
    static std::vector<float> sound(const QString& path, int index = 0)
    {
        if (!path.endsWith(QLatin1String(".qoa")))
            return monoAudio(path, index);
        const QByteArray bytes = contents(path);
        const std::optional<QoaDecoded> decoded = decodeQoa(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        std::vector<float> mono;
        if (decoded && decoded->channels > 0 && decoded->sampleRate == 48000)
            for (size_t i = 0; i < decoded->interleaved.size(); i += size_t(decoded->channels))
                mono.push_back(decoded->interleaved[i] / 32768.0f);
        return mono;
    }
    static inline QString source;
};

// Which of the two tones a sound holds: "440", "880", "both" or "neither".
QString tonesIn(const std::vector<float>& sound)
{
    const double low = toneStrength(sound, 440), high = toneStrength(sound, 880), off = toneStrength(sound, 660);
    const bool hasLow = low > 20 * off && low > 0.01, hasHigh = high > 20 * off && high > 0.01;
    return hasLow && hasHigh ? QStringLiteral("both")
           : hasLow          ? QStringLiteral("440")
           : hasHigh         ? QStringLiteral("880")
                             : QStringLiteral("neither");
}

} // namespace

// Every preset takes the chosen tracks and only them: the German audio track (with the video where the
// preset writes pictures, and the subtitles where it copies them), never the English one, and the one
// chosen audio track is the default.
TEST_F(CliTracksTest, EveryPresetTakesTheChosenTracks)
{
    struct Case {
        const char* preset;
        const char* output;
        const char* streams; // as streamLayout() gives them
    };
    const std::vector<Case> cases{
        {"passthrough", "copy.mp4", "video default, audio deu default, subtitle default"},
        {"h264", "avc.mp4", "audio deu default, video default, subtitle default"},
        {"h265", "hevc.mp4", "audio deu default, video default, subtitle default"},
        {"low", "small.mp4", "video default, audio deu default"},
        {"m4a", "sound.m4a", "audio deu default"},
        {"alac", "lossless.m4a", "audio deu default"},
        {"flac", "sound.flac", "audio"},
        {"lame", "sound.mp3", "audio"},
        {"qoa", "sound.qoa", ""},
    };
    // The numbered frames a viewer gets: 0–24, then 50–99 (1 s to 2 s is cut out at 25 fps).
    std::vector<int> frames;
    for (int n = 0; n < 100; ++n)
        if (n < 25 || n >= 50)
            frames.push_back(n);
    for (const Case& c : cases) {
        const CliOutcome r =
            run({"-i", source, "--tracks", "0,2,3", "-p", QLatin1String(c.preset), "-c", "1", "-c", "2", "-o", QLatin1String(c.output)});
        ASSERT_EQ(r.status, 0) << c.preset << "\n" << r.out.toStdString() << r.err.toStdString();
        const QString output = granted + QLatin1Char('/') + QLatin1String(c.output);
        if (*c.streams) {
            EXPECT_EQ(streamLayout(output), c.streams) << c.preset;
        }
        if (QLatin1String(c.streams).contains(QLatin1String("video"))) {
            const Decoded decoded = decode(output);
            EXPECT_EQ(decoded.frameNumbers, frames) << c.preset;
            EXPECT_EQ(decoded.messages, QByteArray()) << c.preset;
        }
        const std::vector<float> audio = sound(output);
        EXPECT_NEAR(double(audio.size()) / 48000, 3.0, 0.1) << c.preset;
        EXPECT_EQ(tonesIn(audio), QLatin1String("880")) << c.preset;
    }
}

// --list-tracks prints every track with its kind, codec, language and channels, as text or JSON, and
// exports nothing.
TEST_F(CliTracksTest, TracksAreListed)
{
    CliOutcome r = run({"-i", source, "--list-tracks"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << r.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QLatin1String("0  video     h264"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("160×120"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith(QLatin1String("1  audio     aac"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QLatin1String("eng"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].contains(QLatin1String("deu"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].startsWith(QLatin1String("3  subtitle  mov_text"))) << lines[3].toStdString();
    r = run({"-i", source, "--list-tracks", "--json"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    const QStringList records = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(records.size(), 4) << r.out.toStdString();
    const QJsonObject second = QJsonDocument::fromJson(records[2].toUtf8()).object();
    EXPECT_EQ(second.value(QStringLiteral("type")).toString(), QLatin1String("track"));
    EXPECT_EQ(second.value(QStringLiteral("index")).toInt(), 2);
    EXPECT_EQ(second.value(QStringLiteral("kind")).toString(), QLatin1String("audio"));
    EXPECT_EQ(second.value(QStringLiteral("codec")).toString(), QLatin1String("aac"));
    EXPECT_EQ(second.value(QStringLiteral("language")).toString(), QLatin1String("deu"));
    EXPECT_GT(second.value(QStringLiteral("channels")).toInt(), 0);
}

// Several audio tracks: pass-through keeps each (in the file's order, the first the default); the
// presets that encode sound mix the chosen ones and no other.
TEST_F(CliTracksTest, ChosenAudioTracksAreKeptOrMixed)
{
    CliOutcome r = run({"-i", source, "--tracks", "2,1", "-o", "both.m4a"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    const QString both = granted + QStringLiteral("/both.m4a");
    EXPECT_EQ(streamLayout(both), "audio eng default, audio deu");
    EXPECT_EQ(tonesIn(sound(both, 0)), QLatin1String("440"));
    EXPECT_EQ(tonesIn(sound(both, 1)), QLatin1String("880"));
    QByteArray messages;
    EXPECT_TRUE(gstreamerDecodes(both, &messages)) << messages.toStdString();

    r = run({"-i", source, "--tracks", "1,2", "-p", "flac", "-o", "mixed.flac"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_EQ(tonesIn(sound(granted + QStringLiteral("/mixed.flac"))), QLatin1String("both"));
    r = run({"-i", source, "--tracks", "0,1", "-p", "h264", "-o", "english.mp4"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_EQ(tonesIn(sound(granted + QStringLiteral("/english.mp4"))), QLatin1String("440"));
}

// A choice that names no track, or leaves nothing a preset can write, is refused before anything is
// written.
TEST_F(CliTracksTest, AChoiceThatCannotBeExportedIsRefused)
{
    const std::vector<std::pair<QStringList, QString>> refusals{
        {{"--tracks", "0,4", "-o", "never.mp4"},
         QStringLiteral("There is no track 4: the input's tracks are numbered 0 to 3 (--list-tracks prints them).")},
        {{"--tracks", "0;1", "-o", "never.mp4"}, QStringLiteral("--tracks takes track numbers separated by commas")},
        {{"--tracks", "0", "--tracks", "1", "-o", "never.mp4"}, QStringLiteral("--tracks is given twice: give every track in one list")},
        {{"--tracks", "3", "-o", "never.mp4"}, QStringLiteral("needs an audio or video track")},
        {{"--tracks", "0", "-p", "lame", "-o", "never.mp3"}, QStringLiteral("needs an audio track")},
    };
    for (const auto& [arguments, message] : refusals) {
        const CliOutcome r = run(QStringList{"-i", source} + arguments);
        EXPECT_EQ(r.status, 1) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.out.contains(message)) << r.out.toStdString();
    }
    EXPECT_FALSE(QFile::exists(granted + QStringLiteral("/never.mp4")));
    EXPECT_FALSE(QFile::exists(granted + QStringLiteral("/never.mp3")));
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(QLatin1Char(' ')).toStdString();
}
