#include "CWBaseSplitView.h"

#include "CWColors.h"
#include "CWExcludedSegment.h"
#include "CWProject.h"
#include "CWTimelineLayout.h"
#include "Player.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>

#include <algorithm>
#include <cmath>

CWBaseSplitView::CWBaseSplitView(QWidget* parent) : QWidget(parent), progressSpinner_(new QProgressBar(this))
{
    setObjectName(QStringLiteral("splitView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(60);
    progressSpinner_->setObjectName(QStringLiteral("progressSpinner"));
    progressSpinner_->setRange(0, 0); // busy
    progressSpinner_->setTextVisible(false);
    progressSpinner_->setFixedSize(120, 12);
    placeSpinner();
    showProgressSpinner();
}

CWBaseSplitView::~CWBaseSplitView() = default;

void CWBaseSplitView::usePlayer(Player* player, std::shared_ptr<CWProject> project, PlayerView* playerView)
{
    disconnect(projectConnection_);
    releasePlayerItem();
    project_ = std::move(project);
    playerView_ = playerView;
    player_ = player;
    if (player_) {
        connect(player_, &Player::statusChanged, this, [this] {
            if (isReadyToPlay())
                playerBecameReady();
            update();
        });
        connect(player_, &Player::frameChanged, this, qOverload<>(&QWidget::update));
        connect(player_, &QObject::destroyed, this, [this] { player_ = nullptr; });
        if (isReadyToPlay())
            playerBecameReady();
    }
    if (project_)
        projectConnection_ = connect(project_.get(), &CWProject::projectChanged, this, qOverload<>(&QWidget::update));
    update();
}

void CWBaseSplitView::releasePlayerItem()
{
    if (player_)
        disconnect(player_, nullptr, this, nullptr);
    player_ = nullptr;
}

bool CWBaseSplitView::isReadyToPlay() const { return player_ && player_->status() == Player::Status::ReadyToPlay; }

void CWBaseSplitView::playerBecameReady() { hideProgressSpinner(); }

double CWBaseSplitView::timeToPixel(CMTime time) const
{
    if (!player_ || !CMTIME_IS_NUMERIC(player_->duration()))
        return 0.0;
    if (viewport_.isZoomed())
        return viewport_.xForSeconds(CMTimeGetSeconds(time), width());
    return CMTimeGetSeconds(time) / CMTimeGetSeconds(player_->duration()) * width();
}

CMTime CWBaseSplitView::pixelToTime(double x) const
{
    if (!player_ || !CMTIME_IS_NUMERIC(player_->duration()))
        return kCMTimeZero;
    const CMTime duration = player_->duration();
    if (viewport_.isZoomed())
        return CMTimeMakeWithSeconds(viewport_.secondsForX(x, width()), duration.timescale);
    return CMTimeMakeWithSeconds(x / width() * CMTimeGetSeconds(duration), duration.timescale);
}

double CWBaseSplitView::wholeWidth() const
{
    return viewport_.isZoomed() ? width() * viewport_.duration() / viewport_.span() : double(width());
}

double CWBaseSplitView::viewOffset() const { return viewport_.isZoomed() ? viewport_.start() / viewport_.duration() * wholeWidth() : 0.0; }

// ---- zooming

void CWBaseSplitView::setViewport(const CWTimelineViewport& viewport)
{
    const bool changed = viewport.start() != viewport_.start() || viewport.span() != viewport_.span();
    viewport_ = viewport;
    if (!changed)
        return;
    update();
    emit viewChanged();
}

void CWBaseSplitView::prepareView()
{
    if (!player_ || !CMTIME_IS_NUMERIC(player_->duration()))
        return;
    const double duration = CMTimeGetSeconds(player_->duration());
    if (duration != viewport_.duration()) {
        CWTimelineViewport whole;
        whole.setDuration(duration);
        setViewport(whole);
    }
    // Only a playhead that moved pulls the view along: a view moved in the overview stays where it was put.
    const CMTime now = player_->currentTime();
    if (CMTimeCompare(now, followedTime_) == 0)
        return;
    followedTime_ = now;
    CWTimelineViewport paged = viewport_;
    if (paged.follow(CMTimeGetSeconds(now)))
        setViewport(paged);
}

void CWBaseSplitView::zoomAt(double factor, double x)
{
    if (!isReadyToPlay())
        return;
    prepareView();
    CWTimelineViewport zoomed = viewport_;
    zoomed.zoomBy(factor, viewport_.secondsForX(x, width()), x, width());
    setViewport(zoomed);
}

void CWBaseSplitView::zoomAroundPlayhead(double factor)
{
    if (!isReadyToPlay())
        return;
    prepareView();
    const double x = timeToPixel(player_->currentTime());
    CWTimelineViewport zoomed = viewport_;
    zoomed.zoomBy(factor, CMTimeGetSeconds(player_->currentTime()), x >= 0 && x <= width() ? x : width() / 2.0, width());
    setViewport(zoomed);
}

void CWBaseSplitView::zoomToFit()
{
    CWTimelineViewport whole = viewport_;
    whole.zoomToFit();
    setViewport(whole);
}

void CWBaseSplitView::moveViewToOverviewX(double x)
{
    CWTimelineViewport moved = viewport_;
    moved.moveTo(x / width() * viewport_.duration() - viewport_.span() / 2);
    setViewport(moved);
}

// ---- drawing

QBrush CWBaseSplitView::patternImageWithColor(const QColor& color)
{
    // The stripes run at 45 degrees (rising to the right), 25 units wide, so along a row or a column
    // they repeat every 50 × √2 = 70.71 units. Seven of those are 494.97 units: a 495-pixel tile repeats
    // without a visible seam, and a texture fills far faster than a gradient would be evaluated.
    constexpr int kTile = 495;
    const double across = 50.0 / std::sqrt(2.0);
    QLinearGradient stripes(0, 0, across, across);
    stripes.setSpread(QGradient::RepeatSpread);
    QColor half = color;
    half.setAlphaF(color.alphaF() * 0.5f);
    stripes.setColorAt(0.0, half);
    stripes.setColorAt(0.5, half);
    stripes.setColorAt(0.5000001, color);
    stripes.setColorAt(1.0, color);
    QImage tile(kTile, kTile, QImage::Format_ARGB32_Premultiplied);
    tile.fill(Qt::transparent);
    QPainter painter(&tile);
    painter.fillRect(tile.rect(), stripes);
    painter.end();
    return QBrush(tile);
}

QColor CWBaseSplitView::activeStrokeColor() const { return CWColors::systemPink(palette()); }

QColor CWBaseSplitView::inactiveStrokeColor() const { return CWColors::blendedTowardBlack(activeStrokeColor(), 0.3); }

QBrush CWBaseSplitView::activeFillColor() const
{
    static const QBrush light = patternImageWithColor(CWColors::systemPink(QPalette(Qt::white)));
    static const QBrush dark = patternImageWithColor(CWColors::systemPink(QPalette(Qt::black)));
    return CWColors::isDark(palette()) ? dark : light;
}

QBrush CWBaseSplitView::inactiveFillColor() const
{
    static const QBrush light = patternImageWithColor(CWColors::blendedTowardBlack(CWColors::systemPink(QPalette(Qt::white)), 0.3));
    static const QBrush dark = patternImageWithColor(CWColors::blendedTowardBlack(CWColors::systemPink(QPalette(Qt::black)), 0.3));
    return CWColors::isDark(palette()) ? dark : light;
}

void CWBaseSplitView::paintEvent(QPaintEvent*)
{
    prepareView();
    QPainter painter(this);
    drawBackground(painter);
    drawSplits(painter);
    drawCurrentPosition(painter);
    drawOverview(painter);
}

void CWBaseSplitView::drawBackground(QPainter& painter) { painter.fillRect(rect(), palette().color(QPalette::Base)); }

void CWBaseSplitView::drawSplits(QPainter& painter)
{
    if (!project_)
        return;
    const CMTime now = player_ ? player_->currentTime() : kCMTimeZero;
    // The boxes are asked for on every redraw; they are drawn again only when they (or which of them
    // is active) changed. While playing, a redraw then only lays the finished layer down.
    // Zoomed in, the boxes are laid out for the whole source at the view's scale and shifted into
    // view; what lies beyond the edges is cut off (with room for the outline) so no box gets huge.
    std::vector<LayerBox> boxes;
    const double offset = viewOffset(), right = width() + 8.0;
    CWTimelineLayout::enumerateSplits(project_->timelineSnapshot(), QSizeF(wholeWidth(), height()),
                                      [&](const std::shared_ptr<CWExcludedSegment>& segment, QRectF box) {
                                          if (offset != 0) {
                                              box.translate(-offset, 0);
                                              if (box.right() < -8.0 || box.left() > right)
                                                  return;
                                              box.setLeft(std::max(box.left(), -8.0));
                                              box.setRight(std::min(box.right(), right));
                                          }
                                          boxes.push_back({box, segment->includesTime(now), CMTimeGetSeconds(segment->duration()) == 0.0});
                                      });
    const qreal scale = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * scale).toSize();
    const bool dark = CWColors::isDark(palette());
    if (boxes != layerBoxes_ || segmentLayer_.size() != pixels || dark != layerDark_) {
        segmentLayer_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        segmentLayer_.setDevicePixelRatio(scale);
        segmentLayer_.fill(Qt::transparent);
        QPainter layer(&segmentLayer_);
        for (const LayerBox& box : boxes)
            displaySplit(layer, box.rect, box.splitPoint, box.active);
        layerBoxes_ = std::move(boxes);
        layerDark_ = dark;
    }
    if (!layerBoxes_.empty())
        painter.drawImage(QPointF(0, 0), segmentLayer_);
}

void CWBaseSplitView::displaySplit(QPainter& painter, QRectF box, bool splitPoint, bool active)
{
    double radius = 5.0;
    if (splitPoint) {
        box.adjust(-1, 0, 1, 0);
        radius = 1.0;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(active ? activeFillColor() : inactiveFillColor());
    painter.setPen(QPen(active ? activeStrokeColor() : inactiveStrokeColor(), active ? 3.0 : 2.0));
    painter.drawRoundedRect(box, radius, radius); // filled, then outlined
    painter.restore();
}

void CWBaseSplitView::drawCurrentPosition(QPainter& painter)
{
    double x = timeToPixel(player_ ? player_->currentTime() : kCMTimeZero);
    if (viewport_.isZoomed() && (x < 0 || x > width()))
        return; // out of view: the overview shows where it is
    if (x <= 1)
        x = 1;
    if (x >= width() - 1)
        x = width() - 1;
    painter.save();
    painter.setPen(QPen(CWColors::systemYellow(palette()), 2.0));
    painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    painter.restore();
}

void CWBaseSplitView::drawOverview(QPainter& painter)
{
    if (!viewport_.isZoomed())
        return;
    // The whole source across the width: a dark band, the visible stretch light on it (at least 4 units
    // wide, so it stays visible at any zoom) and the playhead in the playhead's colour.
    const double w = width(), top = height() - kOverviewHeight, d = viewport_.duration();
    painter.save();
    painter.fillRect(QRectF(0, top, w, kOverviewHeight), QColor(0, 0, 0, 160));
    const double left = viewport_.start() / d * w;
    const double visible = std::max(4.0, viewport_.span() / d * w);
    painter.fillRect(QRectF(std::min(left, w - visible), top + 1, visible, kOverviewHeight - 2), QColor(255, 255, 255, 200));
    if (player_) {
        const double x = CMTimeGetSeconds(player_->currentTime()) / d * w;
        painter.fillRect(QRectF(std::clamp(x - 1, 0.0, w - 2), top, 2, kOverviewHeight), CWColors::systemYellow(palette()));
    }
    painter.restore();
}

// ---- spinner

void CWBaseSplitView::showProgressSpinner()
{
    progressSpinner_->show();
    progressSpinner_->raise();
}

void CWBaseSplitView::hideProgressSpinner() { progressSpinner_->hide(); }

void CWBaseSplitView::placeSpinner()
{
    progressSpinner_->move((width() - progressSpinner_->width()) / 2, (height() - progressSpinner_->height()) / 2);
}

void CWBaseSplitView::resizeEvent(QResizeEvent*) { placeSpinner(); }

// ---- mouse, wheel and keys

void CWBaseSplitView::seekToTimeForX(double x, bool dragging)
{
    if (!isReadyToPlay())
        return;
    const CMTime duration = player_->duration();
    // Not clamped here: a drag beyond the edges asks for a time outside the source, which the player clamps.
    const CMTime target = viewport_.isZoomed()
                              ? CMTimeMake(int64_t(std::floor(viewport_.secondsForX(x, width()) * duration.timescale)), duration.timescale)
                              : CMTimeMake(int64_t(x / width() * double(duration.value)), duration.timescale);
    if (seeksToFrameStarts() && dragging)
        player_->scrubToFrameStart(target); // the keyframe at once, the exact frame when decoded
    else if (seeksToFrameStarts())
        player_->seekToFrameStart(target);
    else
        player_->seekToTime(target, kCMTimeZero, kCMTimeZero);
    update();
}

void CWBaseSplitView::mousePressEvent(QMouseEvent* event)
{
    draggingOverview_ = isReadyToPlay() && viewport_.isZoomed() && event->position().y() >= height() - kOverviewHeight - 2;
    if (draggingOverview_)
        moveViewToOverviewX(event->position().x());
    else
        seekToTimeForX(event->position().x());
}

void CWBaseSplitView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    if (draggingOverview_)
        moveViewToOverviewX(event->position().x());
    else
        seekToTimeForX(event->position().x(), true);
}

void CWBaseSplitView::mouseReleaseEvent(QMouseEvent*) { draggingOverview_ = false; }

void CWBaseSplitView::wheelEvent(QWheelEvent* event)
{
    if (!isReadyToPlay())
        return;
    // Pixels where the device reports them (touchpads), else 1/8 degree per unit as Qt counts wheel
    // notches (15 units a notch). Shift turns a vertical wheel into a horizontal one. Qt counts right
    // and down as negative; both move forward in time, as in every editor.
    const QPoint pixels = event->pixelDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        // Up (or away) zooms in: a notch by √2, two notches double; touchpads zoom by their pixels.
        const double steps = pixels.isNull() ? event->angleDelta().y() / 120.0 : pixels.y() / 60.0;
        if (steps != 0)
            zoomAt(std::pow(2.0, steps / 2), event->position().x());
        event->accept();
        return;
    }
    const QPoint units = pixels.isNull() ? event->angleDelta() / 8 : pixels;
    double deltaX = -units.x();
    if (deltaX == 0 && (event->modifiers() & Qt::ShiftModifier))
        deltaX = -units.y();
    if (deltaX == 0)
        return;
    event->accept();
    const CMTime duration = player_->duration();
    // A pixel's worth of time: zoomed in, of the visible stretch.
    const double span = viewport_.isZoomed() ? viewport_.span() * duration.timescale : double(duration.value);
    const CMTime delta = CMTimeMake(int64_t(deltaX / width() * span), duration.timescale);
    player_->seekToTime(CMTimeAdd(player_->currentTime(), delta), kCMTimeZero, kCMTimeZero);
    update();
}

void CWBaseSplitView::seekByTime(CMTime delta)
{
    if (!player_)
        return;
    player_->seekToTime(CMTimeAdd(player_->currentTime(), delta), kCMTimeZero, kCMTimeZero);
    update();
}

bool CWBaseSplitView::handleKey(QKeyEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier)
        return false;
    if (event->key() == Qt::Key_Right) {
        seekByTime(CMTimeMake(1, 30));
        return true;
    }
    if (event->key() == Qt::Key_Left) {
        seekByTime(CMTimeMake(-1, 30));
        return true;
    }
    const QString text = event->text();
    if (text.isEmpty() || !project_)
        return false;
    const CMTime now = player_ ? player_->currentTime() : kCMTimeZero;
    // With Caps Lock the letters come in capitals; with Shift held they are other letters.
    const QChar key = event->modifiers() & Qt::ShiftModifier ? text.front() : text.front().toLower();
    switch (key.unicode()) {
    case 'x':
        project_->addSplitAt(now);
        return true;
    case 'a':
        project_->addCutAt(now);
        return true;
    case 's':
        project_->removeCutAt(now);
        return true;
    default:
        return false;
    }
}
