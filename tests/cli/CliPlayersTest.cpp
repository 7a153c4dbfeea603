// Pass-through exports as the players people use show them. Numbered test media of every kind the
// copy treats differently (B-frames with closed and open groups, HEVC with CRA pictures, Matroska,
// transport streams, MPEG-4 Part 2 in AVI, VP8, VP9, variable frame rates, rotation, several tracks, a
// beeping pattern, late audio) are cut by the real tool in its default mode, joined and split; each
// result must show in FFmpeg (also after seeking into every piece), GStreamer, mpv and Chromium exactly
// the kept pictures, each at its own time, the audio in step with the pictures, and nothing the
// decoders complain about. The pictures encoded anew at the cuts must be as good as the source's.
#include "CliHarness.h"
#include "support/Players.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

using namespace TestMedia;

namespace {

struct Case {
    const char* name;
    QString (*fixture)();
    std::vector<std::pair<double, double>> cuts; // in source seconds
    const char* extension;                       // of the output
    bool chromium = true;                        // Chromium plays the codec (no HEVC, no MPEG-4 Part 2)
    bool beeps = false;                          // the fixture beeps at every whole second, with frame 25·n
};

// AVI states the pictures' order only: picture N is shown at N / rate (FFmpeg shows them one picture
// late, by its B-frame delay).
bool timedByOrder(const QString& path) { return QFileInfo(path).suffix() == QLatin1String("avi"); }

// The pictures of the source as FFmpeg shows them, with their durations.
struct SourcePicture {
    int number;
    double time, duration;
};

std::vector<SourcePicture> sourcePictures(const QString& path)
{
    Players::View view = Players::ffmpeg(path);
    if (timedByOrder(path))
        for (size_t i = 0; i < view.pictures.size(); ++i)
            view.pictures[i].time = double(i) * 0.04;
    std::vector<SourcePicture> pictures;
    for (size_t i = 0; i < view.pictures.size(); ++i) {
        const double next = i + 1 < view.pictures.size() ? view.pictures[i + 1].time : -1;
        const double duration = next > view.pictures[i].time ? next - view.pictures[i].time
                                                             : (i > 0 ? view.pictures[i].time - view.pictures[i - 1].time : 0.04);
        pictures.push_back(SourcePicture{view.pictures[i].number, view.pictures[i].time, duration});
    }
    return pictures;
}

// The kept stretches of a source of the given length, given the cuts.
std::vector<std::pair<double, double>> keptRanges(const std::vector<std::pair<double, double>>& cuts, double length)
{
    std::vector<std::pair<double, double>> kept;
    double from = 0;
    for (const auto& [start, end] : cuts) {
        if (start > from)
            kept.emplace_back(from, start);
        from = end;
    }
    if (from < length)
        kept.emplace_back(from, length);
    return kept;
}

// What a viewer must see of pieces laid back to back: every picture whose middle lies in a kept
// stretch, at its time in the output (a picture that begins before its piece begins with it).
std::vector<Players::Picture> expectedPictures(const std::vector<SourcePicture>& source, const std::vector<std::pair<double, double>>& kept)
{
    std::vector<Players::Picture> expected;
    double outputStart = 0;
    for (const auto& [start, end] : kept) {
        for (const SourcePicture& picture : source) {
            const double middle = picture.time + picture.duration / 2;
            if (middle >= start - 1e-9 && middle < end - 1e-9)
                expected.push_back(Players::Picture{picture.number, std::max(picture.time - start, 0.0) + outputStart});
        }
        outputStart += end - start;
    }
    return expected;
}

double sourceLength(const QString& path)
{
    return probe(path).value(QStringLiteral("format")).toObject().value(QStringLiteral("duration")).toString().toDouble();
}

std::string describe(const std::vector<int>& numbers)
{
    std::string text;
    for (size_t i = 0; i < numbers.size(); ++i) {
        size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == (numbers[j] + 1) % 256)
            ++j;
        text += std::to_string(numbers[i]) + (j > i ? "-" + std::to_string(numbers[j]) : "") + " ";
        i = j;
    }
    return text;
}

// The luma PSNR of each output picture against the source picture with the same number (the lowest).
double lowestPsnr(const QString& source, const QString& output)
{
    const auto pictures = [](const QString& path, int* width, int* height) {
        QByteArray bytes, ignored;
        run(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path, QStringLiteral("-map"), QStringLiteral("0:v:0"),
             QStringLiteral("-fps_mode"), QStringLiteral("passthrough"), QStringLiteral("-f"), QStringLiteral("rawvideo"),
             QStringLiteral("-pix_fmt"), QStringLiteral("gray"), QStringLiteral("-")},
            &bytes, 120000, &ignored);
        for (const QJsonValue& stream : probe(path).value(QStringLiteral("streams")).toArray())
            if (stream.toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String("video")) {
                *width = stream.toObject().value(QStringLiteral("width")).toInt();
                *height = stream.toObject().value(QStringLiteral("height")).toInt();
                break;
            }
        return bytes;
    };
    int width = 0, height = 0, w2 = 0, h2 = 0;
    const QByteArray a = pictures(source, &width, &height), b = pictures(output, &w2, &h2);
    const qsizetype size = qsizetype(width) * height;
    if (size == 0 || width != w2 || height != h2)
        return 0;
    // Pictures by their number, as the grey levels show it.
    const auto numberAt = [&](const QByteArray& bytes, qsizetype at) {
        const auto level = [&](int x) { return int(std::lround(uchar(bytes[at + qsizetype(height / 2) * width + x]) * 219.0 / 255 / 14)); };
        return level(width / 4) + 16 * level(width * 3 / 4);
    };
    std::multimap<int, qsizetype> sourceAt;
    for (qsizetype at = 0; at + size <= a.size(); at += size)
        sourceAt.emplace(numberAt(a, at), at);
    double lowest = 1000;
    for (qsizetype at = 0; at + size <= b.size(); at += size) {
        double best = 0;
        const auto range = sourceAt.equal_range(numberAt(b, at));
        for (auto it = range.first; it != range.second; ++it) {
            double error = 0;
            for (qsizetype i = 0; i < size; ++i) {
                const double d = double(uchar(a[it->second + i])) - double(uchar(b[at + i]));
                error += d * d;
            }
            error /= double(size);
            best = std::max(best, error == 0 ? 1000.0 : 10 * std::log10(255.0 * 255.0 / error));
        }
        lowest = std::min(lowest, best);
    }
    return lowest;
}

class CliPlayers : public CliHarness, public ::testing::WithParamInterface<Case> {
protected:
    // Checks one player's view of an output against what must be seen.
    // startsAtFirstPicture: the player's timeline begins with the first picture (mpv begins every
    // stream at its first packet, the source's too).
    static void expectShows(const char* player, const Players::View& view, std::vector<Players::Picture> expected, double keptAudio,
                            double audioTolerance, bool beeps, bool startsAtFirstPicture = false)
    {
        if (startsAtFirstPicture && !expected.empty()) {
            const double first = expected.front().time;
            for (Players::Picture& picture : expected)
                picture.time -= first;
        }
        SCOPED_TRACE(player);
        EXPECT_TRUE(view.played) << view.messages.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(view.messages.isEmpty()) << view.messages.join(QLatin1Char('\n')).toStdString();
        std::vector<int> wanted;
        for (const Players::Picture& picture : expected)
            wanted.push_back(picture.number);
        const std::vector<int> shown = Players::numbers(view);
        EXPECT_EQ(shown, wanted) << "shown:  " << describe(shown) << "\nwanted: " << describe(wanted);
        if (shown == wanted) {
            double worst = 0;
            size_t at = 0;
            for (size_t i = 0; i < expected.size(); ++i)
                if (std::abs(view.pictures[i].time - expected[i].time) > worst) {
                    worst = std::abs(view.pictures[i].time - expected[i].time);
                    at = i;
                }
            EXPECT_LE(worst, 0.001) << "picture " << expected[at].number << " shown at " << view.pictures[at].time << " s instead of "
                                    << expected[at].time << " s";
        }
        if (keptAudio > 0 && view.audioRate > 0)
            EXPECT_NEAR(double(view.audioSamples) / view.audioRate, keptAudio, audioTolerance);
        if (beeps) {
            // Each beep comes with the picture that begins a whole second of the source (frame 25·n),
            // within one audio packet.
            EXPECT_FALSE(view.beeps.empty());
            for (const double beep : view.beeps) {
                double nearest = 1e9;
                for (const Players::Picture& picture : view.pictures)
                    if (picture.number % 25 == 0)
                        nearest = std::min(nearest, std::abs(picture.time - beep));
                EXPECT_LE(nearest, 1024.0 / 48000 + 0.001) << "a beep at " << beep << " s is not with its picture";
            }
        }
    }

    // Runs the tool on the case's source and checks the joined file and every split piece.
    static void checkCase(const Case& c)
    {
        const QString source =
            inside(c.fixture(), QStringLiteral("%1-source.%2").arg(QString::fromLatin1(c.name)).arg(QFileInfo(c.fixture()).suffix()));
        const std::vector<SourcePicture> pictures = sourcePictures(source);
        ASSERT_FALSE(pictures.empty());
        const std::vector<std::pair<double, double>> kept = keptRanges(c.cuts, sourceLength(source));
        QStringList cutArguments;
        for (const auto& [start, end] : c.cuts)
            cutArguments << QStringLiteral("-c") << QString::number(start) << QStringLiteral("-c") << QString::number(end);
        const QString joined = granted + QStringLiteral("/%1-joined.%2").arg(QString::fromLatin1(c.name), QString::fromLatin1(c.extension));
        const CliOutcome outcome = run(QStringList{QStringLiteral("-i"), source, QStringLiteral("-o"), joined} + cutArguments);
        ASSERT_EQ(outcome.status, 0) << outcome.err.toStdString();
        EXPECT_FALSE(outcome.err.contains(QLatin1String("Warning"))) << outcome.err.toStdString();

        const QString splitFolder = granted + QStringLiteral("/%1-pieces").arg(QString::fromLatin1(c.name));
        QDir().mkpath(splitFolder);
        const CliOutcome split =
            run(QStringList{QStringLiteral("-i"), source, QStringLiteral("--split-export"), splitFolder} + cutArguments);
        ASSERT_EQ(split.status, 0) << split.err.toStdString();
        QStringList pieces = QDir(splitFolder).entryList(QDir::Files, QDir::Name);
        ASSERT_EQ(pieces.size(), qsizetype(kept.size()));

        // Every output with what it must show.
        struct Output {
            QString path;
            std::vector<std::pair<double, double>> ranges; // the kept stretches it holds
            std::vector<Players::Picture> expected;
            double audio = 0;
        };
        std::vector<Output> outputs;
        double audioStart = 0;
        for (const QJsonValue& stream : probe(source).value(QStringLiteral("streams")).toArray())
            if (stream.toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String("audio"))
                audioStart =
                    stream.toObject().value(QStringLiteral("start_time")).toString().toDouble() -
                    probe(source).value(QStringLiteral("format")).toObject().value(QStringLiteral("start_time")).toString().toDouble();
        const auto audioOf = [&](const std::vector<std::pair<double, double>>& ranges) {
            double seconds = 0;
            for (const auto& [start, end] : ranges)
                seconds += std::max(0.0, end - std::max(start, audioStart));
            return seconds;
        };
        outputs.push_back(Output{joined, kept, expectedPictures(pictures, kept), audioOf(kept)});
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            const std::vector<std::pair<double, double>> one{kept[size_t(i)]};
            outputs.push_back(Output{splitFolder + QLatin1Char('/') + pieces[i], one, expectedPictures(pictures, one), audioOf(one)});
        }

        std::vector<std::pair<QString, std::vector<double>>> chromiumFiles;
        for (const Output& output : outputs) {
            SCOPED_TRACE(QFileInfo(output.path).fileName().toStdString());
            // One audio packet of slack at each join and at the ends (packets are kept whole there).
            const double tolerance = (double(kept.size()) + 1) * 2048.0 / 44100;
            expectShows("FFmpeg", Players::ffmpeg(output.path), output.expected, output.audio, tolerance, c.beeps);
            expectShows("GStreamer", Players::gstreamer(output.path), output.expected, output.audio, tolerance, c.beeps);
            // mpv's audio length is its last sound (it pads its last block with silence): not measurable
            // where the audio ends in silence.
            expectShows("mpv", Players::mpv(output.path), output.expected, c.beeps ? 0 : output.audio, tolerance, c.beeps, true);
            // A seek into the last second of every piece shows that piece's picture: ffmpeg begins with
            // the first picture at or after the time.
            double pieceStart = 0;
            for (const auto& [start, end] : output.ranges) {
                const double inside = pieceStart + std::max(0.0, end - start - 0.5);
                const auto shown = std::find_if(output.expected.begin(), output.expected.end(),
                                                [&](const Players::Picture& p) { return p.time >= inside; });
                if (shown != output.expected.end())
                    EXPECT_EQ(Players::ffmpegAfterSeek(output.path, shown->time - 0.0001), shown->number) << "ffmpeg -ss " << shown->time;
                pieceStart += end - start;
            }
            std::vector<double> middles;
            for (size_t i = 0; i < output.expected.size(); ++i) {
                const double next = i + 1 < output.expected.size() ? output.expected[i + 1].time : output.expected[i].time + 0.02;
                middles.push_back((output.expected[i].time + next) / 2);
            }
            chromiumFiles.emplace_back(output.path, middles);
        }
        if (c.chromium) {
            const std::vector<Players::Seeks> seen = Players::chromium(chromiumFiles);
            for (size_t i = 0; i < seen.size() && i < outputs.size(); ++i) {
                SCOPED_TRACE("Chromium, " + QFileInfo(outputs[i].path).fileName().toStdString());
                EXPECT_TRUE(seen[i].error.isEmpty()) << seen[i].error.toStdString();
                std::vector<int> wanted;
                for (const Players::Picture& picture : outputs[i].expected)
                    wanted.push_back(picture.number);
                EXPECT_EQ(seen[i].numbers, wanted) << "shown:  " << describe(seen[i].numbers) << "\nwanted: " << describe(wanted);
                double length = 0;
                for (const auto& [start, end] : outputs[i].ranges)
                    length += end - start;
                EXPECT_NEAR(seen[i].duration, length, 0.05);
            }
        }
        const double psnr = lowestPsnr(source, joined);
        std::printf("%s: lowest picture PSNR against the source %.1f dB\n", c.name, psnr);
        EXPECT_GE(psnr, 45.0);
    }
};

std::string caseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

} // namespace

TEST_P(CliPlayers, ShowExactlyTheKeptPicturesInEveryPlayer) { checkCase(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Exact, CliPlayers,
    ::testing::Values(Case{"Gop100At25", longGop25, {{2.2, 4.6}, {7.04, 8.0}}, "mp4"},
                      Case{"OpenGopAt2997", openGop2997, {{1.001, 2.002}, {3.003, 4.004}}, "mp4"},
                      Case{"Hevc10BitCra", hevc10Bit, {{1.2, 3.6}, {5.04, 6.0}}, "mp4", false},
                      Case{"Matroska", matroskaBFrames, {{1.2, 3.6}, {5.04, 6.0}}, "mp4"},
                      Case{"TransportStream", transportStreamBFrames, {{1.2, 3.6}, {5.04, 6.0}}, "mp4"},
                      Case{"Mpeg4PartTwoInAvi", mpeg4BFramesAvi, {{1.2, 3.6}, {5.04, 6.0}}, "mp4", false},
                      Case{"Vp8WebM", webmVp8Vorbis, {{1.5, 2.3}, {4.2, 4.6}}, "webm"},
                      Case{"Beeps", []() { return beepingPattern(false); }, {{2.2, 4.6}, {7.04, 8.0}}, "mp4", true, true},
                      Case{"LateAudio", []() { return beepingPattern(true); }, {{2.2, 4.6}, {7.04, 8.0}}, "mp4", true, true}),
    caseName);
