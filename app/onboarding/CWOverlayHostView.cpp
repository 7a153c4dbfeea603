#include "CWOverlayHostView.h"

#include "CWColors.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPaintEvent>

#include <cmath>

CWOverlayHostView::CWOverlayHostView(QWidget* window, QWidget* descriptionBox, QLabel* descriptionView)
    : QWidget(window), descriptionBox_(descriptionBox), descriptionView_(descriptionView)
{
    setObjectName(QStringLiteral("CWOverlayHostView"));
}

QColor CWOverlayHostView::overlayBackgroundColor() const
{
    return CWColors::isDark(palette()) ? QColor(0, 0, 0, 150) : QColor(0, 0, 0, 110);
}

QColor CWOverlayHostView::arrowColor() const { return CWColors::systemYellow(palette()); }

void CWOverlayHostView::showMessage(const QString& richText, QWidget* control)
{
    // The text is taken with every change, also when two steps point at the same control.
    if (control == currentControl_ && richText == currentText_)
        return;
    currentControl_ = control;
    currentText_ = richText;
    descriptionView_->setText(richText);
    descriptionView_->adjustSize();
    update();
}

QPointF CWOverlayHostView::pointOnRect(const QRectF& rect, QPointF p)
{
    const double x = rect.x(), y = rect.y(), w = rect.width(), h = rect.height();
    const double cx = x + w / 2, cy = y + h / 2;
    const QPointF centre(cx, cy);
    if (p.x() >= x && p.x() <= x + w && p.y() >= y && p.y() <= y + h)
        return centre;
    // A vertical line has an infinite slope: its crossings are on the top or bottom side at cx.
    const double m = (cy - p.y()) / (cx - p.x());
    if (p.x() <= cx) {
        const double y1 = m * (x - p.x()) + p.y();
        if (y <= y1 && y1 <= y + h)
            return QPointF(x, y1);
    }
    if (p.x() >= cx) {
        const double y2 = m * (x + w - p.x()) + p.y();
        if (y <= y2 && y2 <= y + h)
            return QPointF(x + w, y2);
    }
    if (p.y() <= cy) {
        const double x3 = p.x() + (y - p.y()) / m;
        if (x <= x3 && x3 <= x + w)
            return QPointF(x3, y);
    }
    if (p.y() >= cy) {
        const double x4 = p.x() + (y + h - p.y()) / m;
        if (x <= x4 && x4 <= x + w)
            return QPointF(x4, y + h);
    }
    return centre;
}

QRectF CWOverlayHostView::globalTargetControlFrame() const
{
    if (!currentControl_)
        return {};
    return QRectF(currentControl_->mapTo(window(), QPoint(0, 0)), QSizeF(currentControl_->size()));
}

QRectF CWOverlayHostView::globalDescriptionBoxFrame() const
{
    return QRectF(descriptionBox_->mapTo(window(), QPoint(0, 0)), QSizeF(descriptionBox_->size()));
}

QPointF CWOverlayHostView::arrowEndInControl() const
{
    return pointOnRect(globalTargetControlFrame().adjusted(-20, -20, 20, 20), globalDescriptionBoxFrame().center());
}

QPointF CWOverlayHostView::arrowStartInDescriptionTowards(QPointF p) const { return pointOnRect(globalDescriptionBoxFrame(), p); }

void CWOverlayHostView::drawArrow(QPainter& painter, QPointF a, QPointF b, const QColor& color)
{
    const QPointF q(a.x() + (b.x() - a.x()) * 0.25, a.y() + (b.y() - a.y()) * 0.75);
    QPainterPath curve(a);
    curve.cubicTo(q, q, b);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.strokePath(curve, QPen(color, 5.0));
    constexpr double kHeadAngle = 0.4363323129985824; // 25 degrees
    const double t = std::atan2(b.y() - q.y(), b.x() - q.x());
    QPolygonF head;
    head << b + 20 * QPointF(std::cos(t), std::sin(t)) << b - 20 * QPointF(std::cos(t + kHeadAngle), std::sin(t + kHeadAngle))
         << b - 20 * QPointF(std::cos(t - kHeadAngle), std::sin(t - kHeadAngle));
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPolygon(head);
    painter.restore();
}

void CWOverlayHostView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), overlayBackgroundColor());
    if (!currentControl_)
        return;
    const QPointF end = arrowEndInControl();
    const QPointF start = arrowStartInDescriptionTowards(end);
    const QPointF fromWindow = mapFrom(window(), QPoint(0, 0)); // the host covers the window: (0, 0)
    drawArrow(painter, start + fromWindow, end + fromWindow, arrowColor());
}
