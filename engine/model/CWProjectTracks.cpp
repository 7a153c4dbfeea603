// CWProject's choice of the source's tracks that the exports take.
#include "CWProject.h"

#include "MediaAsset.h"

#include <algorithm>

std::vector<int32_t> CWProject::leftOutTracks() const { return configuration()->leftOutTrackIDs(); }

void CWProject::leaveOutTracks(std::vector<int32_t> trackIDs)
{
    std::sort(trackIDs.begin(), trackIDs.end());
    trackIDs.erase(std::unique(trackIDs.begin(), trackIDs.end()), trackIDs.end());
    configuration()->setLeftOutTrackIDs(std::move(trackIDs));
}

std::shared_ptr<MediaAsset> CWProject::exportAsset() const { return MediaAsset::withoutTracks(asset_, leftOutTracks()); }
