// The editing window's keys: edits at the playhead, frame steps, Home and End, Space to play, and the
// zoom of the timeline.
#include "WindowHarness.h"

TEST_F(WindowTest, KeysEditStepFramesAndPlay)
{
    CWDocumentWindowController* window = openWindow(h264WithBFrames());
    ASSERT_TRUE(window);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    ASSERT_TRUE(runEventLoopUntil([&] { return window->project()->frameInformation() != nullptr; }));
    Player* player = window->player();
    const auto shownFrame = [&] {
        runEventLoopUntil([&] { return player->currentFrame().shows(player->currentTime()); });
        return frameNumberInImage(player->currentFrame().image);
    };

    // "." and "," step to the neighbouring frames (25 fps: 0.04 s apart).
    QTest::keyClick(window, Qt::Key_Period);
    QTest::keyClick(window, Qt::Key_Period);
    EXPECT_EQ(CMTimeGetSeconds(player->currentTime()), 0.08);
    EXPECT_EQ(shownFrame(), 2);
    QTest::keyClick(window, Qt::Key_Comma);
    EXPECT_EQ(shownFrame(), 1);
    seekAndWait(player, CMTimeMakeWithSeconds(1.01, 1000)); // inside frame 25
    QTest::keyClick(window, Qt::Key_Period);
    EXPECT_EQ(shownFrame(), 26);
    QTest::keyClick(window, Qt::Key_End);
    EXPECT_EQ(CMTimeCompare(player->currentTime(), player->duration()), 0);
    QTest::keyClick(window, Qt::Key_Home);
    EXPECT_EQ(CMTimeCompare(player->currentTime(), kCMTimeZero), 0);

    // The timeline keys reach the strip through the window; Ctrl+A is Select All.
    QTest::keyClick(window, Qt::Key_Right);
    QTest::keyClick(window, Qt::Key_A);
    window->project()->waitForQueuedWork();
    ASSERT_EQ(window->project()->splits().size(), 1u);
    EXPECT_EQ(CMTimeCompare(window->project()->splits()[0]->start(), CMTimeMake(1, 30)), 0);
    window->activateWindow(); // the shortcut needs the window active
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(window->project()->splits().size(), 1u);
    EXPECT_EQ(CMTimeCompare(window->project()->splits()[0]->start(), kCMTimeZero), 0) << "one cut over everything";
    EXPECT_EQ(window->project()->currentTargetDuration().value, 0);

    // View > Zoom In (Ctrl+= as well as Ctrl++) and Zoom Out zoom the strip around the playhead;
    // Zoom to Fit (Ctrl+0) shows the whole source again.
    CWBaseSplitView* strip = window->splitView();
    const double playheadX = strip->timeToPixel(player->currentTime());
    QTest::keyClick(window, Qt::Key_Equal, Qt::ControlModifier);
    QTest::keyClick(window, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_NEAR(strip->viewport().span(), 2.5, 0.01);
    EXPECT_NEAR(strip->timeToPixel(player->currentTime()), playheadX, 1e-6);
    QTest::keyClick(window, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_NEAR(strip->viewport().span(), 5.0, 0.01);
    QTest::keyClick(window, Qt::Key_0, Qt::ControlModifier);
    EXPECT_FALSE(strip->isZoomed());

    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_EQ(player->rate(), 1.0f);
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_EQ(player->rate(), 0.0f);

    // Tab reaches the toolbar's buttons, and Space presses the focused one instead of playing.
    auto* toolbar = window->findChild<QToolBar*>(QStringLiteral("toolbar"));
    ASSERT_TRUE(toolbar);
    // Its buttons show the theme's icons with their words beside them.
    EXPECT_EQ(toolbar->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    for (QAction* action : {window->startButton(), window->exportAllButton(), window->splitButton(), window->keepAllButton()}) {
        EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString() << " in the theme " << QIcon::themeName().toStdString();
        EXPECT_FALSE(action->icon().pixmap(16, 16).isNull());
    }
    // (The focus chain, as Tab follows it: other test programs on the same display may take the
    // window's activation, and with it QApplication's focus widget, at any moment.)
    QWidget* keepAll = toolbar->widgetForAction(window->keepAllButton());
    bool reachable = false;
    for (QWidget* next = window->nextInFocusChain(); next != window && !reachable; next = next->nextInFocusChain())
        reachable = next == keepAll && (next->focusPolicy() & Qt::TabFocus) && next->isVisibleTo(window) && next->isEnabled();
    EXPECT_TRUE(reachable);
    keepAll->setFocus(Qt::TabFocusReason);
    QTest::keyClick(keepAll, Qt::Key_Space);
    EXPECT_TRUE(window->project()->splits().empty());
    EXPECT_EQ(player->rate(), 0.0f);

    // Help > Show Introduction opens the introduction, and the same item closes it.
    auto* help = window->findChild<QMenu*>(QStringLiteral("helpMenu"));
    ASSERT_TRUE(help);
    ASSERT_TRUE(help->actions().contains(window->introButton()));
    EXPECT_EQ(window->introButton()->text(), QLatin1String("Show Introduction"));
    window->introButton()->trigger();
    EXPECT_TRUE(window->introController());
    EXPECT_EQ(window->introButton()->text(), QLatin1String("Hide Introduction"));
    window->introButton()->trigger();
    EXPECT_TRUE(runEventLoopUntil([&] { return !window->introController(); }));
}
