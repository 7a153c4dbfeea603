// Test media and outside judges: files made with the ffmpeg command into one temporary folder per test
// program (each fixture made once and reused), ffprobe's view of a file as JSON, and a helper that runs
// the Qt event loop until a condition holds. Main thread only.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class MediaAsset;
struct Composition;

namespace TestMedia {

// The test program's temporary folder.
QString folder();
// A file's bytes (empty when it cannot be read), and a file made (or emptied) to hold the given bytes;
// the latter fails the current test when it cannot.
QByteArray contents(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);
// Runs a program; returns its exit code, or -1 when it could not start or timed out. Output in *output.
// A non-zero exit fails the current test unless `errors` takes the standard error.
int run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr, int timeoutMs = 120000,
        QByteArray* errors = nullptr);
// Makes (once) a file named `name` in folder() by running ffmpeg with the arguments, which end before
// the output path. Fails the current test when ffmpeg fails.
QString make(const QString& name, const QStringList& ffmpegArguments);
// ffprobe -show_format -show_streams (and, with countFrames, -count_frames) as JSON.
QJsonObject probe(const QString& path, bool countFrames = false);
// ffprobe's frame list of the first video stream: each frame's best-effort presentation time in seconds.
std::vector<double> probeFrameTimes(const QString& path);

// The asset of a file; fails the current test when it cannot be opened.
std::shared_ptr<MediaAsset> openAsset(const QString& path);

// A composition of every track of the asset with the given source ranges (seconds) laid back to back;
// the whole source when none are given.
Composition keptComposition(const MediaAsset& asset, std::initializer_list<std::pair<double, double>> kept = {});

// What a viewer gets from a file, as ffmpeg decodes it (honouring edit lists): the number each video
// frame shows (the fixtures' grey levels; -1 where no number can be read), the sample frames of the
// first audio stream at its own rate, and everything ffmpeg said while decoding (empty when clean).
struct Decoded {
    std::vector<int> frameNumbers;
    int64_t audioSamples = 0;
    QByteArray messages;
};
Decoded decode(const QString& path);

// Each stream of the file as ffprobe sees it, "kind language" (no language where it states none or
// "und"), with " default" for the ones players take unasked, joined by ", ".
std::string streamLayout(const QString& path);

// The file's index-th audio stream as ffmpeg decodes it, mixed to one channel at 48 kHz; empty when
// there is no such stream.
std::vector<float> monoAudio(const QString& path, int index = 0);
// The strength of a frequency in a mono signal (Goertzel), normalised to the signal's length: about
// a quarter of the amplitude for a tone of that frequency, near zero for others.
double toneStrength(const std::vector<float>& signal, double frequency, int rate = 48000);

// Common fixtures.
QString h264WithBFrames(); // 160×120 25 fps, 10 s, frame number encoded in grey levels, AAC stereo
QString hevc();            // 160×120 25 fps HEVC MP4, 2 s
QString rotatedMov();      // 160×120 H.264 MOV whose display matrix turns it 90 degrees
QString vp9Opus();         // MKV with VP9 + Opus
QString mp3WithCover();    // MP3 with ID3 tags and cover art
QString m4aWithCover();    // M4A (AAC) with tags and cover art
QString wav();             // PCM WAV, 1 s
QString flac();            // FLAC with Vorbis comments
QString aiff();            // PCM AIFF (big-endian), 2 s at 44.1 kHz
QString oggOpus();         // Ogg Opus (".opus"), 3 s
QString oggVorbis();       // Ogg Vorbis, 3 s at 44.1 kHz
QString webmVp8Vorbis();   // WebM: numbered VP8 frames, a keyframe every second, Vorbis; 6 s
// A real media file made by others, taken out of a Debian package by scripts/setup.sh (into
// $CLIPWELL_TEST_MEDIA, by default /var/cache/clipwell/test-media); fails the current test when it is
// not there.
QString realFile(const char* name);
// AVI that MPEG-4 cannot hold: numbered MPEG-4 Part 2 frames with B-frames, PCM; 6 s.
QString aviWithPcm();
// AVI that neither MPEG-4 nor Matroska holds: numbered Cinepak frames; 3 s.
QString aviCinepak();
// Matroska that MPEG-4 cannot hold: numbered VP8 frames (a keyframe each second), Vorbis, SubRip cues
// at 0.5–1.5, 2.0–4.5 and 5.0–5.8 s, and an attached font; 6 s.
QString matroskaWithSubtitlesAndFont();
QString twoAudioAndSubtitle(); // MP4: video, two AAC tracks, a mov_text subtitle track
QString variableFrameRate();   // MKV and MP4 flavours below
QString variableFrameRateMp4();
QString fps25();   // 25 fps, 4 s, no B-frames
QString fps2997(); // 30000/1001 fps, 4 s
// Frame-numbered H.264 with B-frames and a tone, keyframes only every so many frames (no scene cuts):
// 25 fps for 12 s with a keyframe every 100 frames, or 30000/1001 fps for 6 s with open groups of 60.
QString longGop25();
QString openGop2997();
// Like longGop25 (10 s, 320×240) with moving detail and grain above and below the numbers.
QString texturedLongGop();
// Frame-numbered 10-bit HEVC, 25 fps, 8 s, open groups (CRA pictures) every 50 frames, and a tone.
QString hevc10Bit();
// The same as Matroska: H.264 with B-frames (presentation times only), 25 fps, 8 s, a 44.1 kHz tone.
QString matroskaBFrames();
// The same as an MPEG transport stream (timestamps from 1.4 s, no index: seeks land near a time).
QString transportStreamBFrames();
// Frame-numbered MPEG-4 Part 2 with B-frames in AVI (decode order only), 25 fps, 8 s, an MP3 tone.
QString mpeg4BFramesAvi();
// Frame-numbered H.264 with B-frames, 25 fps, 10 s, and AAC that is silent but for a 20 ms beep at
// every whole second, in step with the frame that starts there (frame 25·n). With lateAudio the audio
// track starts 0.5 s after the video (its first beep is the one at 1 s).
QString beepingPattern(bool lateAudio);
// Frame-numbered video, 25 fps, 6 s, with sound that is silent but for a 20 ms beep at every whole
// second: VP9 and Opus in Matroska; H.264 with B-frames and PCM, or Vorbis, in Matroska; AV1 and
// Opus in MPEG-4.
QString vp9OpusBeeps();
QString matroskaPcmBeeps();
QString matroskaVorbisBeeps();
QString av1Opus();
// Frame-numbered VP8 and Vorbis in WebM, 10 s, a keyframe every 4 s (at 0.003, 4.003 and 8.003 s).
QString webmLongGop();
// AAC in an ADTS stream (.aac, no index: its length is estimated from the bit rate), 10 s.
QString adtsAac();
// The times (seconds, on the file's clock) at which beeps begin in the first audio stream as ffmpeg
// decodes it.
std::vector<double> beepTimes(const QString& path);
// Frame-numbered H.264 with B-frames and AAC, 25 fps, 10 s, with the chapters "Intro" 0–3 s,
// "Middle" 3–6 s, "Aside" 6–7 s and "End" 7–10 s.
QString withChapters();
// Whether GStreamer's playbin decodes every stream of the file to its end without an error
// (its messages in *messages); the length GStreamer's discoverer reports (seconds, −1 when it cannot tell).
bool gstreamerDecodes(const QString& path, QByteArray* messages);
double gstreamerDuration(const QString& path);

// The numbers that raw 4:2:0 pictures of that size show, one per picture (-1 where none can be read).
std::vector<int> frameNumbers(const QByteArray& pictures, int width, int height);
// The frame number a fixture picture shows (grey levels of its left and right halves), or -1.
int frameNumberInImage(const class QImage& image);

} // namespace TestMedia

// Runs the event loop until condition() is true or timeoutMs passes; returns condition().
bool runEventLoopUntil(const std::function<bool()>& condition, int timeoutMs = 10000);
// Runs every call and event posted so far, and what those post in turn (three rounds): whatever a
// step had queued has happened, so a check that something did not happen is not merely early.
void runQueuedCalls();

namespace TestMedia {
// Silent mono WAV of the given length (8 kHz), for model tests that need a duration only.
QString silence(int seconds);
} // namespace TestMedia
