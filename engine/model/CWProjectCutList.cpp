// CWProject's edits as cut lists carry them (see CWCutList).
#include "CWProject.h"

#include "CWUndoManager.h"
#include "MediaAsset.h"

#include <QFileInfo>

std::vector<CWCutList::Edit> CWProject::edits() const
{
    std::vector<CWCutList::Edit> edits;
    for (const auto& segment : splits())
        edits.push_back({segment->start(), segment->stop()});
    return edits;
}

CWCutList::Source CWProject::cutListSource() const
{
    const std::vector<MediaTrack> video = asset_ ? asset_->tracksWithMediaType(MediaType::Video) : std::vector<MediaTrack>();
    return {duration(), video.empty() ? 0.0 : video.front().nominalFrameRate, asset_ ? QFileInfo(asset_->path()).fileName() : QString()};
}

void CWProject::replaceEdits(const std::vector<CWCutList::Edit>& edits, const QString& actionName)
{
    CWSegmentList list;
    for (const CWCutList::Edit& edit : edits)
        list.push_back(std::make_shared<CWExcludedSegment>(edit.start, edit.stop));
    restoreSplits(list);
    if (undoManager_)
        undoManager_->setActionName(actionName);
    for (const auto& segment : splits())
        requestStartThumbnail(segment);
}
