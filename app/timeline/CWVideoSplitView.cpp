#include "CWVideoSplitView.h"

#include "CWProject.h"
#include "CWThumbnail.h"
#include "CWTimelineLayout.h"
#include "Player.h"

#include <QPainter>
#include <QPaintEvent>

CWVideoSplitView::CWVideoSplitView(QWidget* parent) : CWBaseSplitView(parent)
{
    setObjectName(QStringLiteral("videoSplitView"));
    detailTimer_.setSingleShot(true);
    detailTimer_.setInterval(150);
    connect(&detailTimer_, &QTimer::timeout, this, &CWVideoSplitView::requestDetailThumbnails);
    connect(this, &CWBaseSplitView::viewChanged, &detailTimer_, qOverload<>(&QTimer::start));
}

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

void CWVideoSplitView::enumerateTiles(CMTime now, const std::shared_ptr<CWThumbnail>& live,
                                      const std::function<void(CMTime, const std::shared_ptr<CWThumbnail>&, QRectF)>& block) const
{
    if (!isZoomed()) {
        CWTimelineLayout::enumerateThumbnailTimesAndSplits(project()->timelineSnapshot(), QSizeF(size()), now, live, block);
        return;
    }
    // The whole source laid out at the view's scale; the tiles in view, shifted into it.
    const double offset = viewOffset();
    CWTimelineLayout::enumerateThumbnailTimesAndSplits(project()->timelineSnapshot(), QSizeF(wholeWidth(), height()), offset,
                                                       offset + width(), now, live,
                                                       [&](CMTime time, const std::shared_ptr<CWThumbnail>& thumbnail, QRectF rect) {
                                                           block(time, thumbnail, rect.translated(-offset, 0));
                                                       });
}

void CWVideoSplitView::requestDetailThumbnails()
{
    if (!isReadyToPlay() || !isZoomed() || !project())
        return;
    // Each tile's stretch runs from its time to the next tile's.
    std::vector<CMTime> starts;
    enumerateTiles(player()->currentTime(), CWThumbnail::withImage(currentFrameImage(), player()->currentTime()),
                   [&](CMTime time, const std::shared_ptr<CWThumbnail>&, QRectF) { starts.push_back(time); });
    std::vector<CMTimeRange> spans;
    for (size_t i = 0; i + 1 < starts.size(); ++i)
        if (CMTimeCompare(starts[i], starts[i + 1]) < 0)
            spans.push_back(CMTimeRangeFromTimeToTime(starts[i], starts[i + 1]));
    if (!starts.empty() && CMTimeCompare(starts.back(), player()->duration()) < 0)
        spans.push_back(CMTimeRangeFromTimeToTime(starts.back(), pixelToTime(width())));
    project()->loadDetailThumbnails(spans);
}

void CWVideoSplitView::resizeEvent(QResizeEvent* event)
{
    CWBaseSplitView::resizeEvent(event);
    if (isZoomed())
        detailTimer_.start();
}

void CWVideoSplitView::paintEvent(QPaintEvent* event)
{
    prepareView();
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
    if (!isReadyToPlay())
        return;
    hideProgressSpinner();
    const CMTime now = player()->currentTime();
    const std::shared_ptr<CWThumbnail> live = CWThumbnail::withImage(currentFrameImage(), now);
    enumerateTiles(now, live, [&](CMTime, const std::shared_ptr<CWThumbnail>& thumbnail, QRectF rect) {
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
    drawOverview(painter);
}
