// clipwell_cli --snapshot: each picture is the frame shown at its time, as ffmpeg decodes the source
// (the last frame whose time is at or before it), at full size and upright, named by its time when
// there are several; what cannot be kept is refused with nothing written.
#include "CliHarness.h"

#include <QImage>

#include <cmath>

using namespace TestMedia;

namespace {
class CliSnapshotTest : public CliHarness {
protected:
    // The number shown by the frame on screen at `seconds`, by ffmpeg's decoding and ffprobe's times.
    static int shownByFfmpeg(const QString& source, double seconds)
    {
        const std::vector<double> times = probeFrameTimes(source);
        const std::vector<int> numbers = decode(source).frameNumbers;
        int shown = -1;
        for (size_t i = 0; i < times.size() && i < numbers.size(); ++i)
            if (times[i] <= seconds + 1e-9)
                shown = numbers[i];
        return shown;
    }
};
} // namespace

TEST_F(CliSnapshotTest, EachPictureIsTheFrameShownAtItsTime)
{
    const struct {
        QString source;
        QStringList times;
    } sources[] = {
        // Open groups of 60 at 30000/1001 fps: times between frames, on a frame, and across a keyframe.
        {inside(openGop2997(), QStringLiteral("open.mp4")), {"0", "0.5", "1.001", "2.0", "2.036", "4.9"}},
        // Keyframes only every 4 s with B-frames: deep inside a group, and its last frame.
        {inside(longGop25(), QStringLiteral("long.mp4")), {"3.99", "5.5", "7.123", "11.96"}},
    };
    for (const auto& [source, times] : sources) {
        QStringList arguments{"-i", source, "-o", "frame.png"};
        for (const QString& time : times)
            arguments << QStringLiteral("--snapshot") << time;
        const CliOutcome r = run(arguments);
        ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        for (const QString& time : times) {
            const double seconds = time.toDouble();
            const QString name =
                QStringLiteral("frame %1m%2s.png").arg(int(seconds) / 60).arg(std::fmod(seconds, 60.0), 6, 'f', 3, QLatin1Char('0'));
            const QImage picture(granted + QLatin1Char('/') + name);
            ASSERT_FALSE(picture.isNull()) << name.toStdString() << "\n" << r.out.toStdString();
            EXPECT_EQ(picture.size(), QSize(160, 120)) << name.toStdString();
            EXPECT_EQ(frameNumberInImage(picture), shownByFfmpeg(source, seconds)) << source.toStdString() << " at " << seconds;
            EXPECT_TRUE(r.out.contains(granted + QLatin1Char('/') + name)) << r.out.toStdString();
            QFile::remove(granted + QLatin1Char('/') + name);
        }
    }
    // One snapshot is the output itself; JPEG by its name; a turned picture is kept upright.
    const QString turned = inside(rotatedMov(), QStringLiteral("turned.mov"));
    const CliOutcome r = run({"-i", turned, "--snapshot", "0.5", "-o", "upright.jpg", "--json"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_TRUE(contents(granted + QStringLiteral("/upright.jpg")).startsWith("\xFF\xD8\xFF"));
    EXPECT_EQ(QImage(granted + QStringLiteral("/upright.jpg")).size(), QSize(120, 160));
    EXPECT_TRUE(r.out.contains(QStringLiteral("\"type\":\"snapshot\""))) << r.out.toStdString();
    QFile::remove(granted + QStringLiteral("/upright.jpg"));
}

TEST_F(CliSnapshotTest, WhatCannotBeKeptIsRefusedAndNothingIsWritten)
{
    const QString video = inside(fps25(), QStringLiteral("clip.mp4"));
    const QString sound = inside(wav(), QStringLiteral("sound.wav"));
    const struct {
        QStringList arguments;
        const char* says;
    } runs[] = {
        {{"-i", video, "--snapshot", "4", "-o", "late.png"}, "is not within the source, which lasts 4.000 s"},
        {{"-i", video, "--snapshot", "1", "--snapshot", "9", "-o", "late.png"}, "Cannot save the frame at 0m09.000s"},
        {{"-i", sound, "--snapshot", "0.5", "-o", "sound.png"}, "has no pictures to keep"},
        {{"-i", video, "--snapshot", "1", "-o", "frame.txt"}, "names no picture file"},
        {{"-i", video, "--snapshot", "1", "--cut", "2", "-o", "cut.png"}, "give it without cuts, splits or --split-export"},
        {{"-i", video, "--snapshot", "1:75", "-o", "bad.png"}, "Invalid time \"1:75\" for --snapshot"},
    };
    // The second run keeps its first frame, whole; nothing else appears.
    const QString kept = QStringLiteral("late 0m01.000s.png");
    const auto files = [&] {
        QStringList names = QDir(granted).entryList(QDir::Files | QDir::Hidden);
        names.removeAll(kept);
        return names.join(QLatin1Char(' ')).toStdString();
    };
    for (const auto& [arguments, says] : runs) {
        const std::string before = files();
        const CliOutcome r = run(arguments);
        EXPECT_EQ(r.status, 1) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE((r.out + r.err).contains(QLatin1String(says))) << says << "\n" << r.out.toStdString() << r.err.toStdString();
        EXPECT_EQ(files(), before) << arguments.join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_FALSE(QImage(granted + QLatin1Char('/') + kept).isNull());
    QFile::remove(granted + QLatin1Char('/') + kept);
}
