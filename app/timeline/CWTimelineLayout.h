// Where the timeline strip draws what: the rectangle of each segment, and the tiles of the film strip
// (each tile's source time, its picture and its rectangle). Works on one snapshot of the project
// (CWProject::timelineSnapshot), taken once per repaint, so a repaint costs no round trip to the
// project's work queue per tile. Plain functions over values; any thread.
#pragma once

#include "CMTime.h"
#include "CWTimelineSnapshot.h"

#include <QRectF>
#include <QSizeF>

#include <functional>
#include <memory>
#include <vector>

namespace CWTimelineLayout {
using SplitBlock = std::function<void(const std::shared_ptr<CWExcludedSegment>&, QRectF)>;
using TileBlock = std::function<void(CMTime, const std::shared_ptr<CWThumbnail>&, QRectF)>;

void enumerateSplits(const CWTimelineSnapshot& snapshot, QSizeF size, const SplitBlock& block);
// Tiles of the player image's aspect across the width; a segment starts a tile of its own showing its
// start picture; the tile under the player's time shows the player's image.
void enumerateThumbnailTimesAndSplits(const CWTimelineSnapshot& snapshot, QSizeF size, CMTime playerTime,
                                      const std::shared_ptr<CWThumbnail>& playerImage, const TileBlock& block);
// The same layout over the whole size, but only the tiles that reach into [visibleLeft, visibleRight)
// are enumerated (a zoomed-in strip lays the whole source out far wider than it shows). When that part
// is narrower than the size, a tile shows the last detail thumbnail made within its time span, if any.
void enumerateThumbnailTimesAndSplits(const CWTimelineSnapshot& snapshot, QSizeF size, double visibleLeft, double visibleRight,
                                      CMTime playerTime, const std::shared_ptr<CWThumbnail>& playerImage, const TileBlock& block);
} // namespace CWTimelineLayout
