// The audio and video strips and the audio overlay, rendered and checked at known pixels: the waveform's
// bars as its reduction defines them (one chunk, fewer frames than bars, silence, sound on the right
// channel only, the samples past the last bar never looked at), input and edit commands held while it
// is computed, the tags and cover art over the player; the film strip's live tile upright and with square
// pixels, its black fallback and nothing but black before the player is ready.
#include "CWAudioDocumentWindowController.h"
#include "CWAudioMetadataOverlay.h"
#include "CWAudioSplitView.h"
#include "CWBaseDocument.h"
#include "CWColors.h"
#include "CWDocumentController.h"
#include "CWExcludedSegment.h"
#include "CWPreset.h"
#include "CWProject.h"
#include "CWThumbnail.h"
#include "CWTimelineLayout.h"
#include "CWVideoSplitView.h"
#include "CWWaveformAccumulator.h"
#include "Player.h"
#include "PlayerView.h"
#include "support/TestMedia.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

using namespace TestMedia;

namespace {

QString audioFixture(const char* name, const QString& source, const QStringList& extra = {})
{
    return make(QString::fromLatin1(name),
                QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), source} + extra);
}

template <class Strip> struct Bound {
    std::unique_ptr<Player> player;
    std::shared_ptr<CWProject> project;
    std::unique_ptr<Strip> view;
};

template <class Strip> Bound<Strip> bind(const QString& path, QSize size, bool waitUntilReady = true, bool previews = false)
{
    CWPreset::registerStandardPresets();
    Bound<Strip> bound;
    bound.project = CWProject::forAVAsset(openAsset(path), CWProject::Options{previews});
    bound.player = std::make_unique<Player>(path);
    bound.view = std::make_unique<Strip>();
    bound.view->setFixedSize(size);
    bound.view->usePlayer(bound.player.get(), bound.project, nullptr);
    bound.view->show();
    if (waitUntilReady) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(bound.view.get()));
        EXPECT_TRUE(runEventLoopUntil([&] { return bound.player->status() == Player::Status::ReadyToPlay; }, 20000));
    }
    return bound;
}

// The waveform, once computed (the first redraw after the player is ready starts it).
void waitForWaveform(CWAudioSplitView& strip)
{
    strip.repaint();
    EXPECT_TRUE(runEventLoopUntil([&] { return !strip.isGeneratingWaveform() && !strip.waveformData().empty(); }, 60000));
}

bool near(QRgb pixel, QColor expected, int tolerance = 10)
{
    return std::abs(qRed(pixel) - expected.red()) <= tolerance && std::abs(qGreen(pixel) - expected.green()) <= tolerance &&
           std::abs(qBlue(pixel) - expected.blue()) <= tolerance;
}

} // namespace

TEST(Waveform, ReducesTheFirstChannelAsDefined)
{
    EXPECT_EQ(CWWaveformAccumulator::barCountForWidth(1280), 960u) << "never fewer bars than for 1920";
    EXPECT_EQ(CWWaveformAccumulator::barCountForWidth(3840.7), 1920u);

    // One chunk of L ≥ B frames: B bars of trunc(L / B) samples; the rest is not looked at, even for the peak.
    std::vector<float> samples(1000, 0.25f);
    for (size_t i = 990; i < samples.size(); ++i)
        samples[i] = 1.0f;
    CWWaveformAccumulator single(98);
    single.addChunk(samples.data(), int64_t(samples.size()), 100.0);
    single.finish();
    EXPECT_EQ(single.samplesPerBar(), 10u);
    ASSERT_EQ(single.bars().size(), 98u);
    EXPECT_FLOAT_EQ(single.bars().back(), 0.25f);
    EXPECT_FLOAT_EQ(single.maxSample(), 0.25f);

    // Two chunks: k comes from the first (its frames over the fraction read); a bar closes at the end of
    // a chunk when only one is missing, and the next chunk still adds one at its first multiple of k.
    CWWaveformAccumulator twoChunks(4);
    const std::vector<float> half(10, -0.5f);
    twoChunks.addChunk(half.data(), 10, 50.0);
    EXPECT_EQ(twoChunks.samplesPerBar(), 5u);
    EXPECT_EQ(twoChunks.bars().size(), 2u);
    twoChunks.addChunk(half.data(), 10, 100.0);
    twoChunks.finish();
    EXPECT_EQ(twoChunks.bars().size(), 4u);

    // Fewer frames than bars: one bar per frame.
    CWWaveformAccumulator few(960);
    const std::vector<float> five{0.1f, -0.2f, 0.3f, -0.4f, 0.5f};
    few.addChunk(five.data(), 5, 100.0);
    few.finish();
    EXPECT_EQ(few.bars(), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f, 0.5f}));
}

TEST(AudioStrip, DrawsTheWaveformOfTheFirstChannel)
{
    // 1 s of a 0.1 tone with a full-scale burst in the last 10 ms, which lies past the last bar.
    const QString tone = audioFixture("burst.wav", QStringLiteral("aevalsrc='if(gt(t,0.99),0.9,0.1*sin(2*PI*441*t))':s=44100:d=1"));
    // As wide as the screen (1920 under the test server): one bar every 2 units, 1 unit wide.
    Bound<CWAudioSplitView> bound = bind<CWAudioSplitView>(tone, QSize(1920, 100));
    CWAudioSplitView& strip = *bound.view;
    ASSERT_EQ(CWAudioSplitView::totalScreenWidth(), 1920.0);
    EXPECT_TRUE(strip.progressLabel()->isVisible());
    EXPECT_EQ(strip.progressLabel()->text(), QLatin1String("Generating waveform..."));
    waitForWaveform(strip);
    EXPECT_FALSE(strip.progressLabel()->isVisible());
    ASSERT_EQ(strip.waveformData().size(), 960u);
    EXPECT_NEAR(strip.maxSample(), 0.1, 0.002) << "the burst after the last bar is never looked at";
    // 960 buckets of 45 samples hold 432 whole periods: the bars average 2/π of the peak.
    double mean = 0;
    for (float value : strip.waveformData())
        mean += value / 960.0;
    EXPECT_NEAR(mean / strip.maxSample(), 2 / M_PI, 0.01);

    // Bars 2 × H × 0.64 high are clipped at the edges: bar, gap, bar... over the whole height.
    const QImage shot = strip.grab().toImage();
    const QColor bar = strip.waveformColor(); // opaque
    for (int x = 100; x < 110; x += 2) {
        EXPECT_TRUE(near(shot.pixel(x, 3), bar, 12)) << x << " " << std::hex << shot.pixel(x, 3);
        EXPECT_TRUE(near(shot.pixel(x, 96), bar, 12)) << x;
        EXPECT_FALSE(near(shot.pixel(x + 1, 50), bar, 40)) << x + 1;
    }

    // Narrower than the screen, bars fall between pixels: every column shows the peak of its bars, a
    // steady band without gaps (at 942 px, bars every 0.98 px; at 1300 px, every 1.35 px).
    for (const int width : {942, 1300}) {
        Bound<CWAudioSplitView> narrow = bind<CWAudioSplitView>(tone, QSize(width, 100));
        waitForWaveform(*narrow.view);
        const QImage narrowShot = narrow.view->grab().toImage();
        int empty = 0;
        QString where;
        for (int x = 3; x < width - 1; ++x) // the playhead stands over the first columns
            if (!near(narrowShot.pixel(x, 50), bar, 12)) {
                ++empty;
                where += QString::number(x) + QLatin1Char(' ');
            }
        EXPECT_EQ(empty, 0) << width << " px wide, at " << where.toStdString();
    }

    // Silence and sound on the right channel only draw flat bars.
    for (const QString& flat : {silence(1), audioFixture("right-only.wav", QStringLiteral("sine=f=440:d=1"),
                                                         {QStringLiteral("-af"), QStringLiteral("pan=stereo|c0=0*c0|c1=c0")})}) {
        Bound<CWAudioSplitView> other = bind<CWAudioSplitView>(flat, QSize(960, 100));
        waitForWaveform(*other.view);
        EXPECT_EQ(other.view->maxSample(), 0.0f) << flat.toStdString();
        const QImage flatShot = other.view->grab().toImage();
        const QColor background = flatShot.pixel(5, 50);
        for (int x = 5; x < 960; x += 7)
            EXPECT_EQ(flatShot.pixel(x, 50), background.rgb()) << x;
    }

    // Fewer frames than bars: one bar per frame from the left edge.
    const QString tiny = audioFixture("tiny.wav", QStringLiteral("aevalsrc='0.5':s=8000:d=0.05"));
    Bound<CWAudioSplitView> short_ = bind<CWAudioSplitView>(tiny, QSize(960, 100));
    waitForWaveform(*short_.view);
    EXPECT_EQ(short_.view->waveformData().size(), 400u);
}

TEST(AudioStrip, HoldsInputAndEditsWhileComputing)
{
    CWPreset::registerStandardPresets();
    CWDocumentController controller;
    controller.setQuitHandler([] {});
    const QString minute = audioFixture("minute.wav", QStringLiteral("sine=f=440:d=60"));
    Error error;
    CWBaseDocument* document = controller.openDocumentWithContentsOfURL(minute, &error);
    ASSERT_TRUE(document) << error.describe().toStdString();
    auto* window = qobject_cast<CWAudioDocumentWindowController*>(document->windowControllers().front());
    ASSERT_TRUE(window);
    auto* strip = qobject_cast<CWAudioSplitView*>(window->splitView());
    ASSERT_TRUE(strip);
    ASSERT_TRUE(runEventLoopUntil([&] { return window->player()->status() == Player::Status::ReadyToPlay; }, 20000));
    if (!strip->isGeneratingWaveform() && strip->waveformData().empty())
        strip->generateWaveformData();
    ASSERT_TRUE(strip->isGeneratingWaveform());
    QAction* addCut = window->findChild<QAction*>(QStringLiteral("addCutItem"));
    ASSERT_TRUE(addCut);
    EXPECT_FALSE(addCut->isEnabled());
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    EXPECT_FALSE(strip->handleKey(&key));
    QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(strip->width() / 2, 10));
    EXPECT_EQ(CMTimeCompare(window->player()->currentTime(), kCMTimeZero), 0);
    ASSERT_TRUE(runEventLoopUntil([&] { return !strip->isGeneratingWaveform(); }, 60000));
    EXPECT_TRUE(addCut->isEnabled());
    EXPECT_TRUE(strip->handleKey(&key));
    document->project()->waitForQueuedWork();
    EXPECT_EQ(document->project()->splits().size(), 1u);
    controller.terminate();
    runEventLoopUntil([&] { return controller.documents().empty(); });
}

TEST(AudioOverlay, ShowsTheTagsAndTheCoverOverThePlayer)
{
    CWPreset::registerStandardPresets();
    CWDocumentController controller;
    controller.setQuitHandler([] {});
    Error error;
    CWBaseDocument* document = controller.openDocumentWithContentsOfURL(mp3WithCover(), &error);
    ASSERT_TRUE(document) << error.describe().toStdString();
    auto* window = qobject_cast<CWAudioDocumentWindowController*>(document->windowControllers().front());
    ASSERT_TRUE(window && window->metadataOverlay());
    CWAudioMetadataOverlay* overlay = window->metadataOverlay();
    ASSERT_TRUE(runEventLoopUntil([&] { return overlay->hasLoaded(); }));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_EQ(overlay->geometry(), window->playerView()->overlayArea()->rect());
    EXPECT_FALSE(overlay->mediaCoverArt().isNull());
    EXPECT_FALSE(overlay->mediaTitleLabel()->text().isEmpty());
    EXPECT_EQ(overlay->mediaTitleLabel()->text(), overlay->mediaTitle());
    EXPECT_TRUE(overlay->mediaArtistLabel()->text().startsWith(QStringLiteral("Artist: ")));
    EXPECT_TRUE(overlay->mediaArtistLabel()->isVisibleTo(overlay));
    // The cover, scaled down to fit and centred: its middle pixel is the cover's middle pixel.
    auto* strip = qobject_cast<CWAudioSplitView*>(window->splitView());
    waitForWaveform(*strip);
    const QImage shot = window->grab().toImage();
    const QPoint centre = overlay->mapTo(window, overlay->rect().center());
    const QImage& cover = overlay->mediaCoverArt();
    EXPECT_TRUE(near(shot.pixel(centre), cover.pixel(cover.width() / 2, cover.height() / 2), 30));
    QDir().mkpath(QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots"));
    EXPECT_TRUE(shot.save(QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots/audio-window.png")));

    // No tags at all: the file's name without extension, no artist or album line, the background image.
    CWBaseDocument* plain = controller.openDocumentWithContentsOfURL(silence(1), &error);
    ASSERT_TRUE(plain);
    auto* plainWindow = qobject_cast<CWAudioDocumentWindowController*>(plain->windowControllers().front());
    ASSERT_TRUE(runEventLoopUntil([&] { return plainWindow->metadataOverlay()->hasLoaded(); }));
    EXPECT_EQ(plainWindow->metadataOverlay()->mediaTitleLabel()->text(), QFileInfo(silence(1)).completeBaseName());
    EXPECT_FALSE(plainWindow->metadataOverlay()->mediaArtistLabel()->isVisibleTo(plainWindow->metadataOverlay()));
    EXPECT_FALSE(plainWindow->metadataOverlay()->mediaAlbumLabel()->isVisibleTo(plainWindow->metadataOverlay()));
    EXPECT_EQ(CWAudioMetadataOverlay::generateBackgroundImageForFilename(QString(), QPalette()).size(), QSize(400, 300));
    controller.terminate();
    runEventLoopUntil([&] { return controller.documents().empty(); });
}

TEST(VideoStrip, TheLiveTileIsUprightWithSquarePixels)
{
    // A phone-style clip: 160 × 120 coded, turned a quarter: upright it is 120 × 160, so tiles of a
    // 100-high strip are 75 wide.
    Bound<CWVideoSplitView> rotated = bind<CWVideoSplitView>(rotatedMov(), QSize(600, 100));
    ASSERT_TRUE(runEventLoopUntil([&] { return !rotated.player->currentFrame().image.isNull(); }));
    EXPECT_EQ(rotated.view->currentFrameImage().size(), QSize(120, 160));
    const auto live = CWThumbnail::withImage(rotated.view->currentFrameImage(), kCMTimeZero);
    std::vector<QRectF> tiles;
    CWTimelineLayout::enumerateThumbnailTimesAndSplits(
        rotated.project->timelineSnapshot(), QSizeF(600, 100), kCMTimeZero, live,
        [&](CMTime, const std::shared_ptr<CWThumbnail>&, QRectF rect) { tiles.push_back(rect); });
    ASSERT_FALSE(tiles.empty());
    EXPECT_EQ(tiles.front(), QRectF(0, 0, 75, 100));
    // The live tile on screen is the frame scaled into it.
    const QImage shot = rotated.view->grab().toImage();
    const QImage expected = rotated.view->currentFrameImage().scaled(75, 100);
    EXPECT_TRUE(near(shot.pixel(37, 20), expected.pixel(37, 20), 40));
    EXPECT_TRUE(near(shot.pixel(37, 80), expected.pixel(37, 80), 40));

    // 4:3 pixels: the frame as shown is 4/3 as wide for its height (3/4 as high for its width).
    const QString anamorphic =
        make(QStringLiteral("anamorphic.mp4"), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                                QStringLiteral("testsrc=size=160x120:rate=25:duration=1"), QStringLiteral("-vf"),
                                                QStringLiteral("setsar=4/3"), QStringLiteral("-c:v"), QStringLiteral("libx264")});
    Bound<CWVideoSplitView> wide = bind<CWVideoSplitView>(anamorphic, QSize(600, 100));
    ASSERT_TRUE(runEventLoopUntil([&] { return !wide.player->currentFrame().image.isNull(); }));
    const QSize frame = wide.view->currentFrameImage().size();
    EXPECT_NEAR(double(frame.width()) / frame.height(), 160.0 * 4 / 3 / 120, 0.02);

    // The phone clip's window, for the record: its film strip upright.
    CWDocumentController controller;
    controller.setQuitHandler([] {});
    Error error;
    CWBaseDocument* document = controller.openDocumentWithContentsOfURL(rotatedMov(), &error);
    ASSERT_TRUE(document) << error.describe().toStdString();
    QWidget* window = document->windowControllers().front();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    ASSERT_TRUE(runEventLoopUntil([&] { return document->project()->thumbnails().size() >= 30; }, 20000));
    QTest::qWait(200);
    QDir().mkpath(QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots"));
    EXPECT_TRUE(window->grab().save(QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots/video-window.png")));
    controller.terminate();
    runEventLoopUntil([&] { return controller.documents().empty(); });
}

TEST(VideoStrip, BlackUntilReadyAndABlackTileWithoutAFrame)
{
    Bound<CWVideoSplitView> early = bind<CWVideoSplitView>(h264WithBFrames(), QSize(600, 100), false);
    early.project->addSplit(CWExcludedSegment::startingAt(CMTimeMake(2, 1), CMTimeMake(4, 1)));
    ASSERT_EQ(early.player->status(), Player::Status::Loading);
    const QImage shot = early.view->grab().toImage();
    for (const QPoint point : {QPoint(5, 5), QPoint(180, 50), QPoint(1, 50), QPoint(590, 90)})
        EXPECT_TRUE(near(shot.pixel(point), Qt::black, 2)) << point.x() << "," << point.y();
    EXPECT_TRUE(early.view->progressSpinner()->isVisible());

    // Without a frame and without thumbnails: a black 400 × 200 stand-in.
    CWVideoSplitView unbound;
    EXPECT_EQ(unbound.currentFrameImage().size(), QSize(400, 200));
    const QImage black = CWVideoSplitView::blackImageWithExtent(QSize(30, 20));
    EXPECT_EQ(black.size(), QSize(30, 20));
    EXPECT_EQ(qGray(black.pixel(10, 10)), 0);

    ASSERT_TRUE(runEventLoopUntil([&] { return early.player->status() == Player::Status::ReadyToPlay; }, 20000));
    early.view->repaint();
    EXPECT_FALSE(early.view->progressSpinner()->isVisible());
}

// In a video strip a click puts the playhead at the start of the frame it shows, so a cut placed by
// clicking begins and ends at the pictures the user saw.
TEST(VideoStrip, ADragShowsPicturesOnTheWayAndEndsOnTheExactFrame)
{
    Bound<CWVideoSplitView> bound = bind<CWVideoSplitView>(h264WithBFrames(), QSize(600, 100)); // 10 s at 25 fps
    std::vector<int> shown;
    QObject::connect(bound.player.get(), &Player::frameChanged,
                     [&] { shown.push_back(frameNumberInImage(bound.player->currentFrame().image)); });
    QTest::mousePress(bound.view.get(), Qt::LeftButton, {}, QPoint(0, 50));
    // A drag to x = 330 (5.5 s, inside frame 137), one move per frame of the screen.
    for (int x = 10; x <= 330; x += 10) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 50), bound.view->mapToGlobal(QPointF(x, 50)), Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(bound.view.get(), &move);
        QTest::qWait(16);
    }
    QTest::mouseRelease(bound.view.get(), Qt::LeftButton, {}, QPoint(330, 50));
    ASSERT_TRUE(runEventLoopUntil([&] { return frameNumberInImage(bound.player->currentFrame().image) == 137; }, 20000));
    EXPECT_EQ(CMTimeCompare(bound.player->currentTime(), CMTimeMake(137, 25)), 0) << CMTimeGetSeconds(bound.player->currentTime());
    // Pictures changed on the way, forward only.
    ASSERT_GE(shown.size(), 4u);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
}

TEST(VideoStrip, ClicksStandAtTheStartOfTheFrameShown)
{
    Bound<CWVideoSplitView> bound = bind<CWVideoSplitView>(h264WithBFrames(), QSize(600, 100)); // 10 s at 25 fps
    const auto clickAndWait = [&](int x) {
        QTest::mouseClick(bound.view.get(), Qt::LeftButton, {}, QPoint(x, 50));
        // x = 121 is 2.0167 s, inside frame 50 (2.00–2.04 s); x = 241 is 4.0167 s, inside frame 100.
        return runEventLoopUntil([&] { return frameNumberInImage(bound.player->currentFrame().image) == (x == 121 ? 50 : 100); }, 20000);
    };
    ASSERT_TRUE(clickAndWait(121));
    EXPECT_EQ(CMTimeCompare(bound.player->currentTime(), CMTimeMake(2, 1)), 0) << CMTimeGetSeconds(bound.player->currentTime());
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    EXPECT_TRUE(bound.view->handleKey(&a));
    ASSERT_TRUE(clickAndWait(241));
    EXPECT_EQ(CMTimeCompare(bound.player->currentTime(), CMTimeMake(4, 1)), 0) << CMTimeGetSeconds(bound.player->currentTime());
    EXPECT_TRUE(bound.view->handleKey(&a));
    bound.project->waitForQueuedWork();
    ASSERT_EQ(bound.project->splits().size(), 1u);
    EXPECT_EQ(CMTimeCompare(bound.project->splits()[0]->start(), CMTimeMake(2, 1)), 0);
    EXPECT_EQ(CMTimeCompare(bound.project->splits()[0]->stop(), CMTimeMake(4, 1)), 0);
}

// Zoomed in, every tile shows a frame of its own stretch of time, not the whole-source strip's picture
// before it; zoomed out again the strip is what it was.
TEST(VideoStrip, ZoomedInTilesShowFramesOfTheirOwnStretch)
{
    Bound<CWVideoSplitView> bound = bind<CWVideoSplitView>(h264WithBFrames(), QSize(600, 60), true, true); // 10 s at 25 fps
    CWVideoSplitView& strip = *bound.view;
    ASSERT_TRUE(runEventLoopUntil([&] { return bound.project->thumbnails().size() == 30; }, 30000));
    const QImage whole = strip.grab().toImage();
    strip.zoomAt(10, 300); // 4.5–5.5 s; the playhead (0 s) out of view
    ASSERT_NEAR(CMTimeGetSeconds(strip.pixelToTime(0)), 4.5, 0.001);
    // The tiles as the strip lays them: the whole source 6,000 units wide, the view 2,700 in.
    std::vector<std::pair<CMTime, QRectF>> tiles;
    const auto live = CWThumbnail::withImage(strip.currentFrameImage(), kCMTimeZero);
    CWTimelineLayout::enumerateThumbnailTimesAndSplits(
        bound.project->timelineSnapshot(), QSizeF(6000, 60), 2700, 3300, kCMTimeZero, live,
        [&](CMTime time, const std::shared_ptr<CWThumbnail>&, QRectF rect) { tiles.emplace_back(time, rect.translated(-2700, 0)); });
    // One detail picture for each tile in view.
    ASSERT_TRUE(runEventLoopUntil([&] { return bound.project->detailThumbnails().size() >= tiles.size(); }, 30000));
    const QImage shot = strip.grab().toImage();
    ASSERT_GE(tiles.size(), 3u);
    int checked = 0;
    for (size_t i = 0; i + 1 < tiles.size(); ++i) {
        const QRect rect = tiles[i].second.toAlignedRect();
        if (rect.left() < 0 || rect.right() >= 600)
            continue; // cut by an edge: its halves are not the picture's
        const int first = int(std::floor(CMTimeGetSeconds(tiles[i].first) * 25));
        const int last = int(std::floor(CMTimeGetSeconds(tiles[i + 1].first) * 25));
        const int shown = frameNumberInImage(shot.copy(rect));
        EXPECT_GE(shown, first) << "tile at " << CMTimeGetSeconds(tiles[i].first) << " s";
        EXPECT_LE(shown, last) << "tile at " << CMTimeGetSeconds(tiles[i].first) << " s";
        ++checked;
    }
    EXPECT_GE(checked, 2);
    strip.zoomToFit();
    EXPECT_EQ(strip.grab().toImage(), whole);
}

// Zoomed in, a 30 ms gap in a tone shows where it is, to the pixel: the waveform is read again for the
// stretch in view. (The whole file's bars are 21 ms long here; drawn enlarged, the one half in the gap
// would show sound at 10.025 s.) Zoomed out, the strip is what it was.
TEST(AudioStrip, ZoomedInTheWaveformIsReadAgainForTheStretchInView)
{
    const QString gap = audioFixture("gap.wav", QStringLiteral("aevalsrc='if(between(t,10,10.03),0,0.5*sin(2*PI*440*t))':s=44100:d=20"));
    Bound<CWAudioSplitView> bound = bind<CWAudioSplitView>(gap, QSize(600, 100));
    CWAudioSplitView& strip = *bound.view;
    waitForWaveform(strip);
    const QImage whole = strip.grab().toImage();
    strip.zoomAt(20, 300); // 9.5–10.5 s, a pixel per 1.67 ms
    ASSERT_NEAR(CMTimeGetSeconds(strip.pixelToTime(300)), 10.0, 0.001);
    ASSERT_TRUE(runEventLoopUntil([&] { return !strip.detail().bars.empty(); }, 20000));
    EXPECT_NEAR(strip.detail().start, 9.0, 0.001) << "half a view either side";
    const QImage shot = strip.grab().toImage();
    const QColor bar = strip.waveformColor();
    const auto x = [](double seconds) { return int((seconds - 9.5) * 600); };
    for (const double sound : {9.98, 9.995, 10.035, 10.2})
        EXPECT_TRUE(near(shot.pixel(x(sound), 50), bar, 12)) << sound << " s: " << std::hex << shot.pixel(x(sound), 50);
    EXPECT_FALSE(near(shot.pixel(1, 50), CWColors::systemYellow(strip.palette()), 40)) << "the playhead (at 0 s) is out of view";
    for (const double silent : {10.003, 10.015, 10.025})
        EXPECT_FALSE(near(shot.pixel(x(silent), 50), bar, 40)) << silent << " s: " << std::hex << shot.pixel(x(silent), 50);
    EXPECT_FALSE(strip.blocksEditing()) << "the detail never holds the edits";
    strip.zoomToFit();
    EXPECT_EQ(strip.grab().toImage(), whole);
}
