// The player against frame-numbered sources: the frame on screen after exact seeks (frame starts,
// mid-frame, the ends and beyond), frame steps, playback order and timing, upright and square-pixel
// pictures, late-starting timestamps, audio-only files, the samples handed to the audio output after
// a seek (compared with ffmpeg's decoding), the system-clock fallback and closing while playing.
#include "Player.h"
#include "MediaAsset.h"
#include "support/TestMedia.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace TestMedia;

namespace {

// An audio output that takes samples as fast as a device would and keeps every byte.
class RecordingOutput : public AudioOutput {
public:
    struct Log {
        PcmFormat format;
        QByteArray bytes;
        int starts = 0;
    };
    explicit RecordingOutput(std::shared_ptr<Log> log, bool hasDevice = true) : log_(std::move(log)), hasDevice_(hasDevice) {}
    PcmFormat formatFor(int sampleRate, int channelCount) const override
    {
        return PcmFormat{sampleRate, channelCount, 0, PcmFormat::Sample::Float32};
    }
    bool start(const PcmFormat& format, Pull pull) override
    {
        if (!hasDevice_)
            return false;
        log_->format = format;
        log_->bytes.clear();
        ++log_->starts;
        pull_ = std::move(pull);
        played_ = 0;
        clock_.start();
        timer_ = std::make_unique<QTimer>();
        QObject::connect(timer_.get(), &QTimer::timeout, [this] { pullDue(); });
        timer_->start(5);
        return true;
    }
    void stop() override { timer_.reset(); }
    int64_t playedMicroseconds() const override { return log_->format.sampleRate ? played_ * 1000000 / log_->format.sampleRate : 0; }

private:
    void pullDue()
    {
        const int64_t due = clock_.nsecsElapsed() * log_->format.sampleRate / 1000000000;
        const int64_t frameBytes = log_->format.bytesPerFrame();
        while (played_ < due) {
            QByteArray chunk(int((due - played_) * frameBytes), 0);
            const int64_t got = pull_(chunk.data(), chunk.size());
            if (got <= 0)
                break;
            log_->bytes.append(chunk.constData(), int(got));
            played_ += got / frameBytes;
        }
    }
    std::shared_ptr<Log> log_;
    bool hasDevice_;
    Pull pull_;
    int64_t played_ = 0;
    QElapsedTimer clock_;
    std::unique_ptr<QTimer> timer_;
};

// The same, with the played time reported as a sound server may: now and then up to 60 ms short of
// what it reported before.
class JitteringOutput : public RecordingOutput {
public:
    using RecordingOutput::RecordingOutput;
    int64_t playedMicroseconds() const override
    {
        const int64_t played = RecordingOutput::playedMicroseconds();
        return ++calls_ % 3 == 0 ? std::max<int64_t>(played - 60000 + (calls_ * 7919 % 40000), 0) : played;
    }

private:
    mutable int64_t calls_ = 0;
};

std::unique_ptr<Player> readyPlayer(const QString& path)
{
    auto player = std::make_unique<Player>(path);
    EXPECT_TRUE(runEventLoopUntil([&] { return player->status() != Player::Status::Loading; }, 20000));
    EXPECT_EQ(player->status(), Player::Status::ReadyToPlay) << player->error().message.toStdString();
    // The first frame is on screen once ready.
    if (player->hasVideo()) {
        EXPECT_TRUE(runEventLoopUntil([&] { return !player->currentFrame().image.isNull(); }, 20000));
    }
    return player;
}

// Seeks exactly and waits for the frame; returns the number it shows.
int seekAndRead(Player& player, CMTime time)
{
    bool done = false, finished = false;
    player.seekToTime(time, kCMTimeZero, kCMTimeZero, [&](bool result) {
        done = true;
        finished = result;
    });
    EXPECT_TRUE(runEventLoopUntil([&] { return done; }, 20000));
    EXPECT_TRUE(finished);
    return frameNumberInImage(player.currentFrame().image);
}

CMTime at(double seconds) { return CMTimeMakeWithSeconds(seconds, 600000); }

class PlayerTest : public ::testing::Test {
protected:
    void TearDown() override { Player::setAudioOutputFactory({}); }
};

} // namespace

TEST_F(PlayerTest, ExactSeeksShowTheFrameOnScreenAtTheTime)
{
    auto player = readyPlayer(longGop25()); // 25 fps, B-frames, a keyframe every 100 frames, 12 s
    EXPECT_EQ(frameNumberInImage(player->currentFrame().image), 0);
    const std::pair<double, int> cases[] = {{4.0, 100},        {3.96, 99},         {3.98, 99},          {7.02, 175},
                                            {0.0, 0},          {11.96, 299 % 256}, {11.999, 299 % 256}, {12.0, 299 % 256},
                                            {40.0, 299 % 256}, {-3.0, 0},          {6.5, 162}};
    for (const auto& [seconds, frame] : cases) {
        SCOPED_TRACE(seconds);
        EXPECT_EQ(seekAndRead(*player, at(seconds)), frame);
        EXPECT_TRUE(player->currentFrame().shows(CMTimeMinimum(CMTimeMaximum(at(seconds), kCMTimeZero), at(11.999))));
        // Paused, the time is the exact (clamped) target.
        EXPECT_EQ(CMTimeCompare(player->currentTime(), CMTimeMaximum(kCMTimeZero, CMTimeMinimum(at(seconds), player->duration()))), 0);
    }
    // Scrubbing: with a tolerance the keyframe's picture may come first; an exact seek then settles.
    bool scrubbed = false;
    player->seekToTime(at(3.9), CMTimeMake(10, 1), CMTimeMake(10, 1), [&](bool) { scrubbed = true; });
    ASSERT_TRUE(runEventLoopUntil([&] { return scrubbed; }));
    EXPECT_EQ(frameNumberInImage(player->currentFrame().image), 0) << "the keyframe before 3.9 s";
    EXPECT_EQ(seekAndRead(*player, at(3.9)), 97);
    // Fifty steps of one frame forward, then back over a keyframe.
    for (int frame = 180; frame < 230; ++frame)
        ASSERT_EQ(seekAndRead(*player, CMTimeMake(frame, 25)), frame);
    for (int frame = 205; frame > 195; --frame)
        ASSERT_EQ(seekAndRead(*player, CMTimeMake(frame, 25)), frame);
}

TEST_F(PlayerTest, RatesOrientationPixelsAndLateTimestamps)
{
    {
        auto player = readyPlayer(openGop2997()); // 30000/1001 fps, open groups
        for (int frame : {0, 1, 59, 60, 61, 150, 179})
            EXPECT_EQ(seekAndRead(*player, CMTimeMake(int64_t(frame) * 1001 + 500, 30000)), frame) << frame;
    }
    {
        auto player = readyPlayer(variableFrameRate()); // 0.04 s apart for 25 frames, then 0.08 s
        for (int frame : {3, 24, 25, 26, 60, 74}) {
            const double time = frame < 25 ? frame * 0.04 : 1 + (frame - 25) * 0.08;
            EXPECT_EQ(seekAndRead(*player, at(time + 0.035)), frame) << frame;
        }
    }
    {
        auto player = readyPlayer(rotatedMov()); // stored 160×120, shown turned a quarter
        const QImage upright = player->currentFrame().image;
        EXPECT_EQ(upright.size(), QSize(120, 160));
        seekAndRead(*player, at(1.0)); // the number is read across the turned picture below
        const QImage back = player->currentFrame().image.transformed(QTransform().rotate(-90));
        const int plain = frameNumberInImage(back), mirrored = frameNumberInImage(back.mirrored(true, true));
        EXPECT_TRUE(plain == 25 || mirrored == 25) << plain << " " << mirrored;
    }
    {
        const QString wide =
            make(QStringLiteral("player-4-3-pixels.mp4"),
                 {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("color=black:s=160x120:r=25:d=2,format=yuv420p,"
                                 "geq=lum='if(lt(X,W/2),16+14*mod(N,16),16+14*mod(floor(N/16),16))':cb=128:cr=128,"
                                 "setsar=4/3"),
                  QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("veryfast")});
        auto player = readyPlayer(wide);
        EXPECT_EQ(player->currentFrame().image.size(), QSize(214, 120));
        EXPECT_EQ(seekAndRead(*player, at(1.5)), 37);
    }
    {
        auto player = readyPlayer(transportStreamBFrames()); // timestamps from 1.4 s; source time starts at 0
        EXPECT_EQ(frameNumberInImage(player->currentFrame().image), 0);
        EXPECT_EQ(seekAndRead(*player, at(2.03)), 50); // frame 0 at 1.48 s in the file, 0.023 s in source time
    }
}

TEST_F(PlayerTest, PlaybackShowsTheFramesInOrderAtTheirTimes)
{
    auto log = std::make_shared<RecordingOutput::Log>();
    Player::setAudioOutputFactory([log] { return std::make_unique<RecordingOutput>(log); });
    auto player = readyPlayer(h264WithBFrames()); // 25 fps with a tone
    ASSERT_EQ(seekAndRead(*player, at(2.0)), 50);
    std::vector<std::pair<int, double>> shown; // frame number, how late it came (s)
    QObject::connect(player.get(), &Player::frameChanged, [&] {
        const PlaybackFrame& frame = player->currentFrame();
        shown.emplace_back(frameNumberInImage(frame.image), CMTimeGetSeconds(CMTimeSubtract(player->currentTime(), frame.time)));
    });
    int ticks = 0;
    const int token = player->addPeriodicTimeObserver(CMTimeMake(1, 10), [&](CMTime) { ++ticks; });
    player->play();
    EXPECT_EQ(player->rate(), 1.0f);
    EXPECT_FALSE(player->usesSystemClock());
    runEventLoopUntil([&] { return CMTimeGetSeconds(player->currentTime()) >= 3.0; }, 20000);
    player->pause();
    player->removeTimeObserver(token);
    EXPECT_EQ(player->rate(), 0.0f);
    ASSERT_GE(shown.size(), 20u);
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_GE(shown[i].second, -0.001) << "frame " << shown[i].first << " shown early";
        EXPECT_LT(shown[i].second, 0.15) << "frame " << shown[i].first << " shown late";
        if (i > 0) {
            EXPECT_GT(shown[i].first, shown[i - 1].first);
        }
    }
    // Playback goes on from the frame after the one on screen (unless that one came too late, on a
    // loaded machine, and was dropped: it is counted).
    EXPECT_GE(shown.front().first, 51);
    EXPECT_LE(shown.front().first, 51 + player->droppedFrameCount());
    EXPECT_GE(ticks, 9);
    EXPECT_LE(player->droppedFrameCount(), 2);
    EXPECT_EQ(log->format.sampleRate, 48000);
}

// The samples handed to the output after a seek are the source's from that time (a lossless source,
// compared with what ffmpeg decodes); audio-only files play without frames and stop at their end.
TEST_F(PlayerTest, AudioFromTheSeekTimeAndAudioOnlyFiles)
{
    auto log = std::make_shared<RecordingOutput::Log>();
    Player::setAudioOutputFactory([log] { return std::make_unique<RecordingOutput>(log); });
    const QString source = flac(); // mono 44.1 kHz
    QByteArray reference;
    run(QStringLiteral("ffmpeg"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), source, QStringLiteral("-f"), QStringLiteral("f32le"),
         QStringLiteral("-")},
        &reference);
    auto player = readyPlayer(source);
    EXPECT_FALSE(player->hasVideo());
    bool sought = false;
    player->seekToTime(CMTimeMake(22050, 44100), kCMTimeZero, kCMTimeZero, [&](bool) { sought = true; });
    ASSERT_TRUE(runEventLoopUntil([&] { return sought; }));
    player->play();
    runEventLoopUntil([&] { return log->bytes.size() >= 44100; }, 20000);
    player->pause();
    ASSERT_EQ(log->format.channelCount, 1);
    const QByteArray expected = reference.mid(22050 * 4, 8820 * 4);
    ASSERT_GE(log->bytes.size(), expected.size());
    EXPECT_TRUE(log->bytes.left(expected.size()) == expected) << "the first 0.2 s after the seek";

    // To the end: playback stops there, ready for another seek.
    auto mp3 = readyPlayer(mp3WithCover());
    EXPECT_FALSE(mp3->hasVideo());
    mp3->seekToTime(CMTimeSubtract(mp3->duration(), at(0.3)));
    mp3->play();
    ASSERT_TRUE(runEventLoopUntil([&] { return mp3->rate() == 0.0f; }, 20000));
    EXPECT_EQ(CMTimeCompare(mp3->currentTime(), mp3->duration()), 0);
    EXPECT_EQ(mp3->status(), Player::Status::ReadyToPlay);
}

TEST_F(PlayerTest, WithoutADeviceTheSystemClockPlaysAndClosingStopsAtOnce)
{
    Player::setAudioOutputFactory([] { return std::make_unique<RecordingOutput>(std::make_shared<RecordingOutput::Log>(), false); });
    auto player = readyPlayer(h264WithBFrames());
    player->play();
    EXPECT_TRUE(player->usesSystemClock());
    EXPECT_TRUE(runEventLoopUntil([&] { return CMTimeGetSeconds(player->currentTime()) >= 0.5; }, 20000));
    EXPECT_GE(frameNumberInImage(player->currentFrame().image), 5);
    // Closing while playing returns at once.
    QElapsedTimer closing;
    closing.start();
    player.reset();
    EXPECT_LT(closing.elapsed(), 1000);
    QCoreApplication::processEvents(); // queued news for the closed player is dropped
}

// A callback may remove observers, itself or others, while the player is calling them: one removed
// is not called again, also within the same round.
TEST_F(PlayerTest, ObserversMayRemoveThemselvesAndOthers)
{
    Player::setAudioOutputFactory([] { return std::make_unique<RecordingOutput>(std::make_shared<RecordingOutput::Log>(), false); });
    auto player = readyPlayer(h264WithBFrames());
    int first = 0, second = 0, third = 0, fourth = 0;
    int a = 0, b = 0, c = 0;
    a = player->addPeriodicTimeObserver(CMTimeMake(1, 10), [&](CMTime) {
        ++first;
        player->removeTimeObserver(a);
        player->removeTimeObserver(b);
    });
    b = player->addPeriodicTimeObserver(CMTimeMake(1, 10), [&](CMTime) { ++second; });
    c = player->addPeriodicTimeObserver(CMTimeMake(1, 25), [&](CMTime) {
        if (++third == 3)
            player->removeTimeObserver(c);
    });
    player->addPeriodicTimeObserver(CMTimeMake(1, 25), [&](CMTime) { ++fourth; });
    player->play(); // calls every observer: the first removes itself and the second
    ASSERT_TRUE(runEventLoopUntil([&] { return CMTimeGetSeconds(player->currentTime()) >= 0.6; }, 20000));
    player->pause();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0) << "removed before its turn";
    EXPECT_EQ(third, 3) << "removed itself while playing";
    EXPECT_GE(fourth, 10);
}

TEST_F(PlayerTest, AnUnreadableFileFails)
{
    const QString text = folder() + QStringLiteral("/player-not-media.mp4");
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a movie");
    file.close();
    Player player(text);
    ASSERT_TRUE(runEventLoopUntil([&] { return player.status() != Player::Status::Loading; }));
    EXPECT_EQ(player.status(), Player::Status::Failed);
    EXPECT_FALSE(player.error().message.isEmpty());
}

// A file cut short after it was described (its index in front still promises 8 s): playback stops
// with an error where the pictures run out, and nothing crashes.
TEST_F(PlayerTest, AStreamThatTurnsOutDamagedStopsWithAnError)
{
    const QString whole =
        make(QStringLiteral("player-indexed.mp4"),
             {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("testsrc=s=160x120:r=25:d=8"),
              QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
              QStringLiteral("-movflags"), QStringLiteral("+faststart")});
    const QString cut = folder() + QStringLiteral("/player-cut-short.mp4");
    QFile::remove(cut);
    ASSERT_TRUE(QFile::copy(whole, cut));
    // Whole when the player opens it (a file whose index already points past its end is refused at
    // the open), cut short before it plays.
    Player::setAudioOutputFactory({});
    auto player = readyPlayer(cut);
    QFile file(cut);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(file.size() / 2));
    file.close();
    player->seekToTime(CMTimeMake(3, 1));
    player->play();
    ASSERT_TRUE(runEventLoopUntil([&] { return player->status() == Player::Status::Failed; }, 20000));
    EXPECT_FALSE(player->error().message.isEmpty());
    EXPECT_EQ(player->rate(), 0.0f);
    EXPECT_LT(CMTimeGetSeconds(player->currentTime()), 7.0);
}

// The clock never runs back while playing, whatever the sound server reports, and every pause stops
// on the frame on screen: the picture, the current time and the observers name one frame.
TEST_F(PlayerTest, TheClockNeverRunsBackAndAPauseStopsOnTheFrameShown)
{
    auto log = std::make_shared<RecordingOutput::Log>();
    Player::setAudioOutputFactory([log] { return std::make_unique<JitteringOutput>(log); });
    auto player = readyPlayer(h264WithBFrames()); // 25 fps, each frame showing its number
    CMTime observed = kCMTimeInvalid;
    const int token = player->addPeriodicTimeObserver(CMTimeMake(1, 25), [&](CMTime time) { observed = time; });
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        player->play();
        CMTime last = player->currentTime();
        int backwards = 0;
        QElapsedTimer playing;
        playing.start();
        while (playing.elapsed() < 230 + round * 37) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            const CMTime now = player->currentTime();
            backwards += CMTimeCompare(now, last) < 0 ? 1 : 0;
            last = now;
        }
        player->pause();
        EXPECT_EQ(backwards, 0);
        const CMTime paused = player->currentTime();
        EXPECT_TRUE(player->currentFrame().shows(paused)) << CMTimeGetSeconds(paused);
        EXPECT_EQ(frameNumberInImage(player->currentFrame().image), int(std::floor(CMTimeGetSeconds(paused) * 25 + 1e-6)));
        EXPECT_EQ(CMTimeCompare(observed, paused), 0);
    }
    player->removeTimeObserver(token);
}

// A seek to a frame's start stands where the frame it shows begins; a plain exact seek keeps its time.
TEST_F(PlayerTest, ScrubbingShowsAStandInAtOnceThenTheExactFrame)
{
    auto player = readyPlayer(h264WithBFrames()); // 25 fps, keyframes at most 50 frames apart
    std::vector<int> shown;
    QObject::connect(player.get(), &Player::frameChanged, [&] { shown.push_back(frameNumberInImage(player->currentFrame().image)); });
    bool done = false;
    player->scrubToFrameStart(at(5.5), [&](bool finished) { done = finished; });
    EXPECT_EQ(CMTimeCompare(player->currentTime(), at(5.5)), 0) << "the time is the target's at once";
    ASSERT_TRUE(runEventLoopUntil([&] { return done; }, 20000));
    ASSERT_GE(shown.size(), 2u);
    EXPECT_LT(shown.front(), 137) << "a frame decoded before the target stands in";
    EXPECT_EQ(shown.back(), 137);
    EXPECT_EQ(CMTimeCompare(player->currentTime(), CMTimeMake(137, 25)), 0) << CMTimeGetSeconds(player->currentTime());

    // Scrubbing on frame by frame faster than decoding: each request is replaced by the next, the last
    // lands on its exact frame, at the frame's start.
    int finished = 0, replaced = 0;
    for (int n = 138; n <= 150; ++n)
        player->scrubToFrameStart(CMTimeMake(n * 2 + 1, 50), [&](bool f) { ++(f ? finished : replaced); });
    ASSERT_TRUE(runEventLoopUntil([&] { return finished == 1; }, 20000));
    EXPECT_EQ(replaced, 12);
    EXPECT_EQ(frameNumberInImage(player->currentFrame().image), 150);
    EXPECT_EQ(CMTimeCompare(player->currentTime(), CMTimeMake(6, 1)), 0) << CMTimeGetSeconds(player->currentTime());
    // And back: a scrub before the frame being decoded starts again from its keyframe.
    done = false;
    player->scrubToFrameStart(at(1.01), [&](bool f) { done = f; });
    ASSERT_TRUE(runEventLoopUntil([&] { return done; }, 20000));
    EXPECT_EQ(frameNumberInImage(player->currentFrame().image), 25);
}

TEST_F(PlayerTest, ASeekToAFrameStartStandsWhereThePictureBegins)
{
    auto player = readyPlayer(h264WithBFrames()); // 25 fps: frame 50 from 2.00 s to 2.04 s
    bool done = false;
    player->seekToFrameStart(at(2.0064), [&](bool) { done = true; });
    ASSERT_TRUE(runEventLoopUntil([&] { return done; }, 20000));
    EXPECT_EQ(CMTimeCompare(player->currentTime(), CMTimeMake(2, 1)), 0) << CMTimeGetSeconds(player->currentTime());
    EXPECT_EQ(frameNumberInImage(player->currentFrame().image), 50);
    EXPECT_EQ(seekAndRead(*player, at(2.0064)), 50);
    EXPECT_EQ(CMTimeCompare(player->currentTime(), at(2.0064)), 0);

    // A tolerant seek may show a frame before the time (a keyframe's), and then the time and the
    // observers name that frame, not the one asked for.
    CMTime told = kCMTimeInvalid;
    const int observer = player->addPeriodicTimeObserver(CMTimeMake(1, 10), [&](CMTime time) { told = time; });
    done = false;
    player->seekToTime(at(5.5), kCMTimePositiveInfinity, kCMTimePositiveInfinity, [&](bool) { done = true; });
    ASSERT_TRUE(runEventLoopUntil([&] { return done; }, 20000));
    const int shown = frameNumberInImage(player->currentFrame().image);
    EXPECT_LT(shown, 137) << "not the exact frame";
    EXPECT_EQ(CMTimeCompare(player->currentTime(), CMTimeMake(shown, 25)), 0) << CMTimeGetSeconds(player->currentTime());
    EXPECT_EQ(CMTimeCompare(told, CMTimeMake(shown, 25)), 0) << CMTimeGetSeconds(told);
    player->removeTimeObserver(observer);
}
