#include "CWPresetQualityControlViewController.h"

#include "CWHighLowQualityPreset.h"

#include <QPainter>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionMenuItem>
#include <QVBoxLayout>

CWPresetQualityControlViewController::CWPresetQualityControlViewController(std::shared_ptr<CWHighLowQualityPreset> preset, QWidget* parent)
    : QFrame(parent, Qt::Popup), preset_(std::move(preset)), highestButton_(new QRadioButton(tr("Highest Quality"))),
      lowestButton_(new QRadioButton(tr("Lowest Quality")))
{
    setObjectName(QStringLiteral("CWPresetQualityControlViewController"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Opaque, so that nothing beneath reads through it; the frame is drawn as the style draws menus'.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    setAccessibleName(tr("Quality"));
    setAccessibleDescription(tr("The quality of the preset's export"));
    highestButton_->setObjectName(QStringLiteral("highestButton"));
    lowestButton_->setObjectName(QStringLiteral("lowestButton"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 14, 12); // room for the frame and its shadow edge
    layout->addWidget(highestButton_);
    layout->addWidget(lowestButton_);
    connect(highestButton_, &QRadioButton::clicked, this, &CWPresetQualityControlViewController::changeQuality);
    connect(lowestButton_, &QRadioButton::clicked, this, &CWPresetQualityControlViewController::changeQuality);
    selectHigh(preset_->highQuality());
}

void CWPresetQualityControlViewController::selectHigh(bool high)
{
    highestButton_->setChecked(high);
    lowestButton_->setChecked(!high);
}

void CWPresetQualityControlViewController::changeQuality() { preset_->useHighQuality(highestButton_->isChecked()); }

void CWPresetQualityControlViewController::showRelativeTo(QWidget* anchor)
{
    adjustSize();
    const QPoint rightEdge = anchor->mapToGlobal(QPoint(anchor->width(), (anchor->height() - height()) / 2));
    move(rightEdge);
    show();
}

void CWPresetQualityControlViewController::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    QStyleOptionMenuItem option;
    option.initFrom(this);
    option.rect = rect().adjusted(0, 0, -2, -2);
    style()->drawPrimitive(QStyle::PE_FrameMenu, &option, &painter, this);
    // A soft shadow edge below and to the right, as popovers cast where no compositor draws one.
    QColor shadow = palette().color(QPalette::Shadow);
    for (int step = 0; step < 2; ++step) {
        shadow.setAlpha(step == 0 ? 110 : 50);
        painter.setPen(shadow);
        painter.drawLine(2 + step, height() - 2 + step, width() - 2 + step, height() - 2 + step);
        painter.drawLine(width() - 2 + step, 2 + step, width() - 2 + step, height() - 2 + step);
    }
}

void CWPresetQualityControlViewController::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    emit closed();
}
