#include "CWVideoSplitView.h"

#include "CWProject.h"
#include "CWThumbnail.h"
#include "Player.h"

#include <QPainter>
#include <QPaintEvent>

CWVideoSplitView::CWVideoSplitView(QWidget* parent) : CWBaseSplitView(parent) { setObjectName(QStringLiteral("videoSplitView")); }

QImage CWVideoSplitView::blackImageWithExtent(QSize size)
{
    QImage black(std::max(1, size.width()), std::max(1, size.height()), QImage::Format_Grayscale8);
    black.fill(0);
    return black;
}

QImage CWVideoSplitView::anyThumbnailImage() const
{
    const std::shared_ptr<CWThumbnail> first = project() ? project()->thumbnailAt(kCMTimeZero) : nullptr;
    if (!first || first->isMissing() || first->image().isNull())
        return blackImageWithExtent(QSize(400, 200));
    return first->image();
}

QImage CWVideoSplitView::currentFrameImage() const
{
    const QImage& frame = player() ? player()->currentFrame().image : QImage();
    return frame.isNull() ? blackImageWithExtent(anyThumbnailImage().size()) : frame;
}

const QImage& CWVideoSplitView::scaledTile(const std::shared_ptr<CWThumbnail>& thumbnail, QSize size)
{
    if (tileHeight_ != size.height() || tiles_.size() > 512) {
        tiles_.clear();
        tileOwners_.clear();
        tileHeight_ = size.height();
    }
    auto found = tiles_.find(thumbnail.get());
    if (found == tiles_.end() || found->size() != size) {
        if (found == tiles_.end())
            tileOwners_.push_back(thumbnail);
        found = tiles_.insert(thumbnail.get(), thumbnail->image().scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    return *found;
}

void CWVideoSplitView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
    if (!isReadyToPlay())
        return;
    hideProgressSpinner();
    const CMTime now = player()->currentTime();
    const std::shared_ptr<CWThumbnail> live = CWThumbnail::withImage(currentFrameImage(), now);
    project()->enumerateThumbnailTimesAndSplitsForSize(QSizeF(size()), now, live,
                                                       [&](CMTime, const std::shared_ptr<CWThumbnail>& thumbnail, QRectF rect) {
                                                           if (!thumbnail || thumbnail->image().isNull())
                                                               return;
                                                           if (thumbnail == live) {
                                                               thumbnail->displayInRect(rect, painter); // changes with every frame
                                                               return;
                                                           }
                                                           const QSize tile = (rect.size() * devicePixelRatioF()).toSize();
                                                           painter.drawImage(rect, scaledTile(thumbnail, tile));
                                                       });
    drawSplits(painter);
    drawCurrentPosition(painter);
}
