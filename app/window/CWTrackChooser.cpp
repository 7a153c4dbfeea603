#include "CWTrackChooser.h"

#include "CWProject.h"
#include "MediaAsset.h"

#include <QCheckBox>
#include <QMenu>
#include <QToolButton>
#include <QWidgetAction>

#include <algorithm>

namespace {

QString kindTitle(MediaType type)
{
    const QString name = mediaTypeName(type);
    return name.left(1).toUpper() + name.mid(1);
}

} // namespace

CWTrackChooser::CWTrackChooser(QWidget* window, std::function<std::shared_ptr<CWProject>()> project)
    : QObject(window), project_(std::move(project)), button_(new QToolButton)
{
    button_->setObjectName(QStringLiteral("tracksButton"));
    button_->setPopupMode(QToolButton::InstantPopup);
    button_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button_->setMenu(new QMenu(button_));
    button_->setAccessibleName(tr("Tracks"));
    button_->setToolTip(tr("The tracks the export takes"));
    button_->menu()->setObjectName(QStringLiteral("tracksMenu"));
}

void CWTrackChooser::update()
{
    QMenu* menu = button_->menu();
    menu->clear();
    boxes_.clear();
    const std::shared_ptr<CWProject> project = project_();
    if (!project)
        return;
    const std::vector<MediaTrack>& tracks = project->avAsset()->tracks();
    const std::vector<int32_t> leftOut = project->leftOutTracks();
    for (size_t number = 0; number < tracks.size(); ++number) {
        const MediaTrack& track = tracks[number];
        const QString text = (QStringList{QString::number(number), kindTitle(track.mediaType), track.codecName} + trackFacts(track))
                                 .join(QStringLiteral(" · "));
        // A box in the menu, so that several tracks can be ticked before it closes.
        auto* box = new QCheckBox(text, menu);
        box->setObjectName(QStringLiteral("track%1Box").arg(number));
        box->setContentsMargins(8, 2, 8, 2);
        box->setChecked(std::find(leftOut.begin(), leftOut.end(), track.trackID) == leftOut.end());
        connect(box, &QCheckBox::toggled, this, &CWTrackChooser::choose);
        auto* action = new QWidgetAction(menu);
        action->setDefaultWidget(box);
        action->setText(text);
        menu->addAction(action);
        boxes_.push_back(box);
    }
    button_->setVisible(tracks.size() > 1);
    updateButton();
}

void CWTrackChooser::choose()
{
    const std::shared_ptr<CWProject> project = project_();
    if (!project)
        return;
    const std::vector<MediaTrack>& tracks = project->avAsset()->tracks();
    std::vector<int32_t> leftOut;
    for (size_t number = 0; number < tracks.size() && number < boxes_.size(); ++number)
        if (!boxes_[number]->isChecked())
            leftOut.push_back(tracks[number].trackID);
    project->leaveOutTracks(std::move(leftOut));
    updateButton();
    emit choiceChanged();
}

void CWTrackChooser::updateButton()
{
    const size_t taken = size_t(std::count_if(boxes_.begin(), boxes_.end(), [](QCheckBox* box) { return box->isChecked(); }));
    button_->setText(taken == boxes_.size() ? tr("Tracks: all") : tr("Tracks: %1 of %2").arg(taken).arg(boxes_.size()));
}
