// What the timeline strip draws from, taken from the project at once (CWProject::timelineSnapshot):
// the duration, the segments and the thumbnail strips. Values shared through shared_ptr; any thread.
#pragma once

#include "CMTime.h"
#include "CWExcludedSegment.h"
#include "CWThumbnail.h"

#include <memory>
#include <vector>

struct CWTimelineSnapshot {
    CMTime duration = kCMTimeInvalid;
    std::vector<std::shared_ptr<CWExcludedSegment>> splits;
    std::vector<std::shared_ptr<CWThumbnail>> thumbnails;       // in time order
    std::vector<std::shared_ptr<CWThumbnail>> detailThumbnails; // made for a zoomed-in strip, in time order

    // The last thumbnail of a strip in time order strictly before the time (the first one for times up
    // to its own), or the missing thumbnail when the strip is empty.
    static std::shared_ptr<CWThumbnail> thumbnailAt(const std::vector<std::shared_ptr<CWThumbnail>>& strip, CMTime time);
};
