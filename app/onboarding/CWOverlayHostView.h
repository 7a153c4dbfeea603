// The introduction's overlay: covers the whole window in the overlay colour and draws a curved arrow
// from the description box to the control of the current step (to the control's frame enlarged by 20
// on every side), with a head 20 long at 25 degrees either side. Geometry in the window's coordinates.
//
// Main thread. A child of the window; the first-steps controller owns its contents.
#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;

class CWOverlayHostView : public QWidget {
    Q_OBJECT
public:
    CWOverlayHostView(QWidget* window, QWidget* descriptionBox, QLabel* descriptionView);

    // Shows the text and points at the control (none: no arrow). Redraws when either changed.
    void showMessage(const QString& richText, QWidget* control);
    QWidget* currentControl() const { return currentControl_; }

    // Where the line from p to the rectangle's centre crosses its border; the centre when p is inside.
    static QPointF pointOnRect(const QRectF& rect, QPointF p);
    QRectF globalTargetControlFrame() const;
    QRectF globalDescriptionBoxFrame() const;
    QPointF arrowEndInControl() const;
    QPointF arrowStartInDescriptionTowards(QPointF p) const;
    static void drawArrow(QPainter& painter, QPointF from, QPointF to, const QColor& color);

    QColor overlayBackgroundColor() const;
    QColor arrowColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* descriptionBox_;
    QLabel* descriptionView_;
    QPointer<QWidget> currentControl_;
    QString currentText_;
};
