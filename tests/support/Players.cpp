#include "Players.h"

#include "TestMedia.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Players {

namespace {

QJsonObject firstStream(const QJsonObject& probe, const char* type)
{
    for (const QJsonValue& stream : probe.value(QStringLiteral("streams")).toArray())
        if (stream.toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String(type))
            return stream.toObject();
    return {};
}

double number(const QJsonObject& object, const char* key) { return object.value(QLatin1String(key)).toString().toDouble(); }

QStringList lines(const QByteArray& text)
{
    QStringList result;
    for (const QByteArray& line : text.split('\n'))
        if (!line.trimmed().isEmpty())
            result << QString::fromUtf8(line.trimmed());
    return result;
}

QString scratch(const QString& name)
{
    static int counter = 0;
    return TestMedia::folder() + QStringLiteral("/player-%1-%2").arg(++counter).arg(name);
}

} // namespace

std::vector<double> beepOnsets(const QByteArray& samples, int rate, double start)
{
    const auto* values = reinterpret_cast<const int16_t*>(samples.constData());
    const qsizetype count = samples.size() / 2;
    std::vector<double> times;
    const qsizetype quiet = rate / 10; // a beep begins loud after at least 100 ms of quiet
    qsizetype quietSince = -quiet;
    for (qsizetype i = 0; i < count; ++i) {
        if (std::abs(int(values[i])) < 2000)
            continue;
        if (i - quietSince >= quiet)
            times.push_back(start + double(i) / rate);
        quietSince = i;
    }
    return times;
}

std::vector<int> numbers(const View& view)
{
    std::vector<int> result;
    for (const Picture& picture : view.pictures)
        result.push_back(picture.number);
    return result;
}

View ffmpeg(const QString& path)
{
    View view;
    const QJsonObject probe = TestMedia::probe(path);
    // Playback begins with the earliest stream; a start before zero is a codec's priming (Opus, AAC in
    // Matroska), which the decoders leave out.
    const double zero = std::max(0.0, number(probe.value(QStringLiteral("format")).toObject(), "start_time"));
    QByteArray errors;
    const QStringList head{QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path};
    if (TestMedia::run(QStringLiteral("ffmpeg"),
                       head + QStringList{QStringLiteral("-map"), QStringLiteral("0:v?"), QStringLiteral("-map"), QStringLiteral("0:a?"),
                                          QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
                       nullptr, 120000, &errors) != 0)
        return view;
    view.played = true;
    view.messages = lines(errors);
    if (const QJsonObject video = firstStream(probe, "video"); !video.isEmpty()) {
        QByteArray bytes, ignored;
        TestMedia::run(QStringLiteral("ffmpeg"),
                       head + QStringList{QStringLiteral("-map"), QStringLiteral("0:v:0"), QStringLiteral("-fps_mode"),
                                          QStringLiteral("passthrough"), QStringLiteral("-f"), QStringLiteral("rawvideo"),
                                          QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-")},
                       &bytes, 120000, &ignored);
        const std::vector<int> numbers =
            TestMedia::frameNumbers(bytes, video.value(QStringLiteral("width")).toInt(), video.value(QStringLiteral("height")).toInt());
        const std::vector<double> times = TestMedia::probeFrameTimes(path);
        for (size_t i = 0; i < numbers.size(); ++i)
            view.pictures.push_back(Picture{numbers[i], i < times.size() ? times[i] - zero : -1});
    }
    if (const QJsonObject audio = firstStream(probe, "audio"); !audio.isEmpty()) {
        QByteArray bytes, ignored;
        view.audioRate = audio.value(QStringLiteral("sample_rate")).toString().toInt();
        TestMedia::run(QStringLiteral("ffmpeg"),
                       head + QStringList{QStringLiteral("-map"), QStringLiteral("0:a:0"), QStringLiteral("-ac"), QStringLiteral("1"),
                                          QStringLiteral("-f"), QStringLiteral("s16le"), QStringLiteral("-")},
                       &bytes, 120000, &ignored);
        view.audioSamples = bytes.size() / 2;
        view.beeps = beepOnsets(bytes, view.audioRate, number(audio, "start_time") - zero);
    }
    return view;
}

View gstreamer(const QString& path)
{
    View view;
    const QString audio = scratch(QStringLiteral("gst.s16"));
    QFile::remove(audio);
    qputenv("CLIPWELL_GST_AUDIO", QFile::encodeName(audio));
    QByteArray out, errors;
    const int status = TestMedia::run(QStringLiteral(CLIPWELL_GST_JUDGE), {path}, &out, 120000, &errors);
    qunsetenv("CLIPWELL_GST_AUDIO");
    view.played = status == 0;
    double audioStart = 0;
    for (const QByteArray& line : out.split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.contains(QStringLiteral("frame")))
            view.pictures.push_back(
                Picture{object.value(QStringLiteral("frame")).toInt(), object.value(QStringLiteral("time")).toDouble()});
        else if (object.contains(QStringLiteral("message")))
            view.messages << object.value(QStringLiteral("message")).toString();
        else if (object.contains(QStringLiteral("audio"))) {
            view.audioSamples = int64_t(object.value(QStringLiteral("audio")).toDouble());
            view.audioRate = object.value(QStringLiteral("rate")).toInt();
            audioStart = object.value(QStringLiteral("start")).toDouble();
        }
    }
    if (status != 0)
        view.messages << QString::fromUtf8(errors.right(500));
    QFile samples(audio);
    if (view.audioRate > 0 && samples.open(QIODevice::ReadOnly))
        view.beeps = beepOnsets(samples.readAll(), view.audioRate, audioStart);
    return view;
}

View mpv(const QString& path)
{
    const QString out = scratch(QStringLiteral("mpv.nut"));
    QByteArray printed, errors;
    int status = 0;
    // mpv warns of an audio/video desynchronisation from its own clock also while encoding, when the
    // machine is busy (an AV1 file beside another test program on two cores did twice in a row): more
    // runs tell a busy machine from a file whose streams drift apart, which warns every time.
    for (int attempt = 0; attempt < 4; ++attempt) {
        printed.clear();
        errors.clear();
        status = TestMedia::run(QStringLiteral("mpv"),
                                {QStringLiteral("--no-config"), QStringLiteral("--msg-level=all=warn"), QStringLiteral("--o=") + out,
                                 QStringLiteral("--of=nut"), QStringLiteral("--ovc=rawvideo"), QStringLiteral("--oac=pcm_s16le"),
                                 QStringLiteral("--vf=format=yuv420p"), QStringLiteral("--sid=no"), path},
                                &printed, 120000, &errors);
        if (!(printed + errors).contains("Audio/Video desynchronisation detected"))
            break;
    }
    if (status != 0 || !QFile::exists(out)) {
        View failed;
        failed.messages << QString::fromUtf8(errors.right(500));
        return failed;
    }
    View view = ffmpeg(out);
    view.messages = lines(printed + errors);
    // mpv writes its audio in blocks of 16,384 samples, the last one padded with silence: the audio
    // it played ends with its last sound.
    if (view.audioSamples > 0) {
        QByteArray bytes, ignored;
        TestMedia::run(QStringLiteral("ffmpeg"),
                       {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), out, QStringLiteral("-map"),
                        QStringLiteral("0:a:0"), QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-f"), QStringLiteral("s16le"),
                        QStringLiteral("-")},
                       &bytes, 120000, &ignored);
        const auto* samples = reinterpret_cast<const int16_t*>(bytes.constData());
        int64_t count = bytes.size() / 2;
        while (count > 0 && samples[count - 1] == 0)
            --count;
        view.audioSamples = count;
    }
    return view;
}

int ffmpegAfterSeek(const QString& path, double time)
{
    const QJsonObject video = firstStream(TestMedia::probe(path), "video");
    QByteArray bytes, ignored;
    TestMedia::run(QStringLiteral("ffmpeg"),
                   {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-ss"),
                    QString::number(time, 'f', 6), QStringLiteral("-i"), path, QStringLiteral("-map"), QStringLiteral("0:v:0"),
                    QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-f"), QStringLiteral("rawvideo"),
                    QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-")},
                   &bytes, 120000, &ignored);
    const std::vector<int> numbers =
        TestMedia::frameNumbers(bytes, video.value(QStringLiteral("width")).toInt(), video.value(QStringLiteral("height")).toInt());
    return numbers.empty() ? -1 : numbers.front();
}

namespace {

// The page: each file in turn is loaded, its duration reported, then every time asked is sought and
// the picture read back from a canvas.
QString chromiumPage(const std::vector<std::pair<QString, std::vector<double>>>& files)
{
    QJsonArray list;
    for (const auto& [path, times] : files) {
        QJsonArray seconds;
        for (const double t : times)
            seconds.append(t);
        list.append(QJsonObject{{QStringLiteral("url"), QStringLiteral("file://") + path}, {QStringLiteral("times"), seconds}});
    }
    return QStringLiteral(R"(<html><body><canvas id="c"></canvas><script>
const files = %1;
function readNumber(video) {
  const canvas = document.getElementById('c');
  canvas.width = video.videoWidth; canvas.height = video.videoHeight;
  const g = canvas.getContext('2d', {willReadFrequently: true});
  g.drawImage(video, 0, 0);
  const y = Math.floor(canvas.height / 2);
  const level = (x) => Math.round((g.getImageData(Math.floor(x), y, 1, 1).data[0] * 219 / 255) / 14);
  const low = level(canvas.width / 4), high = level(canvas.width * 3 / 4);
  return low < 0 || low > 15 || high < 0 || high > 15 ? -1 : low + 16 * high;
}
function once(target, name) { return new Promise((resolve) => target.addEventListener(name, resolve, {once: true})); }
async function judge(file) {
  const video = document.createElement('video');
  video.muted = true; video.preload = 'auto';
  const loaded = Promise.race([once(video, 'loadeddata').then(() => null),
                               once(video, 'error').then(() => 'error ' + (video.error ? video.error.code + ' ' + video.error.message : ''))]);
  video.src = file.url;
  const error = await loaded;
  if (error) return {error: error, duration: -1, numbers: []};
  const numbers = [];
  for (const t of file.times) {
    // The picture is read once it is presented after the seek (or after a moment, where no new
    // picture comes because the seek stayed on the one shown).
    const presented = new Promise((resolve) => {
      video.requestVideoFrameCallback(() => resolve());
      setTimeout(resolve, 300);
    });
    const sought = once(video, 'seeked');
    video.currentTime = t;
    await sought;
    await presented;
    numbers.push(readNumber(video));
  }
  return {duration: video.duration, numbers: numbers};
}
(async () => {
  for (const file of files) console.log('CWRESULT ' + JSON.stringify(await judge(file)));
  console.log('CWDONE');
})();
</script></body></html>)")
        .arg(QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact)));
}

// Runs the browser until the page says it is done (or a minute passes) and returns what it logged.
QByteArray runChromium(const QString& page, const QString& profile)
{
    const QStringList arguments{QStringLiteral("--headless"),
                                QStringLiteral("--no-sandbox"),
                                QStringLiteral("--disable-gpu"),
                                QStringLiteral("--disable-quic"),
                                QStringLiteral("--no-first-run"),
                                QStringLiteral("--disable-background-networking"),
                                QStringLiteral("--disable-component-update"),
                                QStringLiteral("--disable-sync"),
                                QStringLiteral("--allow-file-access-from-files"),
                                QStringLiteral("--autoplay-policy=no-user-gesture-required"),
                                QStringLiteral("--enable-logging=stderr"),
                                QStringLiteral("--v=0"),
                                QStringLiteral("--user-data-dir=") + profile,
                                QStringLiteral("file://") + page};
    std::vector<QByteArray> argv{QByteArrayLiteral("chromium")};
    for (const QString& argument : arguments)
        argv.push_back(argument.toLocal8Bit());
    std::vector<char*> pointers;
    for (QByteArray& a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    int err[2];
    if (pipe2(err, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        dup2(err[1], STDERR_FILENO);
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, STDIN_FILENO);
        dup2(devnull, STDOUT_FILENO);
        execvp(pointers[0], pointers.data());
        _exit(127);
    }
    close(err[1]);
    QByteArray log;
    QDeadlineTimer deadline(60000);
    while (pid > 0 && !log.contains("CWDONE") && !deadline.hasExpired()) {
        pollfd fd{err[0], POLLIN, 0};
        if (poll(&fd, 1, 200) <= 0)
            continue;
        char buffer[65536];
        const ssize_t got = read(err[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        log.append(buffer, got);
    }
    close(err[0]);
    if (pid > 0) {
        kill(-pid, SIGKILL); // the browser and every process it started
        waitpid(pid, nullptr, 0);
    }
    return log;
}

} // namespace

std::vector<Seeks> chromium(const std::vector<std::pair<QString, std::vector<double>>>& files)
{
    const QString page = scratch(QStringLiteral("page.html"));
    QFile html(page);
    EXPECT_TRUE(html.open(QIODevice::WriteOnly));
    html.write(chromiumPage(files).toUtf8());
    html.close();
    QTemporaryDir profile(TestMedia::folder() + QStringLiteral("/chromium-XXXXXX"));
    const QByteArray log = runChromium(page, profile.path());
    std::vector<Seeks> results;
    for (const QByteArray& line : log.split('\n')) {
        const qsizetype at = line.indexOf("CWRESULT ");
        if (at < 0)
            continue;
        QByteArray json = line.mid(at + 9);
        json = json.left(json.lastIndexOf('}') + 1);
        const QJsonObject object = QJsonDocument::fromJson(json).object();
        Seeks seeks;
        seeks.duration = object.value(QStringLiteral("duration")).toDouble(-1);
        seeks.error = object.value(QStringLiteral("error")).toString();
        for (const QJsonValue& n : object.value(QStringLiteral("numbers")).toArray())
            seeks.numbers.push_back(n.toInt());
        results.push_back(seeks);
    }
    EXPECT_EQ(results.size(), files.size()) << "Chromium did not judge every file: " << log.right(3000).toStdString();
    return results;
}

} // namespace Players
