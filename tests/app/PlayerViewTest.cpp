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
