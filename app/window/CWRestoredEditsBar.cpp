#include "CWRestoredEditsBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

CWRestoredEditsBar::CWRestoredEditsBar(QWidget* parent)
    : QFrame(parent), label_(new QLabel), discard_(new QPushButton(tr("Discard"))), keep_(new QPushButton(tr("Keep")))
{
    setObjectName(QStringLiteral("restoredEditsBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::ToolTipBase);
    label_->setForegroundRole(QPalette::ToolTipText);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->addWidget(label_, 1);
    layout->addWidget(discard_);
    layout->addWidget(keep_);
    connect(discard_, &QPushButton::clicked, this, [this] {
        hide();
        emit discardRequested();
    });
    connect(keep_, &QPushButton::clicked, this, &QWidget::hide);
    hide();
}

void CWRestoredEditsBar::showRestored(int cuts, int splits, const QDateTime& saved)
{
    label_->setText(text(cuts, splits, saved, QDateTime::currentDateTime()));
    show();
}

QString CWRestoredEditsBar::text(int cuts, int splits, const QDateTime& saved, const QDateTime& now)
{
    const QLocale english(QLocale::English);
    const QDate day = saved.toLocalTime().date();
    const QString when =
        english.toString(day, day.year() == now.toLocalTime().date().year() ? QStringLiteral("d MMMM") : QStringLiteral("d MMMM yyyy"));
    const QString cutText = cuts == 1 ? tr("1 cut") : tr("%1 cuts").arg(cuts);
    const QString splitText = splits == 1 ? tr("1 split") : tr("%1 splits").arg(splits);
    const QString what = cuts > 0 && splits > 0 ? tr("%1 and %2").arg(cutText, splitText) : cuts > 0 ? cutText : splitText;
    return tr("Restored %1 from %2").arg(what, when);
}
