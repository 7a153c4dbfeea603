#include "CWTimelineSnapshot.h"

#include <algorithm>

std::shared_ptr<CWThumbnail> CWTimelineSnapshot::thumbnailAt(const std::vector<std::shared_ptr<CWThumbnail>>& strip, CMTime time)
{
    if (strip.empty())
        return CWThumbnail::missingThumbnail();
    // The first thumbnail at or after the time; the one before it is the answer.
    const auto at = std::lower_bound(strip.begin(), strip.end(), time,
                                     [](const auto& thumbnail, CMTime t) { return CMTimeCompare(thumbnail->time(), t) < 0; });
    return at == strip.begin() ? strip.front() : *(at - 1);
}
