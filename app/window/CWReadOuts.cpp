#include "CWReadOuts.h"

#include "CWFrameInformation.h"
#include "CWProject.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>

CWReadOuts::CWReadOuts(QObject* parent)
    : QObject(parent), row_(new QHBoxLayout), progressIndicator_(new QProgressBar), timeField_(new QLabel), framesField_(new QLabel)
{
    progressIndicator_->setObjectName(QStringLiteral("progressIndicator"));
    progressIndicator_->setRange(0, 100);
    timeField_->setObjectName(QStringLiteral("timeField"));
    framesField_->setObjectName(QStringLiteral("framesField"));
    framesField_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row_->addWidget(timeField_, 1);
    row_->addWidget(progressIndicator_, 1);
    row_->addWidget(framesField_);
}

QString CWReadOuts::stringFromCMTime(CMTime time)
{
    if (!CMTIME_IS_VALID(time))
        return QStringLiteral("-/-");
    // A time before the start reads as the start (its fraction would otherwise show as a negative field).
    const double s = std::max(0.0, CMTimeGetSeconds(time));
    const unsigned long whole = static_cast<unsigned long>(s);
    const long hours = long(whole / 3600);
    const long minutes = long((whole % 3600) / 60);
    const long seconds = long((whole % 3600) % 60);
    const long frames = long((s - double(whole)) * 30);
    return QString::asprintf("%li:%02li:%02li.%02li", hours, minutes, seconds, frames);
}

QString CWReadOuts::timeInformation(const CWProject* project, CMTime time)
{
    return tr("Current Time: %1 – New Duration: %2 – Time after split: %3")
        .arg(stringFromCMTime(time), stringFromCMTime(project ? project->currentTargetDuration() : kCMTimeInvalid),
             stringFromCMTime(project ? project->targetTimeFromSourceTime(time) : kCMTimeInvalid));
}

void CWReadOuts::show(const CWProject* project, CMTime time, bool exporting)
{
    const std::shared_ptr<const CWFrameInformation> frames = project ? project->frameInformation() : nullptr;
    framesField_->setVisible(frames != nullptr);
    if (frames)
        framesField_->setText(frames->frameReportForTime(time, project->splits()));
    if (!exporting)
        timeField_->setText(timeInformation(project, time));
}

void CWReadOuts::showProgress(bool exporting)
{
    progressIndicator_->setVisible(exporting);
    timeField_->setVisible(!exporting);
}
