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

// A picture a viewer must see: its number, its time in the output, and which picture of the source it is.
struct Expected {
    int number;
    double time;
    size_t sourceIndex;
};

// What a viewer must see of pieces laid back to back: every picture whose middle lies in a kept
// stretch, at its own time moved with its piece (none before the file's start).
std::vector<Expected> expectedPictures(const std::vector<SourcePicture>& source, const std::vector<std::pair<double, double>>& kept)
{
    std::vector<Expected> expected;
    double outputStart = 0;
    for (const auto& [start, end] : kept) {
        for (size_t i = 0; i < source.size(); ++i) {
            const double middle = source[i].time + source[i].duration / 2;
            if (middle >= start - 1e-9 && middle < end - 1e-9)
                expected.push_back(Expected{source[i].number, std::max(source[i].time - start + outputStart, 0.0), i});
        }
        outputStart += end - start;
    }
    return expected;
}

// Each beep's distance from the picture of its whole second (frame 25·n) in a player's view.
std::vector<double> beepOffsets(const Players::View& view)
{
    std::vector<double> offsets;
    for (const double beep : view.beeps) {
        double nearest = 1e9;
        for (const Players::Picture& picture : view.pictures)
            if (picture.number % 25 == 0 && std::abs(picture.time - beep) < std::abs(nearest))
                nearest = beep - picture.time;
        offsets.push_back(nearest);
    }
    return offsets;
}

// The longest audio packet of the source's first audio track (seconds): how far a join to the packet
// may move the sound.
double audioPacket(const QString& path)
{
    QByteArray out;
    run(QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"), QStringLiteral("a:0"),
         QStringLiteral("-read_intervals"), QStringLiteral("%+#50"), QStringLiteral("-show_entries"),
         QStringLiteral("packet=duration_time"), QStringLiteral("-of"), QStringLiteral("csv=p=0"), path},
        &out);
    double longest = 0;
    for (const QByteArray& line : out.split('\n'))
        longest = std::max(longest, line.toDouble());
    return longest;
}

// How long the source really is: its last picture's end or its last sample, as FFmpeg decodes them (a
// file without an index only estimates its length).
double sourceLength(const QString& path, const std::vector<SourcePicture>& pictures)
{
    const Players::View view = Players::ffmpeg(path);
    double length = pictures.empty() ? 0 : pictures.back().time + pictures.back().duration;
    if (view.audioRate > 0)
        length = std::max(length, double(view.audioSamples) / view.audioRate);
    return length;
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

// The luma PSNR of each output picture against the source picture with the same number (the lowest),
// on the full-range scale a grey picture has (video luma spans 16-235).
double lowestPsnr(const QString& source, const QString& output)
{
    struct Pictures {
        QByteArray bytes;
        int width = 0, height = 0;
        std::vector<int> numbers;
    };
    const auto pictures = [](const QString& path) {
        Pictures p;
        QByteArray ignored;
        run(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path, QStringLiteral("-map"), QStringLiteral("0:v:0"),
             QStringLiteral("-fps_mode"), QStringLiteral("passthrough"), QStringLiteral("-f"), QStringLiteral("rawvideo"),
             QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-")},
            &p.bytes, 120000, &ignored);
        for (const QJsonValue& stream : probe(path).value(QStringLiteral("streams")).toArray())
            if (stream.toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String("video")) {
                p.width = stream.toObject().value(QStringLiteral("width")).toInt();
                p.height = stream.toObject().value(QStringLiteral("height")).toInt();
                break;
            }
        p.numbers = frameNumbers(p.bytes, p.width, p.height);
        return p;
    };
    const Pictures a = pictures(source), b = pictures(output);
    if (a.width == 0 || a.width != b.width || a.height != b.height)
        return 0;
    const qsizetype luma = qsizetype(a.width) * a.height, frame = luma * 3 / 2;
    std::multimap<int, qsizetype> sourceAt; // pictures by the number they show
    for (size_t i = 0; i < a.numbers.size(); ++i)
        sourceAt.emplace(a.numbers[i], qsizetype(i) * frame);
    double lowest = 1000;
    for (size_t n = 0; n < b.numbers.size(); ++n) {
        const qsizetype at = qsizetype(n) * frame;
        double best = 0;
        const auto range = sourceAt.equal_range(b.numbers[n]);
        for (auto it = range.first; it != range.second; ++it) {
            double error = 0;
            for (qsizetype i = 0; i < luma; ++i) {
                const double d = (double(uchar(a.bytes[it->second + i])) - double(uchar(b.bytes[at + i]))) * 255.0 / 219.0;
                error += d * d;
            }
            error /= double(luma);
            best = std::max(best, error == 0 ? 1000.0 : 10 * std::log10(255.0 * 255.0 / error));
        }
        lowest = std::min(lowest, best);
    }
    return lowest;
}

class CliPlayers : public CliHarness, public ::testing::WithParamInterface<Case> {
protected:
    // Checks one player's view of an output against what must be seen. FFmpeg's times are judged as
    // they are; the other players' from the first picture on, as they begin a file where they begin
    // it (mpv every stream with its first packet, GStreamer a Matroska file's video with its first
    // picture: the source's alike), their sound against the pictures by the beeps, as in the source.
    static void expectShows(const char* player, const Players::View& view, const Players::View& sourceView, std::vector<Expected> expected,
                            bool fromFirstPicture, double keptAudio, double lengthTolerance, double syncTolerance)
    {
        SCOPED_TRACE(player);
        EXPECT_TRUE(view.played) << view.messages.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(view.messages.isEmpty()) << view.messages.join(QLatin1Char('\n')).toStdString();
        std::vector<int> wanted;
        for (const Expected& picture : expected)
            wanted.push_back(picture.number);
        const std::vector<int> shown = Players::numbers(view);
        EXPECT_EQ(shown, wanted) << "shown:  " << describe(shown) << "\nwanted: " << describe(wanted);
        if (shown == wanted && expected.size() > 1) {
            // Those players may show a file's first picture from the file's start: the others set
            // where their timeline begins.
            std::vector<double> differences;
            for (size_t i = 1; i < expected.size(); ++i)
                differences.push_back(view.pictures[i].time - expected[i].time);
            std::nth_element(differences.begin(), differences.begin() + differences.size() / 2, differences.end());
            const double offset = fromFirstPicture ? differences[differences.size() / 2] : 0;
            double worst = 0;
            size_t at = 0;
            for (size_t i = fromFirstPicture ? 1 : 0; i < expected.size(); ++i)
                if (std::abs(view.pictures[i].time - offset - expected[i].time) > worst) {
                    worst = std::abs(view.pictures[i].time - offset - expected[i].time);
                    at = i;
                }
            EXPECT_LE(worst, 0.001) << "picture " << expected[at].number << " shown at " << view.pictures[at].time - offset
                                    << " s instead of " << expected[at].time << " s";
        }
        if (keptAudio > 0 && view.audioRate > 0) {
            EXPECT_NEAR(double(view.audioSamples) / view.audioRate, keptAudio, lengthTolerance);
        }
        if (syncTolerance > 0) {
            // Each beep comes with the picture that begins its whole second of the source (frame 25·n)
            // as in the source, within one audio packet.
            const std::vector<double> before = beepOffsets(sourceView), after = beepOffsets(view);
            ASSERT_FALSE(before.empty());
            EXPECT_FALSE(after.empty());
            const double usual = before[before.size() / 2];
            for (size_t i = 0; i < after.size(); ++i)
                EXPECT_LE(std::abs(after[i] - usual), syncTolerance)
                    << "a beep " << after[i] << " s from its picture (" << usual << " s in the source)";
        }
    }

    // Runs the tool on the case's source and checks the joined file and every split piece.
    static void checkCase(const Case& c)
    {
        const QString source =
            inside(c.fixture(), QStringLiteral("%1-source.%2").arg(QString::fromLatin1(c.name)).arg(QFileInfo(c.fixture()).suffix()));
        const std::vector<SourcePicture> pictures = sourcePictures(source);
        const std::vector<std::pair<double, double>> kept = keptRanges(c.cuts, sourceLength(source, pictures));
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
            std::vector<Expected> expected;
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

        // Each player's view of the source, against which its view of every output is judged.
        const Players::View ffmpegSource = Players::ffmpeg(source), gstreamerSource = Players::gstreamer(source),
                            mpvSource = Players::mpv(source);
        const double packet = audioPacket(source);
        std::vector<std::pair<QString, std::vector<double>>> chromiumFiles;
        for (const Output& output : outputs) {
            SCOPED_TRACE(QFileInfo(output.path).fileName().toStdString());
            // Whole packets at the joins and at the ends: a packet of slack at each; the sound is never
            // more than a packet from its picture.
            const double lengthTolerance = (double(output.ranges.size()) + 1) * std::max(packet, 0.025);
            const double syncTolerance = packet + 0.001;
            expectShows("FFmpeg", Players::ffmpeg(output.path), ffmpegSource, output.expected, false, output.audio, lengthTolerance,
                        c.beeps ? syncTolerance : 0);
            expectShows("GStreamer", Players::gstreamer(output.path), gstreamerSource, output.expected, true, output.audio, lengthTolerance,
                        c.beeps ? syncTolerance : 0);
            // mpv's audio length is its last sound (it pads its last block with silence): not measurable
            // where the audio ends in silence.
            expectShows("mpv", Players::mpv(output.path), mpvSource, output.expected, true, c.beeps ? 0 : output.audio, lengthTolerance,
                        c.beeps ? syncTolerance : 0);
            // A seek into the last second of every piece shows that piece's picture: ffmpeg begins with
            // the first picture at or after the time.
            double pieceStart = 0;
            for (const auto& [start, end] : output.ranges) {
                const double inside = pieceStart + std::max(0.0, end - start - 0.5);
                const auto shown =
                    std::find_if(output.expected.begin(), output.expected.end(), [&](const Expected& p) { return p.time >= inside; });
                if (shown != output.expected.end()) {
                    EXPECT_EQ(Players::ffmpegAfterSeek(output.path, shown->time - 0.0001), shown->number) << "ffmpeg -ss " << shown->time;
                }
                pieceStart += end - start;
            }
            std::vector<double> middles;
            for (size_t i = 0; i < output.expected.size(); ++i) {
                const double next = i + 1 < output.expected.size() ? output.expected[i + 1].time : output.expected[i].time + 0.02;
                middles.push_back((output.expected[i].time + next) / 2);
            }
            chromiumFiles.emplace_back(output.path, middles);
        }
        // What the file says of its length is what it holds.
        for (const Output& output : outputs) {
            const Players::View view = Players::ffmpeg(output.path);
            double held = view.pictures.empty() ? 0 : view.pictures.back().time + 0.04;
            if (view.audioRate > 0)
                held = std::max(held, double(view.audioSamples) / view.audioRate);
            EXPECT_NEAR(duration(output.path), held, 0.03) << QFileInfo(output.path).fileName().toStdString();
        }
        if (c.chromium && !pictures.empty()) {
            const std::vector<Players::Seeks> seen = Players::chromium(chromiumFiles);
            for (size_t i = 0; i < seen.size() && i < outputs.size(); ++i) {
                SCOPED_TRACE("Chromium, " + QFileInfo(outputs[i].path).fileName().toStdString());
                EXPECT_TRUE(seen[i].error.isEmpty()) << seen[i].error.toStdString();
                std::vector<int> wanted;
                for (const Expected& picture : outputs[i].expected)
                    wanted.push_back(picture.number);
                EXPECT_EQ(seen[i].numbers, wanted) << "shown:  " << describe(seen[i].numbers) << "\nwanted: " << describe(wanted);
                double length = 0;
                for (const auto& [start, end] : outputs[i].ranges)
                    length += end - start;
                // The last picture's duration is the source's (variable frame rates make it a guess).
                EXPECT_NEAR(seen[i].duration, length, 0.1);
            }
        }
        if (!pictures.empty()) {
            const double psnr = lowestPsnr(source, joined);
            std::printf("%s: lowest picture PSNR against the source %.1f dB\n", c.name, psnr);
            EXPECT_GE(psnr, 45.0);
        }
    }
};

std::string caseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

} // namespace

TEST_P(CliPlayers, ShowExactlyTheKeptPicturesInEveryPlayer) { checkCase(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Exact, CliPlayers,
    ::testing::Values(Case{"Gop100At25", longGop25, {{2.2, 4.6}, {7.04, 8.0}}, "mp4"},
                      Case{"TexturedGop100", texturedLongGop, {{1.3, 4.6}, {7.04, 8.0}}, "mp4"},
                      Case{"OpenGopAt2997", openGop2997, {{1.001, 2.002}, {3.003, 4.004}}, "mp4"},
                      Case{"Hevc10BitCra", hevc10Bit, {{1.2, 3.6}, {5.04, 6.0}}, "mp4", false},
                      Case{"Matroska", matroskaBFrames, {{1.2, 3.6}, {5.04, 6.0}}, "mp4"},
                      Case{"TransportStream", transportStreamBFrames, {{1.2, 3.6}, {5.04, 6.0}}, "mp4"},
                      Case{"Mpeg4PartTwoInAvi", mpeg4BFramesAvi, {{1.2, 3.6}, {5.04, 6.0}}, "mp4", false},
                      Case{"Vp8WebM", webmVp8Vorbis, {{1.5, 2.3}, {4.2, 4.6}}, "webm"},
                      Case{"Vp8WebMCutAtAKeyframe", webmLongGop, {{2.2, 4.6}, {7.04, 8.0}}, "webm"},
                      Case{"Vp9OpusIntoMpeg4", vp9OpusBeeps, {{1.2, 2.5}, {3.3, 4.0}}, "mp4", true, true},
                      Case{"Av1OpusInMpeg4", av1Opus, {{1.2, 2.3}, {4.2, 4.6}}, "mp4", true, true},
                      Case{"MatroskaPcm", matroskaPcmBeeps, {{1.2, 2.5}, {3.3, 4.0}}, "mkv", true, true},
                      Case{"MatroskaVorbis", matroskaVorbisBeeps, {{1.2, 2.5}, {3.3, 4.0}}, "mkv", true, true},
                      Case{"VariableFrameRate", variableFrameRateMp4, {{0.6, 1.4}}, "mp4"},
                      Case{"VariableFrameRateMatroska", variableFrameRate, {{0.6, 1.4}}, "mp4"},
                      Case{"TwoAudioTracksAndSubtitles", twoAudioAndSubtitle, {{1.0, 2.52}}, "mp4"},
                      Case{"AdtsAac", adtsAac, {{2.2, 4.6}, {7.04, 8.0}}, "mp4"},
                      Case{"Beeps", []() { return beepingPattern(false); }, {{2.2, 4.6}, {7.04, 8.0}}, "mp4", true, true},
                      Case{"LateAudio", []() { return beepingPattern(true); }, {{2.2, 4.6}, {7.04, 8.0}}, "mp4", true, true}),
    caseName);
