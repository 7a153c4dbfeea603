#include "Composition.h"

#include "MediaAsset.h"

#include <algorithm>
#include <cmath>

Error compositionError(CompositionErrorCode code, const QString& message)
{
    return Error{QString::fromLatin1(kCompositionErrorDomain), int(code), message, {}, {}};
}

bool CompositionTrack::insertTimeRange(CMTimeRange sourceRange, const MediaTrack& sourceTrack, CMTime at, Error* error)
{
    if (!CMTIMERANGE_IS_VALID(sourceRange) || CMTIMERANGE_IS_EMPTY(sourceRange) || !CMTIME_IS_NUMERIC(at)) {
        setError(error, compositionError(CompositionErrorCode::CannotInsert,
                                         QStringLiteral("Cannot insert an empty or invalid time range into track %1.").arg(trackID)));
        return false;
    }
    if (sourceTrack.mediaType != mediaType) {
        setError(error, compositionError(CompositionErrorCode::CannotInsert,
                                         QStringLiteral("Track %1 holds %2, not %3.")
                                             .arg(trackID)
                                             .arg(mediaTypeName(mediaType), mediaTypeName(sourceTrack.mediaType))));
        return false;
    }
    // In target order, after segments placed at the same time; appending (the usual case) shifts nothing.
    const auto place = std::partition_point(segments.begin(), segments.end(),
                                            [at](const CompositionSegment& segment) { return !(at < segment.targetStart); });
    segments.insert(place, CompositionSegment{sourceTrack.trackID, sourceRange, at});
    return true;
}

CMTime CompositionTrack::duration() const
{
    CMTime end = kCMTimeZero;
    for (const CompositionSegment& segment : segments)
        end = CMTimeMaximum(end, CMTimeRangeGetEnd(segment.targetRange()));
    return end;
}

CompositionTrack& Composition::addMutableTrack(MediaType mediaType, int32_t preferredTrackID)
{
    int32_t id = preferredTrackID;
    auto taken = [&](int32_t candidate) { return candidate <= 0 || trackWithID(candidate) != nullptr; };
    if (taken(id)) {
        id = 1;
        while (taken(id))
            ++id;
    }
    CompositionTrack track;
    track.trackID = id;
    track.mediaType = mediaType;
    tracks.push_back(track);
    return tracks.back();
}

const CompositionTrack* Composition::trackWithID(int32_t trackID) const
{
    for (const CompositionTrack& track : tracks)
        if (track.trackID == trackID)
            return &track;
    return nullptr;
}

std::vector<const CompositionTrack*> Composition::tracksWithMediaType(MediaType mediaType) const
{
    std::vector<const CompositionTrack*> result;
    for (const CompositionTrack& track : tracks)
        if (track.mediaType == mediaType)
            result.push_back(&track);
    return result;
}

CMTime Composition::duration() const
{
    CMTime end = kCMTimeZero;
    for (const CompositionTrack& track : tracks)
        end = CMTimeMaximum(end, track.duration());
    return end;
}

VideoComposition VideoComposition::withPropertiesOfAsset(const MediaAsset& asset)
{
    VideoComposition composition;
    const auto video = asset.tracksWithMediaType(MediaType::Video);
    if (video.empty())
        return composition;
    const MediaTrack& track = video.front();
    const QRectF upright = track.preferredTransform.mapRect(QRectF(QPointF(0, 0), QSizeF(track.naturalSize)));
    composition.renderSize = QSize(int(std::lround(upright.width())), int(std::lround(upright.height())));
    if (track.nominalFrameRate > 0)
        composition.frameDuration = CMTimeMakeWithSeconds(1.0 / track.nominalFrameRate, 600000);
    return composition;
}

bool validateVideoComposition(const VideoComposition& videoComposition, const Composition& composition, CMTimeRange timeRange,
                              VideoCompositionValidationDelegate* delegate)
{
    bool valid = true;
    auto report = [&](const std::function<bool()>& callback) {
        valid = false;
        return delegate ? callback() : false;
    };
    if (!CMTIME_IS_NUMERIC(videoComposition.frameDuration) || videoComposition.frameDuration.value <= 0)
        if (!report([&] { return delegate->invalidValueForKey(QStringLiteral("frameDuration")); }))
            return false;
    if (videoComposition.renderSize.width() <= 0 || videoComposition.renderSize.height() <= 0)
        if (!report([&] { return delegate->invalidValueForKey(QStringLiteral("renderSize")); }))
            return false;
    CMTime covered = timeRange.start;
    for (size_t i = 0; i < videoComposition.instructions.size(); ++i) {
        const VideoCompositionInstruction& instruction = videoComposition.instructions[i];
        const CMTimeRange& range = instruction.timeRange;
        if (!CMTIMERANGE_IS_VALID(range) || CMTIMERANGE_IS_EMPTY(range) || CMTimeCompare(range.start, covered) < 0) {
            if (!report([&] { return delegate->invalidTimeRangeInInstruction(i, instruction); }))
                return false;
            continue;
        }
        if (CMTimeCompare(range.start, covered) > 0)
            if (!report([&] { return delegate->emptyTimeRange(CMTimeRangeFromTimeToTime(covered, range.start)); }))
                return false;
        covered = CMTimeRangeGetEnd(range);
        for (const VideoCompositionLayerInstruction& layer : instruction.layerInstructions) {
            const CompositionTrack* track = composition.trackWithID(layer.trackID);
            if (!track || track->mediaType != MediaType::Video)
                if (!report([&] { return delegate->invalidTrackIDInInstruction(instruction, layer); }))
                    return false;
        }
    }
    if (CMTimeCompare(covered, CMTimeRangeGetEnd(timeRange)) < 0)
        report([&] { return delegate->emptyTimeRange(CMTimeRangeFromTimeToTime(covered, CMTimeRangeGetEnd(timeRange))); });
    return valid;
}
