#include "CWExportProject.h"

#include "CopyPlan.h"
#include "CWPreset.h"
#include "CWProjectMetadata.h"
#include "CWTimeStream.h"
#include "Log.h"
#include "MediaAsset.h"

#include <QFileInfo>

#include <algorithm>

namespace {

QString describeRange(CMTimeRange range)
{
    return QStringLiteral("{start %1 s, duration %2 s}").arg(CMTimeGetSeconds(range.start)).arg(CMTimeGetSeconds(range.duration));
}

} // namespace

std::shared_ptr<CWExportProject> CWExportProject::fromAsset(std::shared_ptr<MediaAsset> asset,
                                                            const std::vector<std::shared_ptr<CWExcludedSegment>>& splits,
                                                            std::shared_ptr<CWPreset> preset,
                                                            std::shared_ptr<CWProjectConfiguration> configuration, Error* error)
{
    const CMTime duration = asset ? asset->duration() : kCMTimeInvalid;
    return withSlices(std::move(asset), createSlicesFromSplits(splits, duration), std::move(preset), std::move(configuration), error);
}

std::shared_ptr<CWExportProject> CWExportProject::fromAsset(std::shared_ptr<MediaAsset> asset, std::shared_ptr<CWCompositionSlice> slice,
                                                            std::shared_ptr<CWPreset> preset,
                                                            std::shared_ptr<CWProjectConfiguration> configuration, Error* error)
{
    return withSlices(std::move(asset), CWSliceList{std::move(slice)}, std::move(preset), std::move(configuration), error);
}

std::shared_ptr<CWExportProject> CWExportProject::withSlices(std::shared_ptr<MediaAsset> asset, CWSliceList slices,
                                                             std::shared_ptr<CWPreset> preset,
                                                             std::shared_ptr<CWProjectConfiguration> configuration, Error* error)
{
    if (!asset)
        return nullptr;
    auto project = std::make_shared<CWExportProject>(std::move(asset), std::move(configuration));
    return project->build(std::move(slices), std::move(preset), error) ? project : nullptr;
}

std::shared_ptr<CWExportProject> CWExportProject::copyForSlice(const std::shared_ptr<CWCompositionSlice>& slice, Error* error) const
{
    return fromAsset(asset_, slice, preset_, configuration_, error);
}

CWSliceList CWExportProject::createSlicesFromSplits(const std::vector<std::shared_ptr<CWExcludedSegment>>& splits, CMTime duration)
{
    CWSliceList slices;
    if (!CMTIME_IS_NUMERIC(duration))
        return slices;
    CWTimeStream source(duration);
    auto target = CWTimeStream::emptyStreamWithTimescale(duration.timescale);
    for (const auto& segment : splits) {
        const CMTimeRange kept = source.rangeUntil(segment->start());
        source.skipUntil(segment->stop());
        if (kept.duration.value >= 1)
            slices.push_back(CWCompositionSlice::fromSourceRange(kept, target->rangeWithDuration(kept.duration)));
    }
    if (CMTimeCompare(source.currentTime(), duration) < 0) {
        const CMTimeRange rest = source.rangeUntilEnd();
        slices.push_back(CWCompositionSlice::fromSourceRange(rest, target->rangeWithDuration(rest.duration)));
    }
    return slices;
}

bool CWExportProject::build(CWSliceList slices, std::shared_ptr<CWPreset> preset, Error* error)
{
    // Building is deterministic: instructions that fail validation once would fail again.
    orientation_ = CWAssetOrientation::forAsset(*asset_);
    slices_ = std::move(slices);
    if (slices_.empty())
        return false;
    for (const auto& slice : slices_)
        slice->useProject(weak_from_this());
    preset_ = std::move(preset);
    composition_.reset();
    videoComposition_.reset();
    invalidationReasons_.clear();
    if (!createComposition(error) || !composition_)
        return false;
    if (invalidationReasons_.isEmpty())
        return true;
    CWLog(QStringLiteral("Invalid instructions: %1").arg(invalidationReasons_.join(QStringLiteral("; "))));
    setError(error, Error{QStringLiteral("CWExportProject"),
                          InvalidComposition,
                          QStringLiteral("Error in Composition Validation: %1").arg(invalidationReasons_.join(QStringLiteral("; "))),
                          QStringLiteral("Please contact the developer"),
                          {}});
    return false;
}

bool CWExportProject::createComposition(Error* error)
{
    Composition composition;
    AudioMix audioMix;
    const CWExportSessionClass sessionClass = preset_ ? preset_->exportSessionClass() : CWExportSessionClass::Basic;
    const bool includeAudio =
        CWExportSessionClasses::includeAudioTracksInComposition(sessionClass) && !asset_->tracksWithMediaType(MediaType::Audio).empty();
    const bool includeVideo =
        CWExportSessionClasses::includeVideoTracksInComposition(sessionClass) && !asset_->tracksWithMediaType(MediaType::Video).empty();
    for (const MediaTrack& track : asset_->tracks()) {
        if ((track.mediaType == MediaType::Audio && !includeAudio) || (track.mediaType == MediaType::Video && !includeVideo))
            continue;
        CompositionTrack& added = composition.addMutableTrack(track.mediaType, track.trackID);
        if (track.mediaType == MediaType::Audio)
            audioMix.inputParameters.push_back({track.trackID, 1.0});
        else if (track.mediaType == MediaType::Video)
            added.preferredTransform = renderTransform();
    }
    audioMix_ = audioMix;
    std::vector<VideoCompositionInstruction> instructions;
    CMTime end = kCMTimeZero;
    for (const auto& slice : slices_) {
        if (!slice->composeAsset(*asset_, includeAudio, composition, instructions, error)) {
            composition_.reset();
            return false;
        }
        end = slice->targetEndTime();
    }
    composition_ = std::move(composition);
    if (includeVideo) {
        VideoComposition videoComposition = VideoComposition::withPropertiesOfAsset(*asset_);
        videoComposition.instructions = std::move(instructions);
        if (preset_)
            preset_->configureVideoComposition(videoComposition, *asset_);
        validateVideoComposition(videoComposition, *composition_, CMTimeRangeMake(kCMTimeZero, end), this);
        videoComposition_ = std::move(videoComposition);
    }
    return true;
}

void CWExportProject::setupForMultiFileExport()
{
    for (const auto& slice : slices_)
        slice->moveTargetToStart();
}

CMTime CWExportProject::endTime() const { return slices_.empty() ? asset_->duration() : slices_.back()->sourceEndTime(); }

MediaFileType CWExportProject::fileType() const { return preset_ ? preset_->fileTypeForSource(*asset_) : MediaFileType::MPEG4; }

QString CWExportProject::baseFilename() const { return QFileInfo(asset_->path()).completeBaseName(); }

CMTime CWExportProject::targetProgressToSourceTime(double progress) const
{
    if (!composition_)
        return kCMTimeZero;
    CMTime t = composition_->duration();
    t.value = int64_t(double(t.value) * progress);
    for (const auto& slice : slices_)
        if (slice->includesTargetTime(t))
            return slice->sourceTimeAtTargetTime(t);
    return kCMTimeZero;
}

std::optional<MediaTrack> CWExportProject::sourceTrackForCompositionTrack(const CompositionTrack& track) const
{
    return asset_->trackWithID(track.trackID);
}

std::vector<MediaChapter> CWExportProject::chaptersForExport() const
{
    std::vector<MediaChapter> chapters;
    for (const MediaChapter& chapter : asset_->chapters()) {
        CMTime from = kCMTimeInvalid, to = kCMTimeInvalid;
        for (const auto& slice : slices_) {
            const CMTimeRange kept = CMTimeRangeGetIntersection(chapter.timeRange, slice->sourceTimeRange());
            if (!CMTIME_IS_NUMERIC(kept.duration) || CMTimeCompare(kept.duration, kCMTimeZero) <= 0)
                continue;
            const CMTime start = CMTimeAdd(slice->targetTimeRange().start, CMTimeSubtract(kept.start, slice->sourceTimeRange().start));
            if (!CMTIME_IS_VALID(from))
                from = start;
            to = CMTimeAdd(start, kept.duration);
        }
        if (CMTIME_IS_VALID(from))
            chapters.push_back(MediaChapter{CMTimeRangeFromTimeToTime(from, to), chapter.title});
    }
    return chapters;
}

bool CWExportProject::invalidValueForKey(const QString& key)
{
    addInvalidationReason(QStringLiteral("invalid value for key: %1").arg(key));
    return true;
}

bool CWExportProject::emptyTimeRange(CMTimeRange range)
{
    addInvalidationReason(QStringLiteral("Empty Timerange: %1").arg(describeRange(range)));
    return true;
}

bool CWExportProject::invalidTimeRangeInInstruction(size_t index, const VideoCompositionInstruction& instruction)
{
    QStringList ids;
    for (const auto& layer : instruction.layerInstructions)
        ids << QString::number(layer.trackID);
    addInvalidationReason(QStringLiteral("Invalid Timerange in Instruction[%1]@(%2) -- %3\nInstruction:\n%4 layers")
                              .arg(index)
                              .arg(ids.join(QStringLiteral(", ")), describeRange(instruction.timeRange))
                              .arg(instruction.layerInstructions.size()));
    return true;
}

bool CWExportProject::invalidTrackIDInInstruction(const VideoCompositionInstruction&, const VideoCompositionLayerInstruction& layer)
{
    addInvalidationReason(QStringLiteral("Invalid TrackID: %1").arg(layer.trackID));
    return true;
}

QStringList CWExportProject::copyNotes(Error* error) const
{
    const std::optional<PassthroughMode> mode = preset_ ? preset_->passthroughMode() : std::nullopt;
    if (!mode || slices_.empty())
        return {};
    std::vector<CMTimeRange> kept;
    for (const auto& slice : slices_)
        kept.push_back(slice->sourceTimeRange());
    return CopyPlanner::make(*asset_, kept, fileType(), *mode, error).notes();
}

QStringList CWExportProject::artworkNotes() const
{
    const auto isArtwork = [](const MetadataItem& item) { return item.commonKey == CommonMetadataKey::Artwork; };
    const std::vector<MetadataItem> chosen = configuration_->additionalMetadata();
    if (std::any_of(chosen.begin(), chosen.end(), isArtwork))
        return {};
    QStringList notes;
    for (const MetadataItem& item : asset_->metadata()) {
        Error problem;
        if (isArtwork(item) && CWProjectMetadata::decodeArtwork(item.value.toByteArray(), &problem).isNull())
            notes << QStringLiteral("The source's artwork is left out: %1.").arg(problem.message);
    }
    return notes;
}
