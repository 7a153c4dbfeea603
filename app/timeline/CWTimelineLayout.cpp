#include "CWTimelineLayout.h"

#include <algorithm>
#include <cmath>

namespace CWTimelineLayout {

void enumerateSplits(const CWTimelineSnapshot& snapshot, QSizeF size, const SplitBlock& block)
{
    const double d = CMTimeGetSeconds(snapshot.duration);
    if (!(d > 0))
        return;
    for (const auto& segment : snapshot.splits) {
        const double start = CMTimeGetSeconds(segment->start()), stop = CMTimeGetSeconds(segment->stop());
        block(segment, QRectF(size.width() * start / d, 0, size.width() * (stop - start) / d, size.height()));
    }
}

void enumerateThumbnailTimesAndSplits(const CWTimelineSnapshot& snapshot, QSizeF size, CMTime playerTime,
                                      const std::shared_ptr<CWThumbnail>& playerImage, const TileBlock& block)
{
    enumerateThumbnailTimesAndSplits(snapshot, size, 0, size.width(), playerTime, playerImage, block);
}

void enumerateThumbnailTimesAndSplits(const CWTimelineSnapshot& snapshot, QSizeF size, double visibleLeft, double visibleRight,
                                      CMTime playerTime, const std::shared_ptr<CWThumbnail>& playerImage, const TileBlock& block)
{
    const CMTime d = snapshot.duration;
    const double seconds = CMTimeGetSeconds(d);
    const QSizeF imageSize = playerImage ? playerImage->size() : QSizeF(1, 1);
    if (!(seconds > 0) || !(size.width() > 0) || !(imageSize.width() > 0) || !(imageSize.height() > 0))
        return;
    const QRect tile = QRectF(0, 0, size.height() * (imageSize.width() / imageSize.height()), size.height()).toAlignedRect();
    if (tile.width() <= 0)
        return;
    const auto& segments = snapshot.splits;
    const bool detailed = visibleRight - visibleLeft < size.width();
    const auto xOf = [&](CMTime time) { return size.width() * CMTimeGetSeconds(time) / seconds; };
    const auto timeAt = [&](double x) { return CMTimeMake(int64_t(double(d.value) / (size.width() / x)), d.timescale); };
    size_t next = 0;
    CMTime t = kCMTimeZero;
    double x = 0;
    if (visibleLeft > 0) {
        // The tiles restart at each segment's start: skip to the last restart at or before the visible
        // part, then whole tiles up to the one that reaches into it.
        size_t restart = 0;
        double anchor = 0;
        while (restart < segments.size() && xOf(segments[restart]->start()) <= visibleLeft)
            anchor = xOf(segments[restart++]->start());
        if (restart > 0 && anchor + tile.width() > visibleLeft) {
            next = restart - 1; // its own tile is in view
            t = segments[next]->start();
        } else {
            next = restart;
            x = anchor + std::floor((visibleLeft - anchor) / tile.width()) * tile.width();
            t = x > 0 ? timeAt(x) : kCMTimeZero;
        }
    }
    do {
        std::shared_ptr<CWExcludedSegment> owner;
        if (next < segments.size() && segments[next]->isBefore(t)) {
            owner = segments[next++];
            t = owner->start();
            x = xOf(t);
        }
        const double left = x;
        x += tile.width();
        const CMTime following = timeAt(x);
        std::shared_ptr<CWThumbnail> image;
        if (owner)
            image = owner->startThumbnail() ? owner->startThumbnail() : CWThumbnail::missingThumbnail();
        else if (CMTimeCompare(t, playerTime) <= 0 && CMTimeCompare(playerTime, following) <= 0 && playerImage)
            image = playerImage;
        else if (detailed && !snapshot.detailThumbnails.empty()) {
            const auto detail = CWTimelineSnapshot::thumbnailAt(snapshot.detailThumbnails, following);
            image = CMTimeCompare(detail->time(), t) >= 0 && CMTimeCompare(detail->time(), following) < 0
                        ? detail
                        : CWTimelineSnapshot::thumbnailAt(snapshot.thumbnails, t);
        } else
            image = CWTimelineSnapshot::thumbnailAt(snapshot.thumbnails, t);
        block(t, image, QRectF(left, tile.y(), tile.width(), tile.height()));
        t = following;
    } while (x < visibleRight);
}

} // namespace CWTimelineLayout
