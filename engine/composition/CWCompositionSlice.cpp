#include "CWCompositionSlice.h"

#include "CWExportProject.h"
#include "CWTimeStream.h"
#include "Log.h"
#include "MediaAsset.h"

std::shared_ptr<CWCompositionSlice> CWCompositionSlice::fromSourceRange(CMTimeRange source, CMTimeRange target,
                                                                        std::weak_ptr<CWExportProject> project)
{
    return std::make_shared<CWCompositionSlice>(source, target, std::move(project));
}

CMTime CWCompositionSlice::sourceTimeAtTargetTime(CMTime time) const
{
    return CMTimeMapTimeFromRangeToRange(time, targetTimeRange(), sourceTimeRange());
}

void CWCompositionSlice::moveTargetToStart()
{
    targetTimeRange_.update([](CMTimeRange& range) { range.start = CMTimeMake(0, range.duration.timescale); });
}

bool CWCompositionSlice::composeAsset(const MediaAsset& asset, bool, Composition& composition,
                                      std::vector<VideoCompositionInstruction>& instructions, Error* error) const
{
    const CMTimeRange source = sourceTimeRange();
    const CMTime at = targetTimeRange().start;
    std::vector<MediaTrack> videoTracks;
    for (CompositionTrack& track : composition.tracks) {
        const std::optional<MediaTrack> sourceTrack = asset.trackWithID(track.trackID);
        Error insertError =
            compositionError(CompositionErrorCode::CannotInsert, QStringLiteral("The source has no track %1.").arg(track.trackID));
        if (!sourceTrack || !track.insertTimeRange(source, *sourceTrack, at, &insertError)) {
            CWLog(QStringLiteral("error during composition: %1").arg(insertError.message));
            setError(error, insertError);
            return false;
        }
        if (track.mediaType == MediaType::Video)
            videoTracks.push_back(*sourceTrack);
    }
    composeVideoTracks(videoTracks, instructions);
    return true;
}

void CWCompositionSlice::composeVideoTracks(const std::vector<MediaTrack>& videoTracks,
                                            std::vector<VideoCompositionInstruction>& instructions) const
{
    const CMTimeRange target = targetTimeRange();
    CWTimeStream stream(CMTimeRangeGetEnd(target));
    stream.skipUntil(target.start);
    instructions.push_back(passThroughInstructionForTracks(videoTracks, stream.rangeWithDuration(duration())));
}

VideoCompositionInstruction CWCompositionSlice::passThroughInstructionForTracks(const std::vector<MediaTrack>& videoTracks,
                                                                                CMTimeRange range) const
{
    VideoCompositionInstruction instruction;
    instruction.timeRange = range;
    const std::shared_ptr<CWExportProject> project = project_.get().lock();
    const QTransform transform = project ? project->renderTransform() : QTransform();
    for (const MediaTrack& track : videoTracks)
        instruction.layerInstructions.push_back({track.trackID, transform});
    return instruction;
}

QString CWCompositionSlice::description() const
{
    return QStringLiteral("CWCompositionSlice - [%1] -> [%2] @ %3")
        .arg(CMTimeGetSeconds(sourceTimeRange().start))
        .arg(CMTimeGetSeconds(targetTimeRange().start))
        .arg(CMTimeGetSeconds(duration()));
}
