#include "CWPresetQualityControlViewController.h"

#include "CWHighLowQualityPreset.h"

#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

CWPresetQualityControlViewController::CWPresetQualityControlViewController(std::shared_ptr<CWHighLowQualityPreset> preset, QWidget* parent)
    : QWidget(parent, Qt::Popup), preset_(std::move(preset)), highestButton_(new QRadioButton(tr("Highest Quality"))),
      lowestButton_(new QRadioButton(tr("Lowest Quality")))
{
    setObjectName(QStringLiteral("CWPresetQualityControlViewController"));
    setAttribute(Qt::WA_DeleteOnClose);
    highestButton_->setObjectName(QStringLiteral("highestButton"));
    lowestButton_->setObjectName(QStringLiteral("lowestButton"));
    auto* layout = new QVBoxLayout(this);
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

void CWPresetQualityControlViewController::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    emit closed();
}
