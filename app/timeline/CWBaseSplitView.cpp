#include "CWBaseSplitView.h"

#include "CWColors.h"
#include "CWExcludedSegment.h"
#include "CWProject.h"
#include "Player.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>

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
    return CMTimeGetSeconds(time) / CMTimeGetSeconds(player_->duration()) * width();
}

CMTime CWBaseSplitView::pixelToTime(double x) const
{
    if (!player_ || !CMTIME_IS_NUMERIC(player_->duration()))
        return kCMTimeZero;
    const CMTime duration = player_->duration();
    return CMTimeMakeWithSeconds(x / width() * CMTimeGetSeconds(duration), duration.timescale);
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
    QPainter painter(this);
    drawBackground(painter);
    drawSplits(painter);
    drawCurrentPosition(painter);
}

void CWBaseSplitView::drawBackground(QPainter& painter) { painter.fillRect(rect(), palette().color(QPalette::Base)); }

void CWBaseSplitView::drawSplits(QPainter& painter)
{
    if (!project_)
        return;
    const CMTime now = player_ ? player_->currentTime() : kCMTimeZero;
    // The boxes are asked for on every redraw; they are drawn again only when they (or which of them
    // is active) changed. While playing, a redraw then only lays the finished layer down.
    std::vector<LayerBox> boxes;
    project_->enumerateSplitForSize(QSizeF(size()), [&](const std::shared_ptr<CWExcludedSegment>& segment, QRectF box) {
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
    if (x <= 1)
        x = 1;
    if (x >= width() - 1)
        x = width() - 1;
    painter.save();
    painter.setPen(QPen(CWColors::systemYellow(palette()), 2.0));
    painter.drawLine(QPointF(x, 0), QPointF(x, height()));
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
    const CMTime target = CMTimeMake(int64_t(x / width() * double(duration.value)), duration.timescale);
    if (seeksToFrameStarts() && dragging)
        player_->scrubToFrameStart(target); // the keyframe at once, the exact frame when decoded
    else if (seeksToFrameStarts())
        player_->seekToFrameStart(target);
    else
        player_->seekToTime(target, kCMTimeZero, kCMTimeZero);
    update();
}

void CWBaseSplitView::mousePressEvent(QMouseEvent* event) { seekToTimeForX(event->position().x()); }

void CWBaseSplitView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        seekToTimeForX(event->position().x(), true);
}

void CWBaseSplitView::wheelEvent(QWheelEvent* event)
{
    if (!isReadyToPlay())
        return;
    // Pixels where the device reports them (touchpads), else 1/8 degree per unit as Qt counts wheel
    // notches (15 units a notch). Shift turns a vertical wheel into a horizontal one. Qt counts right
    // and down as negative; both move forward in time, as in every editor.
    const QPoint pixels = event->pixelDelta();
    const QPoint units = pixels.isNull() ? event->angleDelta() / 8 : pixels;
    double deltaX = -units.x();
    if (deltaX == 0 && (event->modifiers() & Qt::ShiftModifier))
        deltaX = -units.y();
    if (deltaX == 0)
        return;
    event->accept();
    const CMTime duration = player_->duration();
    const CMTime delta = CMTimeMake(int64_t(deltaX / width() * double(duration.value)), duration.timescale);
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
