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
#include <cstring>
#include <map>
#include <tuple>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace TestMedia {

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

std::string streamLayout(const QString& path)
{
    QStringList streams;
    for (const QJsonValue& value : probe(path).value(QStringLiteral("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        QString text = stream.value(QStringLiteral("codec_type")).toString();
        const QString language = stream.value(QStringLiteral("tags")).toObject().value(QStringLiteral("language")).toString();
        if (!language.isEmpty() && language != QLatin1String("und"))
            text += QLatin1Char(' ') + language;
        if (stream.value(QStringLiteral("disposition")).toObject().value(QStringLiteral("default")).toInt())
            text += QStringLiteral(" default");
        streams << text;
    }
    return streams.join(QStringLiteral(", ")).toStdString();
}

std::vector<float> monoAudio(const QString& path, int index)
{
    QByteArray bytes, messages;
    run(QStringLiteral("ffmpeg"),
        {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path, QStringLiteral("-map"),
         QStringLiteral("0:a:%1").arg(index), QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-ar"), QStringLiteral("48000"),
         QStringLiteral("-f"), QStringLiteral("f32le"), QStringLiteral("-")},
        &bytes, 120000, &messages);
    std::vector<float> samples(size_t(bytes.size()) / sizeof(float));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
    return samples;
}

double toneStrength(const std::vector<float>& signal, double frequency, int rate)
{
    if (signal.empty())
        return 0;
    const double k = 2 * std::cos(2 * M_PI * frequency / rate);
    double s1 = 0, s2 = 0;
    for (float x : signal) {
        const double s0 = x + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - k * s1 * s2) / double(signal.size());
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
