// The window's Tracks pop-up: every track of the source with a box, ticked ones exported and the
// unticked left out, the preset menu following what is left; a file of one track shows no pop-up.
#include "CWTrackChooser.h"
#include "DocumentHarness.h"
#include "MediaAsset.h"

#include <QCheckBox>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>

namespace {
// The names of the presets the window's preset menu offers.
QStringList offeredPresets(CWDocumentWindowController* window)
{
    QStringList names;
    for (QAction* action : window->presetButton()->menu()->actions())
        if (action->isCheckable())
            names << action->text();
    return names;
}
} // namespace

TEST_F(DocumentTest, TheTracksPopUpChoosesWhatIsExported)
{
    CWBaseDocument* document = open(twoAudioAndSubtitle(), "passthrough");
    ASSERT_TRUE(document);
    CWDocumentWindowController* window = windowOf(document);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    CWTrackChooser* tracks = window->trackChooser();
    QToolButton* button = tracks->button();
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(button->text(), QLatin1String("Tracks: all"));
    ASSERT_EQ(tracks->boxes().size(), 4u);
    EXPECT_EQ(tracks->boxes()[0]->text(), QStringLiteral("0 · Video · h264 · und · 160×120"));
    EXPECT_EQ(tracks->boxes()[2]->text(), QStringLiteral("2 · Audio · aac · deu · 1 channel"));
    EXPECT_EQ(tracks->boxes()[3]->text(), QStringLiteral("3 · Subtitle · mov_text · und"));
    ASSERT_TRUE(runEventLoopUntil([&] { return offeredPresets(window).contains(QLatin1String("Thumbnail")); }));

    // The pop-up as the user sees it: the English track is unticked with a click, and the pop-up stays
    // open for the next one.
    QMenu* menu = button->menu();
    menu->popup(button->mapToGlobal(QPoint(0, button->height())));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QCheckBox* english = tracks->boxes()[1];
    ASSERT_TRUE(english->isVisible());
    QTest::mouseClick(english, Qt::LeftButton, {}, QPoint(10, english->height() / 2));
    EXPECT_FALSE(english->isChecked());
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(document->project()->leftOutTracks(), std::vector<int32_t>{document->project()->avAsset()->tracks()[1].trackID});
    EXPECT_EQ(button->text(), QLatin1String("Tracks: 3 of 4"));
    // On screen, the English track's box is drawn empty and the German one's ticked, like the video's.
    const auto indicator = [](QCheckBox* box) {
        QStyleOptionButton option;
        option.initFrom(box);
        return box->grab().toImage().copy(box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box));
    };
    EXPECT_NE(indicator(english), indicator(tracks->boxes()[2]));
    EXPECT_EQ(indicator(tracks->boxes()[0]), indicator(tracks->boxes()[2]));

    // Without the video, the presets that need pictures leave the menu; with it, they come back.
    QCheckBox* video = tracks->boxes()[0];
    QTest::mouseClick(video, Qt::LeftButton, {}, QPoint(10, video->height() / 2));
    ASSERT_TRUE(runEventLoopUntil([&] { return !offeredPresets(window).contains(QLatin1String("Thumbnail")); }));
    EXPECT_TRUE(window->presetDescription()->text().contains(QLatin1String("audio"))) << window->presetDescription()->text().toStdString();
    QTest::mouseClick(video, Qt::LeftButton, {}, QPoint(10, video->height() / 2));
    ASSERT_TRUE(runEventLoopUntil([&] { return offeredPresets(window).contains(QLatin1String("Thumbnail")); }));
    menu->close();

    // The export holds the video, the German audio track (now the default) and the subtitles.
    window->startButton()->trigger();
    auto* dialog = waitForChild<QFileDialog>(window, "exportDialog");
    ASSERT_TRUE(dialog);
    const QString file = target(QStringLiteral("chosen.mp4"));
    choose(dialog, file);
    ASSERT_TRUE(runEventLoopUntil([&] { return document->isExporting(); }));
    EXPECT_FALSE(button->isEnabled()) << "the choice is fixed while it is exported";
    QMessageBox* alert = waitForAlert(document);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), QLatin1String("Export successful"));
    alert->close();
    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(streamLayout(file), "video default, audio deu default, subtitle default");
    const std::vector<float> sound = monoAudio(file);
    EXPECT_GT(toneStrength(sound, 880), 20 * toneStrength(sound, 440));

    // A file of one track has nothing to choose.
    CWBaseDocument* single = open(wav());
    ASSERT_TRUE(single);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(windowOf(single)));
    EXPECT_FALSE(windowOf(single)->trackChooser()->button()->isVisible());
}
