// clipwell_cli as a user runs it: the real binary, a granted temporary folder, media made by ffmpeg,
// results judged by ffprobe.
#include "CliHarness.h"

#include <QJsonDocument>

using namespace TestMedia;

namespace {

using Outcome = CliOutcome;

class CliTest : public CliHarness {};

} // namespace

TEST_F(CliTest, PassthroughCutsExactlyAndJoinsInSync)
{
    const QString source = inside(h264WithBFrames(), QStringLiteral("talk.mp4"));
    Outcome r = run({"-i", source, "-o", "one.mp4", "--clear", "-c", "2.5", "-c", "7.3", "-c", "10"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Export completed successfully: ") + granted + QStringLiteral("/one.mp4")));
    // One piece, 2.5 to 7.3 s: exactly 4.8 s, 120 frames.
    const QString one = granted + QStringLiteral("/one.mp4");
    EXPECT_NEAR(duration(one), 4.8, 1e-3);
    QJsonObject counted = probe(one, true);
    for (const QJsonValue& s : counted.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject stream = s.toObject();
        if (stream.value(QStringLiteral("codec_type")).toString() == QLatin1String("video")) {
            EXPECT_EQ(stream.value(QStringLiteral("nb_read_frames")).toString().toInt(), 120);
        }
        EXPECT_NEAR(stream.value(QStringLiteral("duration")).toString().toDouble(), 4.8, 0.025);
    }
    // The first frame shown is the one at 2.5 s (frame 62, shown from 2.48 s).
    EXPECT_EQ(probeFrameTimes(one).front(), 0.0);

    // Joined pieces (the cut on frame boundaries): exactly the kept frames, audio and video ending together.
    r = run({"-i", source, "-o", "joined.mp4", "-c", "3", "-c", "5.52"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    const QJsonArray joined = streams(granted + QStringLiteral("/joined.mp4"));
    ASSERT_EQ(joined.size(), 2);
    // The file states the kept length; the sound joins at the packet nearest the cut, so its media may
    // hold up to a packet (1,024 samples) more.
    EXPECT_NEAR(duration(granted + QStringLiteral("/joined.mp4")), 7.48, 0.001);
    EXPECT_NEAR(joined[0].toObject().value(QStringLiteral("duration")).toString().toDouble(), 7.48, 0.001);
    EXPECT_NEAR(joined[1].toObject().value(QStringLiteral("duration")).toString().toDouble(), 7.48, 1024.0 / 48000);
    std::vector<int> kept;
    for (int frame = 0; frame < 250; ++frame)
        if (frame < 75 || frame >= 138) // frames 75 to 137 go
            kept.push_back(frame);
    const TestMedia::Decoded decoded = TestMedia::decode(granted + QStringLiteral("/joined.mp4"));
    EXPECT_TRUE(decoded.messages.isEmpty()) << decoded.messages.toStdString();
    EXPECT_EQ(decoded.frameNumbers, kept);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(CliTest, SplitExportWritesNumberedPieces)
{
    const QString source = inside(h264WithBFrames(), QStringLiteral("talk.mp4"));
    QDir(granted).mkpath(QStringLiteral("parts"));
    const Outcome r = run({"-i", source, "--split-export", "parts", "-s", "4", "-s", "8", "--json"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    const QStringList lines = r.out.trimmed().split(QLatin1Char('\n'));
    const QJsonObject last = QJsonDocument::fromJson(lines.last().toUtf8()).object();
    EXPECT_EQ(last.value(QStringLiteral("type")).toString(), QStringLiteral("completed"));
    EXPECT_EQ(last.value(QStringLiteral("output_path")).toString(), granted + QStringLiteral("/parts"));
    EXPECT_TRUE(lines.last().contains(QStringLiteral("\\/parts"))) << "slashes are escaped";
    for (const QString& line : lines)
        EXPECT_FALSE(QJsonDocument::fromJson(line.toUtf8()).isNull()) << line.toStdString();
    const double expected[] = {4, 4, 2};
    for (int part = 1; part <= 3; ++part) {
        const QString piece = granted + QStringLiteral("/parts/talk - part %1 - trimmed.mp4").arg(part);
        ASSERT_TRUE(QFile::exists(piece)) << piece.toStdString();
        EXPECT_NEAR(duration(piece), expected[part - 1], 0.03) << part;
    }
}

namespace {
// "title start–end" for each chapter ffprobe lists, times in milliseconds.
QStringList chapterList(const QString& path)
{
    QByteArray output;
    run(QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-of"), QStringLiteral("json"), QStringLiteral("-show_chapters"),
         path},
        &output);
    QStringList list;
    for (const QJsonValue& value : QJsonDocument::fromJson(output).object().value(QStringLiteral("chapters")).toArray()) {
        const QJsonObject chapter = value.toObject();
        list << QStringLiteral("%1 %2-%3")
                    .arg(chapter.value(QStringLiteral("tags")).toObject().value(QStringLiteral("title")).toString())
                    .arg(std::llround(chapter.value(QStringLiteral("start_time")).toString().toDouble() * 1000))
                    .arg(std::llround(chapter.value(QStringLiteral("end_time")).toString().toDouble() * 1000));
    }
    return list;
}
} // namespace

// Chapters follow the cuts in every preset whose file holds chapters: a chapter whose start was cut
// starts at its first kept moment, one wholly cut is gone, and each piece of a split gets its own.
// The source's chapter track is not copied as a track of its own.
TEST_F(CliTest, ChaptersFollowTheCuts)
{
    const QString source = inside(withChapters(), QStringLiteral("chapters.mp4"));
    const QStringList cuts{"-c", "2.5", "-c", "3.5", "-c", "5.5", "-c", "7.2"};
    const QStringList expected{"Intro 0-2500", "Middle 2500-4500", "End 4500-7300"};
    const std::initializer_list<std::pair<const char*, const char*>> presets{
        {"passthrough", "mp4"}, {"h264", "mp4"}, {"low", "mp4"}, {"m4a", "m4a"}, {"alac", "m4a"}, {"flac", "flac"}, {"lame", "mp3"}};
    for (const auto& [preset, extension] : presets) {
        SCOPED_TRACE(preset);
        const QString out = granted + QStringLiteral("/chaptered-%1.%2").arg(QLatin1String(preset), QLatin1String(extension));
        const Outcome r = run(QStringList{"-i", source, "-o", out, "-p", preset} + cuts);
        ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        EXPECT_EQ(chapterList(out), expected);
        for (const QJsonValue& stream : streams(out))
            EXPECT_NE(stream.toObject().value(QStringLiteral("codec_tag_string")).toString(), QStringLiteral("gpmd"));
        QByteArray messages;
        EXPECT_TRUE(gstreamerDecodes(out, &messages)) << messages.toStdString();
    }
    QDir(granted).mkpath(QStringLiteral("chaptered"));
    ASSERT_EQ(run({"-i", source, "--split-export", "chaptered", "-s", "5"}).status, 0);
    EXPECT_EQ(chapterList(granted + QStringLiteral("/chaptered/chapters - part 1 - trimmed.mp4")),
              (QStringList{"Intro 0-3000", "Middle 3000-5000"}));
    EXPECT_EQ(chapterList(granted + QStringLiteral("/chaptered/chapters - part 2 - trimmed.mp4")),
              (QStringList{"Middle 0-1000", "Aside 1000-2000", "End 2000-5000"}));
}

// An output name whose extension does not match the file's type works but draws a warning naming the
// extension the file needs; a matching name (in any case) draws none.
TEST_F(CliTest, MismatchedExtensionsAreWarnedAbout)
{
    const QString source = inside(h264WithBFrames(), QStringLiteral("named.mp4"));
    const struct {
        const char* output;
        const char* preset;
        const char* warning; // null: none expected
    } cases[] = {{"sound.wav", "flac", "\".flac\""},
                 {"copy.ogg", "passthrough", "\".mp4\""},
                 {"sound.flac", "flac", nullptr},
                 {"COPY.MP4", "passthrough", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        const Outcome r = run({"-i", source, "-o", c.output, "-p", c.preset, "-c", "1", "-c", "2"});
        ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        if (c.warning)
            EXPECT_TRUE(r.err.contains(QStringLiteral("Warning:")) && r.err.contains(QString::fromLatin1(c.warning)))
                << r.err.toStdString();
        else
            EXPECT_FALSE(r.err.contains(QStringLiteral("Warning:"))) << r.err.toStdString();
    }
}

// The video encodings report their progress up to the whole length before they complete.
TEST_F(CliTest, VideoEncodingsReportProgressToTheEnd)
{
    const QString source = inside(fps25(), QStringLiteral("short.mp4"));
    for (const char* preset : {"h264", "h265"}) {
        SCOPED_TRACE(preset);
        const Outcome r = run({"-i", source, "-o", "progress.mp4", "-p", preset, "--json"});
        ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        double last = -1;
        for (const QString& line : r.out.trimmed().split(QLatin1Char('\n'))) {
            const QJsonObject record = QJsonDocument::fromJson(line.toUtf8()).object();
            if (record.value(QStringLiteral("type")).toString() == QLatin1String("progress"))
                last = record.value(QStringLiteral("percentage")).toDouble();
        }
        EXPECT_DOUBLE_EQ(last, 100.0);
    }
}

// Cuts between frame boundaries on a clip whose audio starts 0.5 s after its picture. Every
// re-encoding preset shows each kept frame once (a frame mostly cut out is left out, no sliver frames)
// and each beep sounds while its whole-second frame is on screen, before and after every join.
TEST_F(CliTest, ReencodedJoinsKeepEveryFrameOnceAndTheSoundInStep)
{
    const QString source = inside(beepingPattern(true), QStringLiteral("beeps-late.mp4"));
    const QStringList cuts{"-c", "2.51", "-c", "4.55", "-c", "6.2", "-c", "7.77"};
    std::vector<int> kept; // frame 62 is mostly kept, 113 mostly cut, 194 mostly kept
    for (int i = 0; i < 250; ++i)
        if (i <= 62 || (i >= 114 && i < 155) || i >= 194)
            kept.push_back(i);
    // Where the beeps of seconds 1, 2, 5, 6, 8 and 9 land once 2.04 s and 1.57 s are gone.
    const std::vector<double> expectedBeeps{1.0, 2.0, 2.96, 3.96, 4.39, 5.39};

    for (const char* preset : {"h264", "h265", "low", "m4a"}) {
        SCOPED_TRACE(preset);
        const bool video = QByteArray(preset) != "m4a";
        const QString out = granted + QStringLiteral("/joined-%1.%2").arg(QString::fromLatin1(preset), video ? "mp4" : "m4a");
        const Outcome r = run(QStringList{"-i", source, "-o", out, "-p", preset} + cuts);
        ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        const Decoded decoded = decode(out);
        EXPECT_TRUE(decoded.messages.isEmpty()) << decoded.messages.toStdString();
        // Encoded joins have no timing excuse: not even ffmpeg's note on stepping decode times.
        QByteArray ignored, said;
        TestMedia::run(QStringLiteral("ffmpeg"), {"-nostdin", "-v", "error", "-i", out, "-f", "null", "-"}, &ignored, 120000, &said);
        EXPECT_TRUE(said.isEmpty()) << said.toStdString();
        const std::vector<double> beeps = beepTimes(out);
        ASSERT_EQ(beeps.size(), expectedBeeps.size());
        for (size_t i = 0; i < beeps.size(); ++i)
            EXPECT_NEAR(beeps[i], expectedBeeps[i], 0.003) << i;
        if (!video)
            continue;
        EXPECT_EQ(decoded.frameNumbers, kept);
        // The frame on screen when each beep starts is the one its second begins with.
        const std::vector<double> times = probeFrameTimes(out);
        ASSERT_EQ(times.size(), decoded.frameNumbers.size());
        for (double beep : beeps) {
            const auto shown = std::upper_bound(times.begin(), times.end(), beep + 0.001) - times.begin() - 1;
            ASSERT_GE(shown, 0);
            EXPECT_EQ(decoded.frameNumbers[size_t(shown)] % 25, 0)
                << "beep at " << beep << " shows frame " << decoded.frameNumbers[size_t(shown)];
        }
    }
}

TEST_F(CliTest, M4aAndLowQualityExports)
{
    const QString source = inside(h264WithBFrames(), QStringLiteral("talk.mp4"));
    Outcome r = run({"-i", source, "-o", "talk.m4a", "-p", "m4a", "-c", "1", "-c", "3", "--meta-title", "Mine", "--meta-year", "2031"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    const QString m4a = granted + QStringLiteral("/talk.m4a");
    QJsonArray s = streams(m4a);
    ASSERT_EQ(s.size(), 1);
    EXPECT_EQ(s[0].toObject().value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
    EXPECT_NEAR(duration(m4a), 8.0, 0.03);
    // What the user set wins over the file's own title.
    EXPECT_EQ(tags(m4a).value(QStringLiteral("title")).toString(), QStringLiteral("Mine"));
    EXPECT_EQ(tags(m4a).value(QStringLiteral("date")).toString(), QStringLiteral("2031"));
    EXPECT_EQ(tags(m4a).value(QStringLiteral("artist")).toString(), QStringLiteral("Clipwell Tests"));

    r = run({"-i", source, "-o", "small.mp4", "-p", "low", "-c", "5", "-c", "6"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    s = streams(granted + QStringLiteral("/small.mp4"));
    ASSERT_EQ(s.size(), 2);
    const QJsonObject v = s[0].toObject(), a = s[1].toObject();
    EXPECT_EQ(v.value(QStringLiteral("codec_name")).toString(), QStringLiteral("h264"));
    EXPECT_EQ(v.value(QStringLiteral("profile")).toString(), QStringLiteral("Constrained Baseline"));
    EXPECT_LE(std::max(v.value(QStringLiteral("width")).toInt(), v.value(QStringLiteral("height")).toInt()), 320);
    EXPECT_EQ(a.value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
    EXPECT_EQ(a.value(QStringLiteral("channels")).toInt(), 1);
    EXPECT_NEAR(duration(granted + QStringLiteral("/small.mp4")), 9.0, 0.05);

    // Artwork from a file reaches the M4A.
    const QString art = inside(
        make(QStringLiteral("cli-art.png"), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                             QStringLiteral("color=blue:s=60x30"), QStringLiteral("-frames:v"), QStringLiteral("1")}),
        QStringLiteral("art.png"));
    r = run({"-i", source, "-o", "art.m4a", "-p", "m4a", "--artwork", art});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    s = streams(granted + QStringLiteral("/art.m4a"));
    ASSERT_EQ(s.size(), 2);
    EXPECT_EQ(s[1].toObject().value(QStringLiteral("disposition")).toObject().value(QStringLiteral("attached_pic")).toInt(), 1);
    EXPECT_EQ(s[1].toObject().value(QStringLiteral("width")).toInt(), 60) << "squared to the longer side";
    EXPECT_EQ(s[1].toObject().value(QStringLiteral("height")).toInt(), 60);
}

TEST_F(CliTest, FailuresSayWhatAndExitNonZero)
{
    const QString source = inside(h264WithBFrames(), QStringLiteral("talk.mp4"));
    const QString audioOnly = inside(wav(), QStringLiteral("tone.wav"));
    struct Case {
        QStringList arguments;
        const char* message;
    };
    const Case cases[] = {
        {{"-i", source, "-o", "x.mp4", "--cut", "abc"}, "Error: Invalid time \"abc\" for --cut"},
        {{"-i", source, "-o", "x.mp4", "-p", "divx"}, "Error: Unknown preset \"divx\". Valid presets:"},
        {{"-i", source, "-o", "x.mp4", "-s", "30"}, "Error: Cannot split at 30.000 s: it lies beyond the end"},
        {{"-i", source, "-o", "x.mp4", "--artwork", "missing.png"}, "Error: Cannot read the artwork file"},
        {{"-i", source, "-o", "x.mp4", "--clear"}, "Error: Export failed: Nothing is left to export"},
        {{"-i", source}, "Error: No output file specified"},
        {{"-i", audioOnly, "-o", "x.mp4", "-p", "low"}, "Error: Export failed: Thumbnail needs a video track: choose the"},
        {{"-i", "nothing-here.mp4", "-o", "x.mp4"}, "Error: Missing access to input file!"},
        {{"-i", source, "--split-export", "missing-folder", "-s", "1"}, "missing-folder\" does not exist."},
        {{"-i", source, "--split-export", audioOnly, "-s", "1"}, "is not a folder."},
        {{"-i", source, "-o", "x.mp4", "-o", "y.mp4"}, "Error: Give one output: --output FILE or --split-export FOLDER, once"},
        {{"-i", source, "-o", "x.mp4", "-c", "0:75"}, "Error: Invalid time \"0:75\" for -c."},
        {{"-i",
          inside(make(QStringLiteral("still.png"), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                                    QStringLiteral("color=red:s=32x32"), QStringLiteral("-frames:v"), QStringLiteral("1")}),
                 QStringLiteral("still.png")),
          "-o", "x.mp4"},
         "Error: The input has no playable length"},
    };
    for (const Case& c : cases) {
        const Outcome r = run(c.arguments);
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(c.message))) << c.message << "\n" << r.out.toStdString() << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(granted + QStringLiteral("/x.mp4"))) << c.message;
    }
    // A failing export does not touch a file that was at the target before.
    const QString kept = granted + QStringLiteral("/kept.mp4");
    QFile previous(kept);
    ASSERT_TRUE(previous.open(QIODevice::WriteOnly));
    previous.write("precious");
    previous.close();
    const Outcome r = run({"-i", audioOnly, "-o", kept, "-p", "low", "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("\"type\":\"error\"")));
    QFile check(kept);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray("precious"));
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(CliTest, FolderCheckResolvesLinksAndPrefixes)
{
    const QString source = inside(h264WithBFrames(), QStringLiteral("talk.mp4"));
    const QString outside = root->path() + QStringLiteral("/outside");
    QDir().mkpath(outside);
    QFile::copy(source, outside + QStringLiteral("/secret.mp4"));
    QFile::link(outside, granted + QStringLiteral("/escape"));
    QDir().mkpath(granted + QStringLiteral("2"));
    QFile::copy(source, granted + QStringLiteral("2/x.mp4"));
    struct Case {
        QStringList arguments;
        const char* message;
    };
    const Case cases[] = {
        {{"-i", granted + QStringLiteral("/escape/secret.mp4"), "-o", "y.mp4"}, "ERROR: Input file is not within the accessible folder."},
        {{"-i", granted + QStringLiteral("/../media2/x.mp4"), "-o", "y.mp4"}, "ERROR: Input file is not within the accessible folder."},
        {{"-i", source, "-o", outside + QStringLiteral("/y.mp4")}, "ERROR: Output file is not within the accessible folder."},
        {{"-i", source, "-o", granted + QStringLiteral("/escape/y.mp4")}, "ERROR: Output file is not within the accessible folder."},
    };
    for (const Case& c : cases) {
        const Outcome r = run(c.arguments);
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(outside + QStringLiteral("/y.mp4")));
    // A sub-folder is inside.
    QDir(granted).mkpath(QStringLiteral("sub"));
    const Outcome sub = run({"-i", source, "-o", "sub/y.mp4", "-c", "1", "-c", "9"});
    EXPECT_EQ(sub.status, 0) << sub.out.toStdString() << sub.err.toStdString();
}

TEST_F(CliTest, InformationRequestsAndSetup)
{
    Outcome r = run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QStringLiteral("clipwell_cli Version 2.2.2063\n"));
    r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("CLI Access configured for: ") + QDir(granted).canonicalPath()));
    r = run({"--setup"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Status: CONFIGURED")));

    // Without a grant: explanations that name the command that grants a folder.
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CLIPWELL_CONTAINER_DIR"), root->path() + QStringLiteral("/empty-container"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(CLIPWELL_CLI), {QStringLiteral("--setup")});
    process.waitForFinished();
    EXPECT_EQ(process.exitCode(), 1);
    const QString setup = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(setup.contains(QStringLiteral("Status: NOT CONFIGURED")));
    EXPECT_TRUE(setup.contains(QStringLiteral("clipwell --grant-cli-access FOLDER")));
    EXPECT_TRUE(setup.contains(QStringLiteral("Technical details: No bookmark exists")));
    process.start(QStringLiteral(CLIPWELL_CLI),
                  {QStringLiteral("-i"), QStringLiteral("a.mp4"), QStringLiteral("-o"), QStringLiteral("b.mp4")});
    process.waitForFinished();
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(process.readAllStandardError().contains("ERROR: No folder access configured."));
}
