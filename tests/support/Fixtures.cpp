// The test media every program shares, made once per program with the ffmpeg command (make()): frame-
// numbered pictures, tones and beeps in the containers and codecs the tests need.
#include "TestMedia.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

#include <cmath>

namespace TestMedia {

namespace {

// The frame number N drawn as two grey levels: the left half shows N mod 16, the right half N / 16 mod 16.
QStringList pattern(int seconds, const QString& rate = QStringLiteral("25"), const QString& size = QStringLiteral("160x120"))
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("color=black:s=%1:r=%2:d=%3,format=yuv420p,"
                           "geq=lum='if(lt(X,W/2),16+14*mod(N,16),16+14*mod(floor(N/16),16))':cb=128:cr=128")
                .arg(size, rate)
                .arg(seconds)};
}

QStringList tone(int seconds, int frequency, int rate = 48000)
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("sine=frequency=%1:sample_rate=%2:duration=%3").arg(frequency).arg(rate).arg(seconds)};
}

// Silence but for a 20 ms beep at every whole second.
QStringList beeps(int seconds, int rate = 48000)
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("aevalsrc='if(lt(mod(t,1),0.02),0.8*sin(2*PI*1000*t),0)':s=%1:d=%2").arg(rate).arg(seconds)};
}

QStringList operator+(QStringList a, std::initializer_list<const char*> b)
{
    for (const char* s : b)
        a << QString::fromUtf8(s);
    return a;
}

} // namespace

QString h264WithBFrames()
{
    return make(QStringLiteral("bframes.mp4"),
                pattern(10) + tone(10, 440) + std::initializer_list<const char*>{"-c:v",      "libx264",
                                                                                 "-preset",   "veryfast",
                                                                                 "-crf",      "12",
                                                                                 "-bf",       "3",
                                                                                 "-g",        "50",
                                                                                 "-c:a",      "aac",
                                                                                 "-ac",       "2",
                                                                                 "-b:a",      "96k",
                                                                                 "-metadata", "title=Pattern",
                                                                                 "-metadata", "artist=Clipwell Tests"});
}

QString withChapters()
{
    const QString chapters = folder() + QStringLiteral("/chapters.txt");
    QFile file(chapters);
    if (!file.exists() && file.open(QIODevice::WriteOnly)) {
        file.write(";FFMETADATA1\n");
        const std::initializer_list<std::tuple<int, int, const char*>> list{
            {0, 3000, "Intro"}, {3000, 6000, "Middle"}, {6000, 7000, "Aside"}, {7000, 10000, "End"}};
        for (const auto& [start, end, title] : list)
            file.write(QStringLiteral("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%1\nEND=%2\ntitle=%3\n")
                           .arg(start)
                           .arg(end)
                           .arg(QLatin1String(title))
                           .toUtf8());
        file.close();
    }
    return make(QStringLiteral("chapters.mp4"),
                pattern(10) + tone(10, 440) + QStringList{QStringLiteral("-i"), chapters} +
                    std::initializer_list<const char*>{"-map", "0", "-map", "1", "-map_chapters", "2", "-c:v", "libx264", "-preset",
                                                       "veryfast", "-bf", "3", "-c:a", "aac", "-b:a", "96k"});
}

QString beepingPattern(bool lateAudio)
{
    const QString offset = lateAudio ? QStringLiteral("0.5") : QStringLiteral("0");
    return make(lateAudio ? QStringLiteral("beeps-late.mp4") : QStringLiteral("beeps.mp4"),
                pattern(10) +
                    QStringList{QStringLiteral("-itsoffset"), offset, QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                QStringLiteral("aevalsrc='if(lt(mod(t+%1,1),0.02),0.8*sin(2*PI*1000*t),0)':s=48000:d=%2")
                                    .arg(offset)
                                    .arg(lateAudio ? 9.5 : 10)} +
                    std::initializer_list<const char*>{"-c:v", "libx264", "-preset", "veryfast", "-bf", "3", "-g", "50", "-c:a", "aac",
                                                       "-b:a", "96k"});
}

QString vp9OpusBeeps()
{
    return make(QStringLiteral("vp9-beeps.mkv"),
                pattern(6) + beeps(6) +
                    std::initializer_list<const char*>{"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8", "-crf", "20",
                                                       "-b:v", "0", "-g", "50", "-c:a", "libopus"});
}

namespace {
// Numbered H.264 with B-frames and beeps, 6 s, in Matroska with the given sound.
QString matroskaBeeps(const QString& name, const char* audioCodec, int rate)
{
    return make(name, pattern(6) + beeps(6, rate) +
                          std::initializer_list<const char*>{"-c:v", "libx264", "-preset", "veryfast", "-bf", "3", "-g", "50", "-c:a"} +
                          std::initializer_list<const char*>{audioCodec});
}
} // namespace

QString matroskaPcmBeeps() { return matroskaBeeps(QStringLiteral("pcm-beeps.mkv"), "pcm_s16le", 48000); }

QString matroskaVorbisBeeps() { return matroskaBeeps(QStringLiteral("vorbis-beeps.mkv"), "libvorbis", 44100); }

QString webmLongGop()
{
    return make(QStringLiteral("long-gop.webm"),
                pattern(10) + tone(10, 440) +
                    std::initializer_list<const char*>{"-c:v", "libvpx", "-deadline", "realtime", "-cpu-used", "8", "-b:v", "1M", "-g",
                                                       "100", "-auto-alt-ref", "0", "-c:a", "libvorbis"});
}

QString av1Opus()
{
    return make(QStringLiteral("av1.mp4"), pattern(6) + beeps(6) +
                                               std::initializer_list<const char*>{"-c:v", "libaom-av1", "-cpu-used", "8", "-crf", "30",
                                                                                  "-g", "50", "-c:a", "libopus"});
}

QString adtsAac()
{
    return make(QStringLiteral("tone.aac"), tone(10, 440) + std::initializer_list<const char*>{"-c:a", "aac", "-f", "adts"});
}

QString hevc()
{
    return make(QStringLiteral("hevc.mp4"),
                pattern(2) + std::initializer_list<const char*>{"-c:v", "libx265", "-preset", "ultrafast", "-x265-params",
                                                                "log-level=error", "-tag:v", "hvc1"});
}

// The display matrix of the first track header set to a quarter turn clockwise, the way cameras
// record portrait video: [0 1 0; -1 0 0; height 0 1].
QString rotatedMov()
{
    const QString rotated = folder() + QStringLiteral("/rotated.mov");
    if (QFileInfo::exists(rotated))
        return rotated;
    const QString plain = make(QStringLiteral("plain.mov"),
                               pattern(2) + std::initializer_list<const char*>{"-c:v", "libx264", "-preset", "veryfast", "-crf", "12"});
    QFile in(plain);
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    const qsizetype tkhd = bytes.indexOf("tkhd");
    EXPECT_GT(tkhd, 0);
    const qsizetype matrix = tkhd + 4 + 40;
    auto put = [&](int index, int32_t value) {
        for (int b = 0; b < 4; ++b)
            bytes[matrix + index * 4 + b] = char((uint32_t(value) >> (24 - 8 * b)) & 0xff);
    };
    const int32_t one = 0x10000;
    const int32_t matrixValues[9] = {0, one, 0, -one, 0, 0, 120 * one, 0, 0x40000000};
    for (int i = 0; i < 9; ++i)
        put(i, matrixValues[i]);
    QFile out(rotated);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    return rotated;
}

QString vp9Opus()
{
    return make(QStringLiteral("vp9.mkv"),
                pattern(2) + tone(2, 440) +
                    std::initializer_list<const char*>{"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8", "-crf", "20",
                                                       "-b:v", "0", "-c:a", "libopus", "-metadata", "author=MKV Author"});
}

namespace {
QString cover()
{
    return make(QStringLiteral("cover.jpg"), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                              QStringLiteral("color=red:s=64x64"), QStringLiteral("-frames:v"), QStringLiteral("1")});
}
} // namespace

QString mp3WithCover()
{
    return make(QStringLiteral("tagged.mp3"), tone(3, 440, 44100) + QStringList{QStringLiteral("-i"), cover()} +
                                                  std::initializer_list<const char*>{"-map",           "0",
                                                                                     "-map",           "1",
                                                                                     "-c:a",           "libmp3lame",
                                                                                     "-b:a",           "128k",
                                                                                     "-c:v",           "copy",
                                                                                     "-disposition:v", "attached_pic",
                                                                                     "-id3v2_version", "3",
                                                                                     "-metadata",      "title=Tone Title",
                                                                                     "-metadata",      "artist=Tone Artist",
                                                                                     "-metadata",      "album=Tone Album",
                                                                                     "-metadata",      "date=2024",
                                                                                     "-metadata",      "comment=A comment"});
}

QString m4aWithCover()
{
    return make(QStringLiteral("tagged.m4a"),
                tone(3, 440, 44100) + QStringList{QStringLiteral("-i"), cover()} +
                    std::initializer_list<const char*>{"-map", "0", "-map", "1", "-c:a", "aac", "-b:a", "96k", "-c:v", "copy",
                                                       "-disposition:v", "attached_pic", "-metadata", "title=M4A Title", "-metadata",
                                                       "artist=M4A Artist", "-metadata", "album=M4A Album"});
}

QString wav() { return make(QStringLiteral("tone.wav"), tone(1, 440) + std::initializer_list<const char*>{"-c:a", "pcm_s16le"}); }

QString flac()
{
    return make(QStringLiteral("tone.flac"),
                tone(2, 440, 44100) +
                    std::initializer_list<const char*>{"-c:a", "flac", "-metadata", "title=FLAC Title", "-metadata", "artist=FLAC Artist"});
}

QString realFile(const char* name)
{
    const QByteArray folder = qgetenv("CLIPWELL_TEST_MEDIA");
    const QString path = (folder.isEmpty() ? QStringLiteral("/var/cache/clipwell/test-media") : QString::fromLocal8Bit(folder)) +
                         QLatin1Char('/') + QString::fromUtf8(name);
    EXPECT_TRUE(QFileInfo(path).isFile()) << path.toStdString() << " is missing: run scripts/setup.sh";
    return path;
}

QString aiff() { return make(QStringLiteral("tone.aiff"), tone(2, 440, 44100) + std::initializer_list<const char*>{"-c:a", "pcm_s16be"}); }

QString oggOpus()
{
    return make(QStringLiteral("tone.opus"),
                tone(3, 440) + std::initializer_list<const char*>{"-c:a", "libopus", "-b:a", "64k", "-metadata", "title=Opus Title"});
}

QString oggVorbis()
{
    return make(QStringLiteral("tone.ogg"),
                tone(3, 440, 44100) + std::initializer_list<const char*>{"-c:a", "libvorbis", "-metadata", "title=Vorbis Title"});
}

QString webmVp8Vorbis()
{
    return make(QStringLiteral("vp8.webm"),
                pattern(6) + tone(6, 440) +
                    std::initializer_list<const char*>{"-c:v", "libvpx", "-deadline", "realtime", "-cpu-used", "8", "-b:v", "1M", "-g",
                                                       "25", "-auto-alt-ref", "0", "-c:a", "libvorbis", "-metadata", "title=WebM Title"});
}

QString aviWithPcm()
{
    return make(QStringLiteral("pcm.avi"),
                pattern(6) + tone(6, 440) +
                    std::initializer_list<const char*>{"-c:v", "mpeg4", "-q:v", "2", "-g", "25", "-bf", "2", "-c:a", "pcm_s16le"});
}

QString aviCinepak()
{
    return make(QStringLiteral("cinepak.avi"), pattern(3) + std::initializer_list<const char*>{"-c:v", "cinepak", "-g", "25"});
}

QString matroskaWithSubtitlesAndFont()
{
    const QString subtitles = folder() + QStringLiteral("/cues.srt");
    const QString font = folder() + QStringLiteral("/Caption.ttf");
    QFile srt(subtitles), ttf(font);
    if (!srt.exists() && srt.open(QIODevice::WriteOnly))
        srt.write("1\n00:00:00,500 --> 00:00:01,500\nFirst\n\n2\n00:00:02,000 --> 00:00:04,500\nSecond\n\n"
                  "3\n00:00:05,000 --> 00:00:05,800\nThird\n");
    if (!ttf.exists() && ttf.open(QIODevice::WriteOnly))
        ttf.write(QByteArray(4096, 'F'));
    srt.close();
    ttf.close();
    return make(QStringLiteral("subtitled.mkv"), pattern(6) + tone(6, 440) +
                                                     QStringList{QStringLiteral("-i"), subtitles, QStringLiteral("-attach"), font} +
                                                     std::initializer_list<const char*>{"-map",
                                                                                        "0",
                                                                                        "-map",
                                                                                        "1",
                                                                                        "-map",
                                                                                        "2",
                                                                                        "-c:v",
                                                                                        "libvpx",
                                                                                        "-deadline",
                                                                                        "realtime",
                                                                                        "-cpu-used",
                                                                                        "8",
                                                                                        "-b:v",
                                                                                        "1M",
                                                                                        "-g",
                                                                                        "25",
                                                                                        "-auto-alt-ref",
                                                                                        "0",
                                                                                        "-c:a",
                                                                                        "libvorbis",
                                                                                        "-c:s",
                                                                                        "srt",
                                                                                        "-metadata:s:t",
                                                                                        "mimetype=application/x-truetype-font",
                                                                                        "-metadata",
                                                                                        "title=Subtitled"});
}

QString twoAudioAndSubtitle()
{
    const QString srt = folder() + QStringLiteral("/subs.srt");
    if (!QFileInfo::exists(srt)) {
        QFile file(srt);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("1\n00:00:00,500 --> 00:00:01,500\nHello\n\n2\n00:00:02,000 --> 00:00:03,000\nWorld\n\n");
    }
    return make(QStringLiteral("multi.mp4"), pattern(4) + tone(4, 440) + tone(4, 880) + QStringList{QStringLiteral("-i"), srt} +
                                                 std::initializer_list<const char*>{"-map",
                                                                                    "0:v",
                                                                                    "-map",
                                                                                    "1:a",
                                                                                    "-map",
                                                                                    "2:a",
                                                                                    "-map",
                                                                                    "3:s",
                                                                                    "-c:v",
                                                                                    "libx264",
                                                                                    "-preset",
                                                                                    "veryfast",
                                                                                    "-c:a",
                                                                                    "aac",
                                                                                    "-c:s",
                                                                                    "mov_text",
                                                                                    "-metadata:s:a:0",
                                                                                    "language=eng",
                                                                                    "-metadata:s:a:1",
                                                                                    "language=deu"});
}

namespace {
// 25 frames of 1/25 s, then frames of 2/25 s.
const char* kVariableRate = "setpts='if(lt(N,25),N*0.04,1+(N-25)*0.08)/TB'";
} // namespace

QString variableFrameRate()
{
    return make(QStringLiteral("vfr.mkv"), pattern(3) + std::initializer_list<const char*>{"-vf", kVariableRate, "-vsync", "vfr", "-c:v",
                                                                                           "libx264", "-preset", "veryfast", "-bf", "0"});
}

QString variableFrameRateMp4()
{
    return make(QStringLiteral("vfr.mp4"), pattern(3) + std::initializer_list<const char*>{"-vf", kVariableRate, "-vsync", "vfr", "-c:v",
                                                                                           "libx264", "-preset", "veryfast", "-bf", "2"});
}

QString fps25()
{
    return make(QStringLiteral("fps25.mp4"),
                pattern(4) + std::initializer_list<const char*>{"-c:v", "libx264", "-preset", "veryfast", "-bf", "0"});
}

QString longGop25()
{
    return make(QStringLiteral("long-gop.mp4"),
                pattern(12) + tone(12, 440) +
                    std::initializer_list<const char*>{"-c:v", "libx264", "-preset", "veryfast", "-crf", "12", "-bf", "3", "-g", "100",
                                                       "-sc_threshold", "0", "-c:a", "aac", "-b:a", "96k"});
}

QString texturedLongGop()
{
    // The numbers in a band through the middle; above and below it, moving waves and grain that an
    // encoder cannot copy for free.
    return make(
        QStringLiteral("textured.mp4"),
        QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                    QStringLiteral(
                        "color=black:s=320x240:r=25:d=10,format=yuv420p,"
                        "geq=lum='if(between(Y,H/3,2*H/3),if(lt(X,W/2),16+14*mod(N,16),16+14*mod(floor(N/16),16)),"
                        "128+60*sin(X/5+N/7)*cos(Y/3-N/11)+20*sin(X*Y/97)+12*(random(1)-0.5))'"
                        ":cb='if(between(Y,H/3,2*H/3),128,128+30*sin(X/9-N/13))':cr='if(between(Y,H/3,2*H/3),128,128+30*cos(Y/7+N/17))'")} +
            tone(10, 440) +
            std::initializer_list<const char*>{"-c:v", "libx264", "-preset", "veryfast", "-crf", "16", "-bf", "3", "-g", "100",
                                               "-sc_threshold", "0", "-c:a", "aac", "-b:a", "96k"});
}

QString openGop2997()
{
    return make(QStringLiteral("open-gop.mp4"),
                pattern(6, QStringLiteral("30000/1001")) + tone(6, 440) +
                    std::initializer_list<const char*>{"-c:v", "libx264", "-preset", "veryfast", "-crf", "12", "-bf", "3", "-g", "60",
                                                       "-sc_threshold", "0", "-x264-params", "open-gop=1", "-c:a", "aac", "-b:a", "96k"});
}

QString hevc10Bit()
{
    return make(QStringLiteral("hevc10.mp4"),
                pattern(8) + tone(8, 440) +
                    std::initializer_list<const char*>{"-c:v", "libx265", "-pix_fmt", "yuv420p10le", "-preset", "ultrafast", "-x265-params",
                                                       "log-level=error:keyint=50", "-c:a", "aac", "-b:a", "96k"});
}

QString matroskaBFrames()
{
    return make(QStringLiteral("bframes.mkv"),
                pattern(8) + tone(8, 440, 44100) +
                    std::initializer_list<const char*>{"-c:v", "libx264", "-preset", "veryfast", "-crf", "12", "-bf", "3", "-g", "50",
                                                       "-sc_threshold", "0", "-c:a", "aac", "-b:a", "96k"});
}

QString transportStreamBFrames()
{
    return make(QStringLiteral("bframes.ts"),
                pattern(8) + tone(8, 440, 44100) +
                    std::initializer_list<const char*>{"-c:v", "libx264", "-preset", "veryfast", "-crf", "12", "-bf", "3", "-g", "50",
                                                       "-sc_threshold", "0", "-c:a", "aac", "-b:a", "96k"});
}

QString mpeg4BFramesAvi()
{
    return make(QStringLiteral("bframes.avi"), pattern(8) + tone(8, 440, 44100) +
                                                   std::initializer_list<const char*>{"-c:v", "mpeg4", "-q:v", "2", "-bf", "2", "-g", "50",
                                                                                      "-sc_threshold", "1000000000", "-c:a", "libmp3lame"});
}

QString fps2997()
{
    return make(QStringLiteral("fps2997.mp4"),
                pattern(4, QStringLiteral("30000/1001")) + std::initializer_list<const char*>{"-c:v", "libx264", "-preset", "veryfast"});
}

QString silence(int seconds)
{
    return make(QStringLiteral("silence-%1.wav").arg(seconds),
                {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("anullsrc=r=8000:cl=mono"),
                 QStringLiteral("-t"), QString::number(seconds), QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")});
}

} // namespace TestMedia
