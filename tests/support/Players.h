// What the players people use show of a file, each one asked the way it plays: FFmpeg (ffmpeg and
// ffprobe, as ffplay and Chromium read files), GStreamer as the system installs it (playbin, through
// clipwell_gst_judge), mpv (its encoding mode keeps its own timeline) and Chromium (a headless page
// whose <video> seeks to the times asked and reads the pixels). Pictures are the test media's
// numbered frames; beeps are the 20 ms tones of the beeping fixtures. Main thread only.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>
#include <vector>

namespace Players {

struct Picture {
    int number = -1; // the number the picture shows (modulo 256), −1 where none can be read
    double time = 0; // when it is shown, seconds from the start of playback
};

struct View {
    bool played = false;
    std::vector<Picture> pictures;
    int64_t audioSamples = 0; // of the first audio track, mono, at audioRate
    int audioRate = 0;
    std::vector<double> beeps; // when beeps begin, seconds from the start of playback
    QStringList messages;      // what the player said of the file (decoder errors and warnings)
};

View ffmpeg(const QString& path);
View gstreamer(const QString& path);
View mpv(const QString& path);

// The picture ffmpeg shows first after seeking to a time (-ss before -i), −1 when none.
int ffmpegAfterSeek(const QString& path, double time);

// Chromium: for each file, its reported duration and the picture shown after seeking to each time
// (an empty list and the error text when it cannot play the file). One browser for all files.
struct Seeks {
    double duration = -1;
    std::vector<int> numbers;
    QString error;
};
std::vector<Seeks> chromium(const std::vector<std::pair<QString, std::vector<double>>>& files);

// Where beeps begin in 16-bit mono samples whose first one is at `start` seconds.
std::vector<double> beepOnsets(const QByteArray& samples, int rate, double start);

// The numbers shown, for comparing with expected frame lists.
std::vector<int> numbers(const View& view);

} // namespace Players
