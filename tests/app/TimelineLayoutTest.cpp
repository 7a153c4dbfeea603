#include "CWExcludedSegment.h"
#include "CWThumbnail.h"
#include "CWTimelineLayout.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

CMTime s(int64_t seconds) { return CMTimeMake(seconds, 1); }

} // namespace

TEST(CWTimelineLayout, SegmentRectanglesSpanTheirTimes)
{
    CWTimelineSnapshot snapshot;
    snapshot.duration = s(60);
    snapshot.splits = {CWExcludedSegment::startingAt(s(15), s(15)), CWExcludedSegment::startingAt(s(30), s(45))};
    std::vector<QRectF> rects;
    CWTimelineLayout::enumerateSplits(snapshot, QSizeF(600, 40), [&](const auto&, QRectF r) { rects.push_back(r); });
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ(rects[0], QRectF(150, 0, 0, 40));
    EXPECT_EQ(rects[1], QRectF(300, 0, 150, 40));
}

// Tiles of the player picture's aspect; a segment starts a tile of its own.
TEST(CWTimelineLayout, TilesTakeThePicturesAspectAndASegmentStartsItsOwn)
{
    CWTimelineSnapshot snapshot;
    snapshot.duration = s(10);
    QImage picture(160, 120, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    for (int i = 0; i < 30; ++i)
        snapshot.thumbnails.push_back(CWThumbnail::withImage(picture, CMTimeMake(i, 3)));
    auto cut = CWExcludedSegment::startingAt(s(2), s(4));
    cut->useStartThumbnail(CWThumbnail::withImage(picture, s(2)));
    snapshot.splits.push_back(cut);
    std::vector<std::pair<double, QRectF>> tiles;
    CWTimelineLayout::enumerateThumbnailTimesAndSplits(snapshot, QSizeF(400, 30), s(1), snapshot.thumbnails[3],
                                                       [&](CMTime t, const auto& image, QRectF r) {
                                                           EXPECT_TRUE(image);
                                                           tiles.emplace_back(CMTimeGetSeconds(t), r);
                                                       });
    ASSERT_GE(tiles.size(), 2u);
    EXPECT_EQ(tiles[0].second, QRectF(0, 0, 40, 30));
    EXPECT_TRUE(std::any_of(tiles.begin(), tiles.end(), [](const auto& tile) { return tile.first == 2.0 && tile.second.x() == 80; }));
    EXPECT_GE(tiles.back().second.right(), 400);
}

// A zoomed-in strip lays the whole source out far wider than it shows and asks only for the tiles in
// view: what those draw is what the whole layout draws there, wherever the view starts (before, on and
// just after segment starts, two segments starting within one tile, the end).
TEST(CWTimelineLayout, TheTilesInViewDrawWhatTheWholeLayoutDrawsThere)
{
    const auto solid = [](int index) {
        QImage image(16, 9, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(index * 37 % 360, 200, 100 + index % 150));
        return image;
    };
    CWTimelineSnapshot snapshot;
    snapshot.duration = CMTimeMake(60 * 600, 600);
    for (int second = 0; second < 60; ++second)
        snapshot.thumbnails.push_back(CWThumbnail::withImage(solid(second), s(second)));
    int next = 100;
    for (auto [start, stop] : {std::pair{4380, 5400}, {12030, 12030}, {12120, 15000}, {24000, 24600}}) {
        auto segment = CWExcludedSegment::startingAt(CMTimeMake(start, 600), CMTimeMake(stop, 600));
        segment->useStartThumbnail(CWThumbnail::withImage(solid(next++), CMTimeMake(start, 600)));
        snapshot.splits.push_back(segment);
    }
    const auto live = CWThumbnail::withImage(solid(300), kCMTimeZero);
    const QSizeF whole(6000, 40);
    QImage all(whole.toSize(), QImage::Format_RGB32);
    all.fill(Qt::black);
    {
        QPainter painter(&all);
        CWTimelineLayout::enumerateThumbnailTimesAndSplits(
            snapshot, whole, kCMTimeInvalid, live,
            [&](CMTime, const auto& thumbnail, QRectF rect) { painter.drawImage(rect, thumbnail->image()); });
    }
    for (const double left : {0.0, 350.0, 729.0, 730.0, 731.0, 1000.0, 2005.0, 2012.0, 2020.0, 3999.0, 5400.0}) {
        QImage view(600, 40, QImage::Format_RGB32);
        view.fill(Qt::black);
        int tiles = 0;
        QPainter painter(&view);
        CWTimelineLayout::enumerateThumbnailTimesAndSplits(snapshot, whole, left, left + 600, kCMTimeInvalid, live,
                                                           [&](CMTime, const auto& thumbnail, QRectF rect) {
                                                               painter.drawImage(rect.translated(-left, 0), thumbnail->image());
                                                               ++tiles;
                                                           });
        painter.end();
        EXPECT_EQ(view, all.copy(int(left), 0, 600, 40)) << "view from " << left;
        EXPECT_LE(tiles, 600 / 71 + 3) << "only the tiles in view, from " << left;
    }
}
