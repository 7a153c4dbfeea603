#include "EarlyEnd.h"

#include "MediaAsset.h"
#include "MediaTypes.h"

extern "C" {
#include <libavutil/error.h>
}

namespace {
constexpr double kTolerance = 0.5; // seconds; more than any codec's last frame or priming
}

bool checkTrackReachedEnd(const MediaAsset& asset, const MediaTrack& track, CMTime reached, CMTime expectedEnd, Error* error)
{
    const CMTime end = CMTimeMinimum(expectedEnd, CMTimeRangeGetEnd(track.timeRange));
    if (!CMTIME_IS_NUMERIC(end) || !CMTIME_IS_NUMERIC(reached) || CMTimeGetSeconds(end) - CMTimeGetSeconds(reached) <= kTolerance)
        return true;
    // Without an exact length per track, a track that stops early has simply ended, unless the file
    // states a length and nothing at all follows where the track stopped.
    if (!track.lengthIsIndexed && !asset.fileShrank() &&
        (!asset.lengthIsStated() || asset.holdsMediaAfter(CMTimeAdd(reached, CMTimeMakeWithSeconds(kTolerance, 1000)))))
        return true;
    const QString kind = track.mediaType == MediaType::Video ? QStringLiteral("Video") : QStringLiteral("Audio");
    setError(error, mediaLayerError(MediaLayerErrorCode::Damaged, QStringLiteral("%1 track %2 ends at %3 s of %4 s: the file is cut short.")
                                                                      .arg(kind)
                                                                      .arg(track.trackID)
                                                                      .arg(CMTimeGetSeconds(reached), 0, 'f', 2)
                                                                      .arg(CMTimeGetSeconds(end), 0, 'f', 2)));
    return false;
}
