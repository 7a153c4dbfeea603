#include "TestMedia.h"

#include "Composition.h"
#include "MediaAsset.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

QString folder()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/clipwell-test-XXXXXX"));
    return dir.path();
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
}

int run(const QString& program, const QStringList& arguments, QByteArray* output, int timeoutMs, QByteArray* errors)
{
    // fork and exec rather than QProcess: QProcess starts children with vfork semantics, and until
    // exec such a child runs in this process's memory, which ThreadSanitizer cannot follow.
    std::vector<QByteArray> argv{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        argv.push_back(argument.toLocal8Bit());
    std::vector<char*> pointers;
    for (QByteArray& a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        const int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, STDIN_FILENO);
        execvp(pointers[0], pointers.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    QByteArray stdoutBytes, stderrBytes;
    QDeadlineTimer deadline(timeoutMs);
    bool timedOut = false;
    for (int openPipes = 2; openPipes > 0 && pid > 0;) {
        pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        const int ready = poll(fds, 2, int(std::max<qint64>(deadline.remainingTime(), 0)));
        if (ready == 0) {
            timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        if (ready < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP)) || fds[i].fd < 0)
                continue;
            char buffer[65536];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                (i == 0 ? stdoutBytes : stderrBytes).append(buffer, got);
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                (i == 0 ? out[0] : err[0]) = -1;
                --openPipes;
            }
        }
    }
    for (int fd : {out[0], err[0]})
        if (fd >= 0)
            close(fd);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || timedOut || !WIFEXITED(status))
        return -1;
    if (output)
        *output = stdoutBytes;
    if (errors)
        *errors = stderrBytes;
    else if (WEXITSTATUS(status) != 0)
        ADD_FAILURE() << program.toStdString() << " failed: " << stderrBytes.right(2000).toStdString();
    return WEXITSTATUS(status);
}

QString make(const QString& name, const QStringList& ffmpegArguments)
{
    const QString path = folder() + QLatin1Char('/') + name;
    if (QFileInfo::exists(path))
        return path;
    QStringList args{QStringLiteral("-nostdin"), QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                     QStringLiteral("-y")};
    args << ffmpegArguments << path;
    EXPECT_EQ(run(QStringLiteral("ffmpeg"), args), 0) << "making " << name.toStdString();
    return path;
}

QJsonObject probe(const QString& path, bool countFrames)
{
    QStringList args{QStringLiteral("-v"),   QStringLiteral("error"),        QStringLiteral("-of"),
                     QStringLiteral("json"), QStringLiteral("-show_format"), QStringLiteral("-show_streams")};
    if (countFrames)
        args << QStringLiteral("-count_frames");
    QByteArray output;
    run(QStringLiteral("ffprobe"), args << path, &output);
    return QJsonDocument::fromJson(output).object();
}

std::shared_ptr<MediaAsset> openAsset(const QString& path)
{
    Error error;
    auto asset = MediaAsset::open(path, &error);
    EXPECT_TRUE(asset) << path.toStdString() << ": " << error.message.toStdString();
    return asset;
}

Composition keptComposition(const MediaAsset& asset, std::initializer_list<std::pair<double, double>> kept)
{
    std::vector<CMTimeRange> ranges;
    for (const auto& [start, end] : kept)
        ranges.push_back(CMTimeRangeFromTimeToTime(CMTimeMakeWithSeconds(start, 1000), CMTimeMakeWithSeconds(end, 1000)));
    if (ranges.empty())
        ranges.push_back(CMTimeRangeMake(kCMTimeZero, asset.duration()));
    Composition composition;
    for (const MediaTrack& track : asset.tracks()) {
        CompositionTrack& added = composition.addMutableTrack(track.mediaType, track.trackID);
        CMTime at = kCMTimeZero;
        for (const CMTimeRange& range : ranges) {
            Error error;
            EXPECT_TRUE(added.insertTimeRange(range, track, at, &error)) << error.message.toStdString();
            at = CMTimeAdd(at, range.duration);
        }
    }
    return composition;
}

Decoded decode(const QString& path)
{
    Decoded decoded;
    const QJsonArray streams = probe(path).value(QStringLiteral("streams")).toArray();
    const auto first = [&](const char* type) {
        for (const QJsonValue& stream : streams)
            if (stream.toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String(type))
                return stream.toObject();
        return QJsonObject();
    };
    // Decoding errors from a plain decode of every stream; the extractions below write raw pictures
    // and samples, whose timestamps (not the decoding) the raw muxers may complain about.
    const QStringList head{QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path};
    if (run(QStringLiteral("ffmpeg"),
            head + QStringList{QStringLiteral("-map"), QStringLiteral("0:v?"), QStringLiteral("-map"), QStringLiteral("0:a?"),
                               QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
            nullptr, 120000, &decoded.messages) != 0)
        decoded.messages += "ffmpeg failed\n";
    // FFmpeg 5.1 times the frames of an edit that starts between keyframes of a B-frame stream by their
    // decode times, so at such a join its frame times (not the frames) may step back by the B-frame
    // delay, and its muxer says so. That is the player's timing, not a decoding error.
    QByteArrayList lines = decoded.messages.split('\n');
    lines.removeIf([](const QByteArray& line) { return line.contains("non monotonically increasing dts to muxer"); });
    decoded.messages = lines.join('\n').trimmed();
    const auto ffmpeg = [&](const QStringList& output, QByteArray* bytes) {
        QByteArray ignored;
        const QStringList quiet{QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("fatal"), QStringLiteral("-i"), path};
        if (run(QStringLiteral("ffmpeg"), quiet + output + QStringList{QStringLiteral("-")}, bytes, 120000, &ignored) != 0)
            decoded.messages += "ffmpeg failed\n";
    };
    if (const QJsonObject video = first("video"); !video.isEmpty()) {
        // Raw 4:2:0 pictures as decoded; the number is in the luma of the left and right halves.
        const int width = video.value(QStringLiteral("width")).toInt(), height = video.value(QStringLiteral("height")).toInt();
        QByteArray bytes;
        ffmpeg({QStringLiteral("-map"), QStringLiteral("0:v:0"), QStringLiteral("-fps_mode"), QStringLiteral("passthrough"),
                QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")},
               &bytes);
        decoded.frameNumbers = frameNumbers(bytes, width, height);
    }
    if (!first("audio").isEmpty()) {
        QByteArray bytes;
        ffmpeg({QStringLiteral("-map"), QStringLiteral("0:a:0"), QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-f"),
                QStringLiteral("s16le")},
               &bytes);
        decoded.audioSamples = bytes.size() / 2;
    }
    return decoded;
}

std::vector<double> probeFrameTimes(const QString& path)
{
    QByteArray output;
    run(QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"), QStringLiteral("v:0"),
         QStringLiteral("-show_entries"), QStringLiteral("frame=best_effort_timestamp_time"), QStringLiteral("-of"), QStringLiteral("json"),
         path},
        &output);
    std::vector<double> times;
    for (const QJsonValue& frame : QJsonDocument::fromJson(output).object().value(QStringLiteral("frames")).toArray())
        times.push_back(frame.toObject().value(QStringLiteral("best_effort_timestamp_time")).toString().toDouble());
    return times;
}

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

std::vector<double> beepTimes(const QString& path)
{
    const QJsonArray streams = probe(path).value(QStringLiteral("streams")).toArray();
    double start = 0;
    for (const QJsonValue& stream : streams)
        if (stream.toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String("audio")) {
            start = stream.toObject().value(QStringLiteral("start_time")).toString().toDouble();
            break;
        }
    QByteArray bytes, ignored;
    run(QStringLiteral("ffmpeg"),
        {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path, QStringLiteral("-map"),
         QStringLiteral("0:a:0"), QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-ar"), QStringLiteral("48000"),
         QStringLiteral("-f"), QStringLiteral("s16le"), QStringLiteral("-")},
        &bytes, 120000, &ignored);
    const auto* samples = reinterpret_cast<const int16_t*>(bytes.constData());
    const qsizetype count = bytes.size() / 2;
    std::vector<double> times;
    qsizetype quietSince = -4800; // a beep starts loud after at least 100 ms of quiet
    for (qsizetype i = 0; i < count; ++i) {
        if (std::abs(int(samples[i])) < 2000)
            continue;
        if (i - quietSince >= 4800)
            times.push_back(start + double(i) / 48000.0);
        quietSince = i;
    }
    return times;
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

bool gstreamerDecodes(const QString& path, QByteArray* messages)
{
    // gst-launch itself now and then stalls at the end of a stream on a busy machine (about once in a
    // few hundred runs, with files ffmpeg made as well as ours): a stall is tried again, an error is not.
    int status = -1;
    for (int attempt = 0; attempt < 3 && status == -1; ++attempt) {
        QByteArray out;
        status = run(QStringLiteral("gst-launch-1.0"),
                     {QStringLiteral("-q"), QStringLiteral("playbin"), QStringLiteral("uri=file://") + path,
                      QStringLiteral("video-sink=fakesink"), QStringLiteral("audio-sink=fakesink"), QStringLiteral("text-sink=fakesink")},
                     &out, 30000, messages);
    }
    return status == 0;
}

double gstreamerDuration(const QString& path)
{
    QByteArray out, errors;
    run(QStringLiteral("gst-discoverer-1.0"), {path}, &out, 120000, &errors);
    const qsizetype at = out.indexOf("Duration: ");
    if (at < 0)
        return -1;
    const QList<QByteArray> parts = out.mid(at + 10, 20).split(':'); // h:mm:ss.nnnnnnnnn
    return parts.size() < 3 ? -1 : parts[0].toDouble() * 3600 + parts[1].toDouble() * 60 + parts[2].left(12).toDouble();
}

QString fps2997()
{
    return make(QStringLiteral("fps2997.mp4"),
                pattern(4, QStringLiteral("30000/1001")) + std::initializer_list<const char*>{"-c:v", "libx264", "-preset", "veryfast"});
}

std::vector<int> frameNumbers(const QByteArray& pictures, int width, int height)
{
    std::vector<int> numbers;
    const qsizetype frameSize = qsizetype(width) * height * 3 / 2;
    for (qsizetype at = 0; frameSize > 0 && at + frameSize <= pictures.size(); at += frameSize) {
        const auto level = [&](int x) {
            const int luma = uchar(pictures[at + qsizetype(height / 2) * width + x]);
            return int(std::lround((luma - 16) / 14.0));
        };
        const int low = level(width / 4), high = level(width * 3 / 4);
        numbers.push_back(low < 0 || low > 15 || high < 0 || high > 15 ? -1 : low + 16 * high);
    }
    return numbers;
}

int frameNumberInImage(const QImage& image)
{
    auto level = [&](int x) {
        const QRgb px = image.pixel(x, image.height() / 2);
        const double grey = (qRed(px) + qGreen(px) + qBlue(px)) / 3.0;
        return int(std::lround(grey * 219.0 / 255.0 / 14.0));
    };
    if (image.isNull())
        return -1;
    return level(image.width() / 4) + 16 * level(image.width() * 3 / 4);
}

} // namespace TestMedia

bool runEventLoopUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return condition();
}

void runQueuedCalls()
{
    for (int round = 0; round < 3; ++round) {
        bool reached = false;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&reached] { reached = true; }, Qt::QueuedConnection);
        while (!reached)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

namespace TestMedia {
QString silence(int seconds)
{
    return make(QStringLiteral("silence-%1.wav").arg(seconds),
                {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("anullsrc=r=8000:cl=mono"),
                 QStringLiteral("-t"), QString::number(seconds), QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")});
}
} // namespace TestMedia
