// The player's view and sound in the application: the frame painted to fit with black bars around it
// (checked on the rendered widget's pixels), the overlay area over the picture, Space and the button
// toggling playback, and playing through Qt Multimedia on the real (null-sink) PulseAudio server, whose
// clock then drives the pictures.
#include "PlayerView.h"
#include "Player.h"
#include "QtAudioOutput.h"
#include "support/TestMedia.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace TestMedia;

namespace {
std::unique_ptr<Player> readyPlayer(const QString& path)
{
    auto player = std::make_unique<Player>(path);
    EXPECT_TRUE(runEventLoopUntil([&] { return player->status() == Player::Status::ReadyToPlay; }, 20000));
    EXPECT_TRUE(runEventLoopUntil([&] { return !player->currentFrame().image.isNull(); }, 20000));
    return player;
}

bool isBlack(QRgb pixel) { return qRed(pixel) < 8 && qGreen(pixel) < 8 && qBlue(pixel) < 8; }

// What the null sink plays, as its monitor hands it over (parec: mono 16-bit at 48 kHz, in pieces of
// about 5 ms), read without waiting. Started with fork and exec: QProcess's children share this
// process's memory until they exec, which ThreadSanitizer cannot follow.
class SinkMonitor {
public:
    SinkMonitor()
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], STDOUT_FILENO);
            execlp("parec", "parec", "-d", "clipwell_null.monitor", "--raw", "--format=s16le", "--rate=48000", "--channels=1",
                   "--latency-msec=5", nullptr);
            _exit(127);
        }
        close(fds[1]);
        fd_ = fds[0];
        fcntl(fd_, F_SETFL, O_NONBLOCK);
    }
    ~SinkMonitor()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0)
            close(fd_);
    }
    bool started() const { return pid_ > 0 && fd_ >= 0; }
    QByteArray read()
    {
        QByteArray bytes;
        char buffer[65536];
        for (ssize_t got; (got = ::read(fd_, buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, got);
        return bytes;
    }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
};
} // namespace

TEST(PlayerView, PaintsTheFrameToFitWithBarsAndToggles)
{
    Player::setAudioOutputFactory([] { return std::make_unique<QtAudioOutput>(); });
    auto player = readyPlayer(h264WithBFrames()); // 160×120
    bool sought = false;
    player->seekToTime(CMTimeMake(37, 25), kCMTimeZero, kCMTimeZero, [&](bool) { sought = true; });
    ASSERT_TRUE(runEventLoopUntil([&] { return sought; }));
    PlayerView view;
    view.setPlayer(player.get());
    view.resize(400, 432); // a 400 × 400 picture area above the control bar
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_EQ(view.videoRect(), QRect(0, 50, 400, 300));
    EXPECT_EQ(view.overlayArea()->geometry(), QRect(0, 0, 400, 400));
    const QImage shot = view.grab().toImage();
    EXPECT_TRUE(isBlack(shot.pixel(200, 20))) << "bar above";
    EXPECT_TRUE(isBlack(shot.pixel(200, 380))) << "bar below";
    EXPECT_EQ(frameNumberInImage(shot.copy(view.videoRect())), 37);

    // Space plays and pauses; so does the button.
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_EQ(player->rate(), 1.0f);
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_EQ(player->rate(), 0.0f);
    QTest::mouseClick(view.playPauseButton(), Qt::LeftButton);
    EXPECT_EQ(player->rate(), 1.0f);
    view.playPauseButton()->click();
    EXPECT_EQ(player->rate(), 0.0f);
    Player::setAudioOutputFactory({});
}

// Through PulseAudio: the sound's clock drives the pictures.
TEST(PlayerView, PlaysThroughTheAudioServer)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "no audio server (the test script starts one)";
    Player::setAudioOutputFactory([] { return std::make_unique<QtAudioOutput>(); });
    auto player = readyPlayer(h264WithBFrames());
    player->play();
    EXPECT_FALSE(player->usesSystemClock());
    QElapsedTimer wall;
    wall.start();
    ASSERT_TRUE(runEventLoopUntil([&] { return CMTimeGetSeconds(player->currentTime()) >= 1.0; }, 20000));
    // The server's clock, not the wall's: a loaded machine may play slower, never faster.
    EXPECT_GT(wall.elapsed(), 900);
    const PlaybackFrame& frame = player->currentFrame();
    const double behind = CMTimeGetSeconds(CMTimeSubtract(player->currentTime(), frame.time));
    EXPECT_GE(behind, 0.0);
    EXPECT_LT(behind, 0.25) << "the picture follows the sound (whose clock advances in the server's steps)";
    player->pause();
    Player::setAudioOutputFactory({});
}

// An idle null sink sleeps for up to 2 s before it takes a new stream: the player's standby stream keeps
// it awake, so playing starts at once, also after a pause (0.3 s of sound then takes about 0.35 s).
TEST(PlayerView, StartsPlayingAtOnceOnAnIdleAudioServer)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "no audio server (the test script starts one)";
    Player::setAudioOutputFactory([] { return std::make_unique<QtAudioOutput>(); });
    auto player = readyPlayer(h264WithBFrames());
    for (int round = 0; round < 2; ++round) {
        QTest::qWait(2500); // no stream plays meanwhile
        const double from = CMTimeGetSeconds(player->currentTime());
        QElapsedTimer wall;
        wall.start();
        player->play();
        ASSERT_TRUE(runEventLoopUntil([&] { return CMTimeGetSeconds(player->currentTime()) >= from + 0.3; }, 20000));
        EXPECT_LT(wall.elapsed(), 700) << "round " << round << " (without the standby stream: 1.2–2.3 s)";
        player->pause();
    }
    Player::setAudioOutputFactory({});
}

// Through PulseAudio, judged by what reaches the null sink's monitor: when each beep (one a second, in
// step with frame 25·n) is heard, the player's time and the picture on screen are within 40 ms of it;
// the time never runs back; nearly every frame is shown.
TEST(PlayerView, ThePictureKeepsTimeWithTheSoundHeard)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "no audio server (the test script starts one)";
    const QString source = beepingPattern(false);
    std::vector<double> beeps = beepTimes(source);
    std::erase_if(beeps, [](double t) { return t > 6.2; });
    ASSERT_EQ(beeps.size(), 7u);
    SinkMonitor monitor;
    ASSERT_TRUE(monitor.started());
    QTest::qWait(300);
    monitor.read();

    Player::setAudioOutputFactory([] { return std::make_unique<QtAudioOutput>(); });
    auto player = readyPlayer(source);
    int shown = 0;
    QObject::connect(player.get(), &Player::frameChanged, [&] { ++shown; });
    player->play();
    struct Heard {
        double clock;
        double picture;
    };
    std::vector<Heard> heard;
    double lastClock = 0, quietSince = 0;
    bool backwards = false, loud = false;
    int64_t samples = 0;
    int shownAtTwoSeconds = 0, shownAtSix = 0;
    runEventLoopUntil(
        [&] {
            const double clock = CMTimeGetSeconds(player->currentTime());
            backwards = backwards || clock < lastClock;
            lastClock = clock;
            const QByteArray bytes = monitor.read();
            const auto* pcm = reinterpret_cast<const int16_t*>(bytes.constData());
            for (qsizetype i = 0; i < bytes.size() / 2; ++i, ++samples) {
                if (std::abs(pcm[i]) < 3000) {
                    if (loud && double(samples) / 48000 - quietSince > 0.2)
                        loud = false;
                    continue;
                }
                quietSince = double(samples) / 48000;
                if (!loud) { // a beep begins: what does the player show now?
                    loud = true;
                    // The monitor hands its sound over in pieces: the beep began as many samples
                    // before now as follow it in this piece.
                    const double ago = double(bytes.size() / 2 - 1 - i) / 48000;
                    heard.push_back({clock - ago, CMTimeGetSeconds(player->currentFrame().time)});
                }
            }
            if (clock >= 2.0 && !shownAtTwoSeconds)
                shownAtTwoSeconds = shown;
            if (clock >= 6.0 && !shownAtSix)
                shownAtSix = shown;
            return clock >= 6.3 || player->rate() == 0.0f;
        },
        20000);
    player->pause();
    Player::setAudioOutputFactory({});
    EXPECT_FALSE(backwards);
    // Once the server plays steadily (from the beep at 2 s; at the start the server may take the first
    // writes before it plays them), each beep is heard with its frame.
    for (const double beep : beeps) {
        if (beep < 1.5)
            continue;
        const auto nearest = std::min_element(heard.begin(), heard.end(), [beep](const Heard& a, const Heard& b) {
            return std::abs(a.clock - beep) < std::abs(b.clock - beep);
        });
        ASSERT_NE(nearest, heard.end());
        EXPECT_NEAR(nearest->clock, beep, 0.04) << "the time when the beep at " << beep << " s was heard";
        EXPECT_NEAR(nearest->picture, beep, 0.04 + 0.04) << "the frame on screen then (frames last 40 ms)";
    }
    // From 2 s to 6 s: at least 95 % of the 100 frames that fell due were shown.
    const double span = 4.0;
    EXPECT_GE(shownAtSix - shownAtTwoSeconds, int(0.95 * span * 25)) << player->droppedFrameCount() << " dropped";
}
