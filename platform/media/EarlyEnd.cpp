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
    if (!track.lengthIsIndexed && !asset.fileShrank())
        return true;
    const QString kind = track.mediaType == MediaType::Video ? QStringLiteral("Video") : QStringLiteral("Audio");
    setError(error, mediaLayerError(MediaLayerErrorCode::Damaged,
                                    QStringLiteral("%1 track %2 ends at %3 s, before its stated length: the file is damaged or incomplete.")
                                        .arg(kind)
                                        .arg(track.trackID)
                                        .arg(CMTimeGetSeconds(reached), 0, 'f', 3)));
    return false;
}
