// clipwell_cli's re-encoding presets end to end: every frame kept once with its timing (constant and
// variable rate, rotation, several tracks, pieces), encoder failures reported as failures, and an
// interrupted export cancelled cleanly.
#include "CliHarness.h"

#include <csignal>

using namespace TestMedia;

class CliEncodingTest : public CliHarness {};

TEST_F(CliEncodingTest, H264AndHevcKeepEveryFrameWithItsTiming)
{
    const QString source = inside(h264WithBFrames(), QStringLiteral("talk.mp4"));
    CliOutcome r = run({"-i", source, "-o", "avc.mp4", "-p", "h264", "-c", "2", "-c", "4", "--meta-title", "Encoded"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    const QString avc = granted + QStringLiteral("/avc.mp4");
    QJsonArray s = probe(avc, true).value(QStringLiteral("streams")).toArray();
    ASSERT_EQ(s.size(), 2);
    const QJsonObject video =
        s[1].toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String("video") ? s[1].toObject() : s[0].toObject();
    EXPECT_EQ(video.value(QStringLiteral("codec_name")).toString(), QStringLiteral("h264"));
    EXPECT_EQ(video.value(QStringLiteral("profile")).toString(), QStringLiteral("High"));
    EXPECT_EQ(video.value(QStringLiteral("r_frame_rate")).toString(), QStringLiteral("25/1"));
    EXPECT_EQ(video.value(QStringLiteral("nb_read_frames")).toString().toInt(), 200) << "8 s at 25 fps, every kept frame once";
    EXPECT_NEAR(duration(avc), 8.0, 0.03);
    EXPECT_EQ(tags(avc).value(QStringLiteral("title")).toString(), QStringLiteral("Encoded"));
    const std::vector<double> times = probeFrameTimes(avc);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_NEAR(times[i] - times[i - 1], 0.04, 1e-3) << i;

    r = run({"-i", source, "-o", "hevc.mp4", "-p", "h265", "-c", "9", "-c", "10"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    s = streams(granted + QStringLiteral("/hevc.mp4"));
    bool sawVideo = false;
    for (const QJsonValue& v : s)
        if (v.toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String("video")) {
            sawVideo = true;
            EXPECT_EQ(v.toObject().value(QStringLiteral("codec_name")).toString(), QStringLiteral("hevc"));
            EXPECT_EQ(v.toObject().value(QStringLiteral("codec_tag_string")).toString(), QStringLiteral("hvc1"));
            EXPECT_EQ(v.toObject().value(QStringLiteral("profile")).toString(), QStringLiteral("Main"));
        }
    EXPECT_TRUE(sawVideo);
}

TEST_F(CliEncodingTest, H264KeepsVariableTimingRotationTracksAndPieces)
{
    // Variable frame rate: the frame times of the source survive.
    const QString vfr = inside(variableFrameRateMp4(), QStringLiteral("vfr.mp4"));
    CliOutcome r = run({"-i", vfr, "-o", "vfr-out.mp4", "-p", "h264"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    const std::vector<double> in = probeFrameTimes(vfr), out = probeFrameTimes(granted + QStringLiteral("/vfr-out.mp4"));
    ASSERT_EQ(in.size(), out.size());
    for (size_t i = 0; i < in.size(); ++i)
        EXPECT_NEAR(in[i], out[i], 2e-3) << i;

    // A turned source comes out upright.
    const QString turned = inside(rotatedMov(), QStringLiteral("turned.mov"));
    r = run({"-i", turned, "-o", "upright.mp4", "-p", "h264"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    const QJsonObject v = streams(granted + QStringLiteral("/upright.mp4"))[0].toObject();
    EXPECT_EQ(v.value(QStringLiteral("width")).toInt(), 120);
    EXPECT_EQ(v.value(QStringLiteral("height")).toInt(), 160);

    // Two audio tracks (one alternate group, the first the default) and the subtitles are kept.
    const QString multi = inside(twoAudioAndSubtitle(), QStringLiteral("multi.mp4"));
    r = run({"-i", multi, "-o", "multi-out.mp4", "-p", "h264", "-c", "1", "-c", "2"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    const QJsonArray s = streams(granted + QStringLiteral("/multi-out.mp4"));
    QStringList kinds;
    int defaults = 0;
    for (const QJsonValue& stream : s) {
        kinds << stream.toObject().value(QStringLiteral("codec_name")).toString();
        if (stream.toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String("audio"))
            defaults += stream.toObject().value(QStringLiteral("disposition")).toObject().value(QStringLiteral("default")).toInt();
    }
    kinds.sort();
    EXPECT_EQ(kinds, (QStringList{"aac", "aac", "h264", "mov_text"}));
    EXPECT_EQ(defaults, 1);

    // One file per piece.
    QDir(granted).mkpath(QStringLiteral("avc-parts"));
    r = run({"-i", multi, "--split-export", "avc-parts", "-p", "h264", "-s", "2"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_NEAR(duration(granted + QStringLiteral("/avc-parts/multi - part 1 - h264.mp4")), 2.0, 0.03);
    EXPECT_NEAR(duration(granted + QStringLiteral("/avc-parts/multi - part 2 - h264.mp4")), 2.0, 0.03);
}

TEST_F(CliEncodingTest, EncodingFailuresAreReportedAsFailures)
{
    // A picture one pixel wide cannot be encoded: the export fails at once, nothing is written.
    const QString thin =
        inside(make(QStringLiteral("thin.mkv"),
                    {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("color=s=2x16:d=1"),
                     QStringLiteral("-vf"), QStringLiteral("format=gray,scale=1:16"), QStringLiteral("-c:v"), QStringLiteral("ffv1")}),
               QStringLiteral("thin.mkv"));
    CliOutcome r = run({"-i", thin, "-o", "thin.mp4", "-p", "h264"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Error: Export failed: Cannot encode a 0×16 picture"))) << r.out.toStdString();
    EXPECT_FALSE(QFile::exists(granted + QStringLiteral("/thin.mp4")));

    // The disk fills up (a file-size limit): a write error, status 4, no file.
    const QString source = inside(h264WithBFrames(), QStringLiteral("talk.mp4"));
    QProcess limited;
    limited.setWorkingDirectory(granted);
    limited.start(
        QStringLiteral("bash"),
        {QStringLiteral("-c"), QStringLiteral("ulimit -f 40; exec \"$0\" -i talk.mp4 -o full.mp4 -p h264"), QStringLiteral(CLIPWELL_CLI)});
    ASSERT_TRUE(limited.waitForFinished(120000));
    EXPECT_EQ(limited.exitCode(), 1);
    const QString out = QString::fromUtf8(limited.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("Error: Export failed: Cannot")) && out.contains(QStringLiteral("File too large")))
        << out.toStdString();
    EXPECT_FALSE(QFile::exists(granted + QStringLiteral("/full.mp4")));
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(CliEncodingTest, InterruptingCancelsCleanly)
{
    const QString longer =
        inside(make(QStringLiteral("longer.mp4"),
                    {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("testsrc2=s=1280x720:r=30:d=30"),
                     QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast")}),
               QStringLiteral("longer.mp4"));
    QProcess process;
    process.setWorkingDirectory(granted);
    process.start(QStringLiteral(CLIPWELL_CLI), {QStringLiteral("-i"), longer, QStringLiteral("-o"), QStringLiteral("interrupted.mp4"),
                                                 QStringLiteral("-p"), QStringLiteral("low")});
    ASSERT_TRUE(process.waitForStarted());
    // Interrupted once the export reports progress: mid-way through writing the file.
    QByteArray printed;
    while (!printed.contains("Progress:") && process.waitForReadyRead(60000))
        printed += process.readAllStandardOutput();
    ASSERT_TRUE(printed.contains("Progress:")) << printed.toStdString();
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 2) << printed.toStdString() << process.readAllStandardOutput().toStdString();
    EXPECT_FALSE(QFile::exists(granted + QStringLiteral("/interrupted.mp4")));
    EXPECT_TRUE(leftovers().isEmpty());
}
