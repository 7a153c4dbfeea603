// What clipwell_cli tells its user and its callers, through the real binary: JSON records for every
// error in JSON mode, a terminal's progress line closed before an error, a quiet standard error
// without --debug, the help's examples running as written, preset names, metadata that reaches the
// file (or a warning that it cannot), and cancellation by a signal at any moment.
#include "CliHarness.h"

#include <QJsonDocument>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestMedia;

namespace {

class CliReportingTest : public CliHarness {
protected:
    // Each line of standard output as a JSON object; a line that is not one fails the test.
    static std::vector<QJsonObject> records(const CliOutcome& r)
    {
        std::vector<QJsonObject> list;
        for (const QString& line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8());
            EXPECT_TRUE(document.isObject()) << "not JSON: " << line.toStdString();
            list.push_back(document.object());
        }
        return list;
    }
};

} // namespace

TEST_F(CliReportingTest, JsonModeReportsEveryErrorAsARecord)
{
    const QString source = inside(fps25(), QStringLiteral("json.mp4"));
    struct Case {
        QStringList arguments;
        const char* message;
    };
    const Case cases[] = {
        // --json after the argument that stops the parsing still counts.
        {{"-i", source, "-o", "j.mp4", "-c", "soon", "--json"}, "Invalid time \"soon\""},
        {{"--bogus", "--json"}, "Unknown argument: --bogus"},
        {{"--json", "-i", source, "-o", "/tmp/outside.mp4"}, "Output file is not within the accessible folder"},
        {{"--json", "-i", source, "-o", "j.mp4", "-p", ""}, "Unknown preset \"\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const CliOutcome r = run(c.arguments);
        EXPECT_EQ(r.status, 1);
        const std::vector<QJsonObject> list = records(r);
        ASSERT_FALSE(list.empty());
        EXPECT_EQ(list.back().value(QStringLiteral("type")).toString(), QStringLiteral("error"));
        EXPECT_TRUE(list.back().value(QStringLiteral("message")).toString().contains(QLatin1String(c.message)))
            << list.back().value(QStringLiteral("message")).toString().toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    }
    // Without any grant.
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CLIPWELL_CONTAINER_DIR"), root->path() + QStringLiteral("/no-grant"));
    process.setProcessEnvironment(env);
    start(process, {"--json", "-i", source, "-o", "j.mp4"});
    const CliOutcome r = finish(process);
    EXPECT_EQ(r.status, 1);
    const std::vector<QJsonObject> list = records(r);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list.front().value(QStringLiteral("message")).toString().startsWith(QStringLiteral("ERROR: No folder access configured.")));
}

// An empty preset name is refused, also when another preset was remembered from an earlier export.
TEST_F(CliReportingTest, AnEmptyPresetNameIsAnError)
{
    const QString source = inside(wav(), QStringLiteral("empty-preset.wav"));
    ASSERT_EQ(run({"-i", source, "-o", "remembered.flac", "-p", "flac"}).status, 0);
    const CliOutcome r = run({"-i", source, "-o", "e1.mp4", "-p", ""});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Unknown preset \"\""))) << r.out.toStdString();
    EXPECT_FALSE(QFile::exists(granted + QStringLiteral("/e1.mp4")));
}

// On a terminal the progress line is rewritten in place; an error starts on a line of its own.
TEST_F(CliReportingTest, ATerminalSeesErrorsOnTheirOwnLine)
{
    if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
        GTEST_SKIP() << "script(1) is needed for a terminal";
    const QString source = inside(h264WithBFrames(), QStringLiteral("tty.mp4"));
    // A full disk part-way through an H.264 export, run on a pseudo-terminal.
    const QString command =
        QStringLiteral("ulimit -f 40; exec '%1' -i '%2' -o tty-out.mp4 -p h264").arg(QStringLiteral(CLIPWELL_CLI), source);
    QByteArray output, errors;
    QProcess process;
    process.setWorkingDirectory(granted);
    process.start(QStringLiteral("script"), {QStringLiteral("-qefc"), command, QStringLiteral("/dev/null")});
    ASSERT_TRUE(process.waitForFinished(120000));
    output = process.readAllStandardOutput();
    EXPECT_NE(process.exitCode(), 0);
    ASSERT_TRUE(output.contains("Progress: ")) << output.toStdString();
    ASSERT_TRUE(output.contains("Error: ")) << output.toStdString();
    const qsizetype error = output.indexOf("Error: ");
    EXPECT_EQ(output[error - 1], '\n') << output.toStdString();
}

// Standard error stays quiet without --debug, while an H.264 export runs through.
TEST_F(CliReportingTest, StandardErrorIsQuietWithoutDebug)
{
    const QString source = inside(h264WithBFrames(), QStringLiteral("quiet.mp4"));
    const CliOutcome r = run({"-i", source, "-o", "quiet-out.mp4", "-p", "h264", "-c", "2", "-c", "3"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
}

// Every example of the help runs as written (on a three-minute input and an MP3).
TEST_F(CliReportingTest, HelpExamplesRunAsWritten)
{
    inside(make(QStringLiteral("three-minutes.mp4"), {"-f", "lavfi", "-i", "color=gray:s=64x48:r=5:d=180", "-f", "lavfi", "-i",
                                                      "sine=d=180", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-shortest"}),
           QStringLiteral("input.mp4"));
    inside(mp3WithCover(), QStringLiteral("input.mp3"));
    QDir(granted).mkpath(QStringLiteral("pieces"));
    const CliOutcome help = run({"--help"});
    int examples = 0;
    for (const QString& line : help.out.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QStringLiteral("  clipwell_cli --")))
            continue;
        ++examples;
        QStringList arguments = QProcess::splitCommand(line.trimmed());
        arguments.removeFirst();
        const CliOutcome r = run(arguments);
        EXPECT_EQ(r.status, 0) << line.toStdString() << "\n" << r.out.toStdString() << r.err.toStdString();
    }
    EXPECT_EQ(examples, 5);
    EXPECT_EQ(QDir(granted + QStringLiteral("/pieces")).entryList(QDir::Files).size(), 3);
}

// The MP3 comment is written (LAME's COMM form); an author goes where the format has a field for it,
// and the user is told where it does not.
TEST_F(CliReportingTest, CommentsAndAuthorsReachTheFileOrAreSaidToBeLeftOut)
{
    const QString source = inside(wav(), QStringLiteral("comment.wav"));
    // A BMP picture, which ID3 cannot hold as it is, goes in as PNG.
    const QString bmp = inside(make(QStringLiteral("artwork.bmp"), {"-f", "lavfi", "-i", "color=red:s=40x30", "-frames:v", "1"}),
                               QStringLiteral("art.bmp"));
    CliOutcome r = run({"-i", source, "-o", "comment.mp3", "-p", "lame", "--meta-comment", "Über den Wolken", "--artwork", bmp});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_EQ(tags(granted + QStringLiteral("/comment.mp3")).value(QStringLiteral("comment")).toString(),
              QStringLiteral("Über den Wolken"));
    const QJsonArray mp3Streams = streams(granted + QStringLiteral("/comment.mp3"));
    ASSERT_EQ(mp3Streams.size(), 2);
    EXPECT_EQ(mp3Streams[1].toObject().value(QStringLiteral("codec_name")).toString(), QStringLiteral("png"));

    r = run({"-i", source, "-o", "author.flac", "-p", "flac", "--meta-author", "Ann"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(tags(granted + QStringLiteral("/author.flac")).value(QStringLiteral("author")).toString(), QStringLiteral("Ann"));
    EXPECT_FALSE(r.err.contains(QStringLiteral("author")));
    r = run({"-i", source, "-o", "author.m4a", "-p", "m4a", "--meta-author", "Ann"});
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Warning: M4A files have no author field; --meta-author is left out.")))
        << r.err.toStdString();
}

// A named pipe nobody writes to, as the input or a cuts file, is refused at once: opening it would wait
// for ever.
TEST_F(CliReportingTest, PipesAreRefusedWithoutBeingOpened)
{
    const QString fifo = granted + QStringLiteral("/waiting.mp4");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString input = inside(silence(2), QStringLiteral("quiet-for-pipes.wav"));
    for (const QStringList& arguments :
         {QStringList{"-i", fifo, "-o", "never.mp4"}, QStringList{"-i", input, "-o", "never.flac", "-p", "flac", "--cuts-from", fifo}}) {
        const CliOutcome r = run(arguments, {}, 20000);
        EXPECT_FALSE(r.crashed);
        EXPECT_EQ(r.status, 1) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("is not a regular file"))) << r.err.toStdString();
    }
    QFile::remove(fifo);
}

TEST_F(CliReportingTest, CutsComeFromAFileInTheirPlace)
{
    // 20,000 cut points from a file (10,000 cuts of 1 ms, one every 2 ms from 0.5 s on), more than a
    // command line holds comfortably; a --cut pair before the file and a --cut after it keep their places.
    const QString input = inside(silence(30), QStringLiteral("cuts-source.wav")); // 8 kHz
    const QString list = granted + QStringLiteral("/cuts.txt");
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 20000; ++i)
        file.write(QByteArray::number(0.5 + i * 0.001, 'f', 3) + "\n");
    file.write("\n");
    file.close();
    const QString output = granted + QStringLiteral("/cuts-out.flac");
    CliOutcome r = run({QStringLiteral("-i"), input, QStringLiteral("-o"), output, QStringLiteral("-p"), QStringLiteral("flac"),
                        QStringLiteral("--cut"), QStringLiteral("0.1"), QStringLiteral("--cut"), QStringLiteral("0.15"),
                        QStringLiteral("--cuts-from"), list, QStringLiteral("--cut"), QStringLiteral("25")});
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    // Kept: 30 s less 0.05 s, less 10 s of 1-ms cuts, less the last 5 s: 14.95 s, to the sample.
    const Decoded decoded = decode(output);
    EXPECT_EQ(decoded.audioSamples, 119600);
    EXPECT_EQ(decoded.messages, QByteArray());

    QFile bad(granted + QStringLiteral("/bad-cuts.txt"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("0.5\n1:xx\n");
    bad.close();
    r = run({QStringLiteral("-i"), input, QStringLiteral("-o"), output, QStringLiteral("--cuts-from"), bad.fileName()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Invalid time \"1:xx\" on line 2"))) << r.out.toStdString();
    r = run({QStringLiteral("-i"), input, QStringLiteral("-o"), output, QStringLiteral("--cuts-from"), QStringLiteral("/etc/hostname")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Cuts file is not within the accessible folder"))) << r.err.toStdString();
}

TEST_F(CliReportingTest, AnOutputThatIsTheInputOrNoFileIsRefusedBeforeWriting)
{
    const QString input = inside(silence(2), QStringLiteral("keep-me.wav"));
    QFile original(input);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    original.close();
    const QString hardLink = granted + QStringLiteral("/keep-me-too.wav");
    QFile::remove(hardLink);
    ASSERT_EQ(::link(QFile::encodeName(input).constData(), QFile::encodeName(hardLink).constData()), 0);
    const QString symbolicLink = granted + QStringLiteral("/keep-me-link.wav");
    QFile::remove(symbolicLink);
    ASSERT_TRUE(QFile::link(input, symbolicLink));
    for (const QString& output : {input, hardLink, symbolicLink}) {
        const CliOutcome r = run({QStringLiteral("-i"), input, QStringLiteral("-o"), output, QStringLiteral("-p"), QStringLiteral("flac"),
                                  QStringLiteral("--cut"), QStringLiteral("0"), QStringLiteral("--cut"), QStringLiteral("1.5")});
        EXPECT_EQ(r.status, 1) << output.toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral("is the input file"))) << r.out.toStdString() << r.err.toStdString();
    }
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(original.readAll(), bytes) << "the source is intact";
    original.close();

    // A folder, "." and a named pipe are no files to write: refused at once (a pipe is never opened).
    const QString fifo = granted + QStringLiteral("/pipe.flac");
    QFile::remove(fifo);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QDir(granted).mkpath(QStringLiteral("folder.flac"));
    for (const QString& output : {granted + QStringLiteral("/folder.flac"), granted, fifo}) {
        const CliOutcome r = run({QStringLiteral("-i"), input, QStringLiteral("-o"), output, QStringLiteral("-p"), QStringLiteral("flac")});
        EXPECT_EQ(r.status, 1) << output.toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral("is not a regular file"))) << r.out.toStdString();
    }
    struct stat pipe {};
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &pipe), 0);
    EXPECT_TRUE(S_ISFIFO(pipe.st_mode)) << "the pipe is left as it was";
}
