// The video document's strip: a film strip of the project's thumbnails across the full width, the tile
// under the playhead showing the frame the player shows (upright and with square pixels, as the player
// delivers it; a black tile the size of the first thumbnail, or 400 × 200, while there is none), with the
// segments and the playhead on top. Black with the busy indicator until the player is ready. Tiles are
// kept scaled to the strip's height, so a repaint only draws them. Zoomed in, the tiles in view ask the
// project for pictures of their own stretch (once the view has stood still for a moment), shown as
// they arrive; until then a tile shows the strip's picture before it.
//
// Main thread.
#pragma once

#include "CWBaseSplitView.h"

#include <QHash>
#include <QImage>
#include <QTimer>

#include <functional>
#include <memory>

class CWThumbnail;

class CWVideoSplitView : public CWBaseSplitView {
    Q_OBJECT
public:
    explicit CWVideoSplitView(QWidget* parent = nullptr);
    // The project's thumbnail at time zero, or a black 400 × 200 image when that is missing.
    QImage anyThumbnailImage() const;
    static QImage blackImageWithExtent(QSize size);
    // The tile image of the current frame.
    QImage currentFrameImage() const;
    // A cut placed by clicking begins and ends at what the picture shows.
    bool seeksToFrameStarts() const override { return true; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The thumbnail's image at the tile's size, scaled once per thumbnail and strip height.
    const QImage& scaledTile(const std::shared_ptr<CWThumbnail>& thumbnail, QSize size);
    void requestDetailThumbnails();
    void enumerateTiles(CMTime now, const std::shared_ptr<CWThumbnail>& live,
                        const std::function<void(CMTime, const std::shared_ptr<CWThumbnail>&, QRectF)>& block) const;

    QHash<const CWThumbnail*, QImage> tiles_;
    std::vector<std::shared_ptr<CWThumbnail>> tileOwners_; // keeps the keys of tiles_ alive
    int tileHeight_ = 0;
    QTimer detailTimer_; // a view that stood still this long asks for its pictures
};
