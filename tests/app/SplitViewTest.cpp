// The timeline strip as drawn and driven: the time-to-x mapping and its examples, the segments' boxes,
// outlines and hatch stripes and the playhead checked on the rendered pixels, clicks, drags and scrolls
// before and after the player is ready, the timeline keys with and without Ctrl and Shift, and zooming:
// around the pointer, clicks and boxes at the zoomed scale, paging after the playhead, the overview.
#include "CWBaseSplitView.h"
#include "CWColors.h"
#include "CWExcludedSegment.h"
#include "CWProject.h"
#include "Player.h"
#include "support/TestMedia.h"

#include <QKeyEvent>
#include <QProgressBar>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>

using namespace TestMedia;

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 100;

struct Strip {
    std::unique_ptr<Player> player;
    std::shared_ptr<CWProject> project;
    std::unique_ptr<CWBaseSplitView> view;
};

// A strip over the 10-second test video, 600 × 100, white behind the segments.
Strip makeStrip(bool waitUntilReady = true)
{
    Strip strip;
    strip.project = CWProject::forAVAsset(openAsset(h264WithBFrames()), CWProject::Options{false});
    strip.player = std::make_unique<Player>(h264WithBFrames());
    strip.view = std::make_unique<CWBaseSplitView>();
    QPalette palette = strip.view->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Window, Qt::white);
    strip.view->setPalette(palette);
    strip.view->setFixedSize(kWidth, kHeight);
    strip.view->usePlayer(strip.player.get(), strip.project, nullptr);
    strip.view->show();
    if (!waitUntilReady)
        return strip; // the player opens the file on the event loop, which has not run yet
    EXPECT_TRUE(QTest::qWaitForWindowExposed(strip.view.get()));
    EXPECT_TRUE(runEventLoopUntil([&] { return strip.player->status() == Player::Status::ReadyToPlay; }, 20000));
    return strip;
}

void seekAndWait(Player& player, CMTime time)
{
    bool done = false;
    player.seekToTime(time, kCMTimeZero, kCMTimeZero, [&](bool) { done = true; });
    EXPECT_TRUE(runEventLoopUntil([&] { return done; }));
}

bool near(QRgb pixel, QColor expected, int tolerance = 12)
{
    return std::abs(qRed(pixel) - expected.red()) <= tolerance && std::abs(qGreen(pixel) - expected.green()) <= tolerance &&
           std::abs(qBlue(pixel) - expected.blue()) <= tolerance;
}

QColor over(const QColor& color, double alpha, const QColor& below = Qt::white)
{
    return QColor(int(color.red() * alpha + below.red() * (1 - alpha)), int(color.green() * alpha + below.green() * (1 - alpha)),
                  int(color.blue() * alpha + below.blue() * (1 - alpha)));
}

bool sendKey(CWBaseSplitView& view, int key, const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
    return view.handleKey(&event);
}

} // namespace

TEST(SplitView, MapsTimeAndPixelsAcrossTheWholeWidth)
{
    CWBaseSplitView unbound;
    unbound.setFixedSize(kWidth, kHeight);
    EXPECT_EQ(unbound.timeToPixel(CMTimeMake(5, 1)), 0.0) << "no player, nothing to map";
    EXPECT_EQ(CMTimeCompare(unbound.pixelToTime(300), kCMTimeZero), 0);

    Strip strip = makeStrip();
    const CMTime duration = strip.player->duration();
    ASSERT_NEAR(CMTimeGetSeconds(duration), 10.0, 0.05);
    const double seconds = CMTimeGetSeconds(duration);
    EXPECT_DOUBLE_EQ(strip.view->timeToPixel(CMTimeMakeWithSeconds(seconds / 2, 600)), kWidth / 2.0);
    EXPECT_DOUBLE_EQ(strip.view->timeToPixel(duration), double(kWidth));
    const CMTime middle = strip.view->pixelToTime(kWidth / 2.0);
    EXPECT_EQ(middle.timescale, duration.timescale);
    EXPECT_NEAR(CMTimeGetSeconds(middle), seconds / 2, 1.0 / duration.timescale);
}

TEST(SplitView, DrawsSegmentsHatchedAndThePlayheadInside)
{
    Strip strip = makeStrip();
    const QColor pink = CWColors::systemPink(strip.view->palette());
    const QColor darker = CWColors::blendedTowardBlack(pink, 0.3);
    const QColor yellow = CWColors::systemYellow(strip.view->palette());
    strip.project->addSplit(CWExcludedSegment::startingAt(CMTimeMake(2, 1), CMTimeMake(4, 1))); // x 120 … 240
    strip.project->addSplit(CWExcludedSegment::startingAt(CMTimeMake(5, 1), CMTimeMake(5, 1))); // a split point at x 300
    strip.project->addSplit(CWExcludedSegment::startingAt(CMTimeMake(7, 1), CMTimeMake(9, 1))); // x 420 … 540

    seekAndWait(*strip.player, CMTimeMake(3, 1)); // inside the first cut: it is the active one
    QImage shot = strip.view->grab().toImage();
    // Outlines, centred on the box edge: the active one 3 units wide in pink (reaching half into the
    // pixel at 118), the other 2 units in the darker pink (419 and 420 only).
    EXPECT_TRUE(near(shot.pixel(119, 50), pink)) << std::hex << shot.pixel(119, 50);
    EXPECT_TRUE(near(shot.pixel(120, 50), pink));
    EXPECT_TRUE(near(shot.pixel(118, 50), over(pink, 0.5), 30)) << std::hex << shot.pixel(118, 50);
    EXPECT_TRUE(near(shot.pixel(419, 50), darker)) << std::hex << shot.pixel(419, 50);
    EXPECT_TRUE(near(shot.pixel(420, 50), darker));
    EXPECT_TRUE(near(shot.pixel(418, 50), Qt::white)) << std::hex << shot.pixel(418, 50);
    // Inside, 45-degree stripes 25 units wide alternate the colour at full and half opacity; along a
    // row they repeat every 50 × √2 units.
    const auto stripeAt = [](double x, double y) { return std::fmod((x + y) / std::sqrt(2.0), 50.0); };
    int full = 0, half = 0;
    for (int x = 130; x < 230; ++x) {
        if (std::abs(x - 180) < 4)
            continue; // the playhead
        const double phase = stripeAt(x + 0.5, 50.5);
        if (std::abs(phase - 37.5) < 8) {
            EXPECT_TRUE(near(shot.pixel(x, 50), pink)) << x << " " << std::hex << shot.pixel(x, 50);
            ++full;
        } else if (std::abs(phase - 12.5) < 8) {
            EXPECT_TRUE(near(shot.pixel(x, 50), over(pink, 0.5))) << x << " " << std::hex << shot.pixel(x, 50);
            ++half;
        }
    }
    EXPECT_GT(full, 10);
    EXPECT_GT(half, 10);
    // The split point: a box 2 units wide centred on its time; outside it the background.
    EXPECT_FALSE(near(shot.pixel(300, 50), Qt::white));
    EXPECT_TRUE(near(shot.pixel(296, 50), Qt::white));
    EXPECT_TRUE(near(shot.pixel(304, 50), Qt::white));
    // The playhead at 3 s.
    EXPECT_TRUE(near(shot.pixel(180, 5), yellow)) << std::hex << shot.pixel(180, 5);

    // At the start and the end the playhead stays inside the strip.
    seekAndWait(*strip.player, kCMTimeZero);
    shot = strip.view->grab().toImage();
    EXPECT_TRUE(near(shot.pixel(1, 50), yellow));
    EXPECT_TRUE(near(shot.pixel(0, 50), yellow)) << "2 units wide around x = 1";
    seekAndWait(*strip.player, strip.player->duration());
    shot = strip.view->grab().toImage();
    EXPECT_TRUE(near(shot.pixel(kWidth - 2, 50), yellow));
    EXPECT_TRUE(near(shot.pixel(kWidth - 1, 50), yellow));
}

TEST(SplitView, ClicksAndScrollsSeekOnceTheSourceIsReady)
{
    Strip strip = makeStrip(false);
    ASSERT_EQ(strip.player->status(), Player::Status::Loading);
    EXPECT_TRUE(strip.view->progressSpinner()->isVisible());
    QTest::mouseClick(strip.view.get(), Qt::LeftButton, {}, QPoint(300, 50));
    // Keys already edit the project.
    EXPECT_TRUE(sendKey(*strip.view, Qt::Key_X, QStringLiteral("x")));
    strip.project->waitForQueuedWork();
    EXPECT_EQ(strip.project->splits().size(), 1u);
    ASSERT_TRUE(runEventLoopUntil([&] { return strip.player->status() == Player::Status::ReadyToPlay; }, 20000));
    EXPECT_EQ(CMTimeCompare(strip.player->currentTime(), kCMTimeZero), 0) << "the early click did nothing";
    EXPECT_FALSE(strip.view->progressSpinner()->isVisible());

    const CMTime duration = strip.player->duration();
    QTest::mouseClick(strip.view.get(), Qt::LeftButton, {}, QPoint(150, 50));
    EXPECT_EQ(CMTimeCompare(strip.player->currentTime(), CMTimeMake(duration.value / 4, duration.timescale)), 0);
    // A drag beyond the right edge asks for more than the end; the player holds it at the end.
    QTest::mousePress(strip.view.get(), Qt::LeftButton, {}, QPoint(500, 50));
    QMouseEvent drag(QEvent::MouseMove, QPointF(700, 50), strip.view->mapToGlobal(QPointF(700, 50)), Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(strip.view.get(), &drag);
    QTest::mouseRelease(strip.view.get(), Qt::LeftButton, {}, QPoint(700, 50));
    EXPECT_EQ(CMTimeCompare(strip.player->currentTime(), duration), 0);

    // A horizontal scroll of the strip's width moves by the whole duration: to the left (Qt counts it
    // positive) back to the start; right and down (negative) move forward.
    const auto scroll = [&](QPoint pixels, Qt::KeyboardModifiers modifiers) {
        QWheelEvent wheel(QPointF(300, 50), strip.view->mapToGlobal(QPointF(300, 50)), pixels, QPoint(), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(strip.view.get(), &wheel);
    };
    scroll(QPoint(kWidth, 0), Qt::NoModifier);
    EXPECT_EQ(CMTimeCompare(strip.player->currentTime(), kCMTimeZero), 0);
    scroll(QPoint(0, -60), Qt::NoModifier); // vertical: ignored
    EXPECT_EQ(CMTimeCompare(strip.player->currentTime(), kCMTimeZero), 0);
    scroll(QPoint(0, -60), Qt::ShiftModifier); // Shift makes it horizontal, down is forward: a tenth of the width
    EXPECT_EQ(CMTimeCompare(strip.player->currentTime(), CMTimeMake(duration.value / 10, duration.timescale)), 0);
    scroll(QPoint(-kWidth / 10, 0), Qt::NoModifier); // right: forward another tenth
    EXPECT_EQ(CMTimeCompare(strip.player->currentTime(), CMTimeMake(duration.value / 10 * 2, duration.timescale)), 0);
}

TEST(SplitView, KeysEditAndStepUnlessCtrlIsHeld)
{
    Strip strip = makeStrip();
    seekAndWait(*strip.player, CMTimeMake(2, 1));
    EXPECT_FALSE(sendKey(*strip.view, Qt::Key_A, QStringLiteral("a"), Qt::ControlModifier));
    EXPECT_FALSE(sendKey(*strip.view, Qt::Key_X, QStringLiteral("x"), Qt::ControlModifier));
    EXPECT_FALSE(sendKey(*strip.view, Qt::Key_Right, QString(), Qt::ControlModifier));
    EXPECT_FALSE(sendKey(*strip.view, Qt::Key_A, QStringLiteral("A"), Qt::ShiftModifier)) << "Shift makes it another letter";
    EXPECT_FALSE(sendKey(*strip.view, Qt::Key_Q, QStringLiteral("q")));
    strip.project->waitForQueuedWork();
    EXPECT_TRUE(strip.project->splits().empty());

    // "a" opens a cut to the end, "a" later closes it; "s" inside removes it; Alt does not stop the keys.
    EXPECT_TRUE(sendKey(*strip.view, Qt::Key_A, QStringLiteral("a")));
    strip.project->waitForQueuedWork();
    for (int i = 0; i < 30; ++i)
        EXPECT_TRUE(sendKey(*strip.view, Qt::Key_Right, QString()));
    EXPECT_EQ(CMTimeCompare(strip.player->currentTime(), CMTimeMake(3, 1)), 0) << "thirty steps of exactly 1/30 s";
    EXPECT_TRUE(sendKey(*strip.view, Qt::Key_A, QStringLiteral("a"), Qt::AltModifier));
    strip.project->waitForQueuedWork();
    ASSERT_EQ(strip.project->splits().size(), 1u);
    EXPECT_EQ(CMTimeCompare(strip.project->splits()[0]->stop(), CMTimeMake(3, 1)), 0);
    EXPECT_TRUE(sendKey(*strip.view, Qt::Key_Left, QString()));
    EXPECT_EQ(CMTimeCompare(strip.player->currentTime(), CMTimeMake(89, 30)), 0);
    EXPECT_TRUE(sendKey(*strip.view, Qt::Key_S, QStringLiteral("s")));
    EXPECT_TRUE(strip.project->splits().empty());
    // "s" where there is nothing is still the strip's key, and changes nothing.
    EXPECT_TRUE(sendKey(*strip.view, Qt::Key_S, QStringLiteral("s")));
    // With Caps Lock on the same keys come as capitals, without Shift: they still edit.
    EXPECT_TRUE(sendKey(*strip.view, Qt::Key_X, QStringLiteral("X")));
    strip.project->waitForQueuedWork();
    EXPECT_EQ(strip.project->splits().size(), 1u);
}

TEST(SplitView, ZoomsAroundThePointerPagesAfterThePlayheadAndShowsWhereItIs)
{
    Strip strip = makeStrip();
    CWBaseSplitView& view = *strip.view;
    const QColor pink = CWColors::systemPink(view.palette());
    const QColor yellow = CWColors::systemYellow(view.palette());
    strip.project->addSplit(CWExcludedSegment::startingAt(CMTimeMake(4, 1), CMTimeMake(6, 1)));
    const QImage whole = view.grab().toImage();
    EXPECT_TRUE(near(whole.pixel(100, kHeight - 3), Qt::white)) << "no overview while the whole source shows";
    const auto wheel = [&](int x, int notches, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
        QWheelEvent event(QPointF(x, 50), view.mapToGlobal(QPointF(x, 50)), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&view, &event);
    };
    const auto secondsAt = [&](double x) { return CMTimeGetSeconds(view.pixelToTime(x)); };

    // Ctrl with the wheel: two notches double the detail, the time under the pointer staying there.
    wheel(300, 2);
    EXPECT_NEAR(view.viewport().span(), 5.0, 0.01);
    EXPECT_NEAR(secondsAt(300), 5.0, 0.01);
    wheel(150, 4); // 3.75 s under the pointer; a quarter of the span
    EXPECT_NEAR(view.viewport().span(), 1.25, 0.001);
    EXPECT_NEAR(secondsAt(150), 3.75, 0.002);
    EXPECT_EQ(CMTimeCompare(strip.player->currentTime(), kCMTimeZero), 0) << "zooming does not seek";

    // A click seeks at the zoomed scale; the cut's box starts at 4 s, x = (4 − 3.4375) / 1.25 × 600 = 270.
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(300, 50));
    EXPECT_NEAR(CMTimeGetSeconds(strip.player->currentTime()), 4.0625, 0.002);
    QImage shot = view.grab().toImage();
    EXPECT_TRUE(near(shot.pixel(300, 20), yellow)) << std::hex << shot.pixel(300, 20);
    EXPECT_TRUE(near(shot.pixel(270, 50), pink)) << std::hex << shot.pixel(270, 50);
    EXPECT_TRUE(near(shot.pixel(266, 50), Qt::white));
    // The overview: the visible 3.44–4.69 s of 10 s (x 206–281) light on a dark band, the playhead in it.
    const auto grey = [&](int x) { return qGray(shot.pixel(x, kHeight - 3)); };
    EXPECT_GT(grey(215), 200);
    EXPECT_LT(grey(100), 120);
    EXPECT_LT(grey(400), 120);
    EXPECT_TRUE(near(shot.pixel(244, kHeight - 3), yellow)) << std::hex << shot.pixel(244, kHeight - 3);

    // The playhead leaving the view pages it along: forward, the time near the left edge.
    seekAndWait(*strip.player, CMTimeMake(8, 1));
    view.grab();
    EXPECT_NEAR(view.viewport().start(), 8.0 - 0.05 * 1.25, 0.001);
    // A click in the overview moves the view there without seeking, and it stays while the playhead does.
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(150, kHeight - 2));
    EXPECT_NEAR(view.viewport().start(), 2.5 - 1.25 / 2, 0.001);
    EXPECT_EQ(CMTimeCompare(strip.player->currentTime(), CMTimeMake(8, 1)), 0);
    view.grab();
    EXPECT_NEAR(view.viewport().start(), 1.875, 0.001);
    // A horizontal scroll zoomed in moves by the visible stretch: a tenth of the width is 0.125 s.
    QWheelEvent right(QPointF(300, 50), view.mapToGlobal(QPointF(300, 50)), QPoint(-kWidth / 10, 0), QPoint(), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&view, &right);
    EXPECT_NEAR(CMTimeGetSeconds(strip.player->currentTime()), 8.125, 0.002);

    // Never closer than 0.1 s across the strip, never wider than the source; zoomed out it is the
    // strip it was.
    wheel(300, 40);
    EXPECT_NEAR(view.viewport().span(), CWTimelineViewport::kMinimumSpan, 1e-9);
    wheel(300, -60);
    EXPECT_FALSE(view.isZoomed());
    view.zoomAt(8, 100);
    view.zoomToFit();
    seekAndWait(*strip.player, kCMTimeZero);
    EXPECT_EQ(view.grab().toImage(), whole);
}
