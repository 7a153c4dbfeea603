// What a project becomes at the moment of export: the kept pieces (slices) of the source laid back to
// back in a composition, with an audio mix and, when video is exported, a video composition with one
// instruction per piece, turned upright after the source's orientation. Built once on the caller's
// thread (the main thread), then read by one export session from its own threads; immutable after
// preparation except for the slices' target ranges, which the multi-file preparation moves.
//
// Creation returns null with an error when a track insertion fails or validation of the video
// composition keeps finding problems (domain "CWExportProject", code 1), and null without an error
// when nothing is kept. The frames of the source keep their own timing: the video composition's frame
// duration is only a fallback for frames without timing.
#pragma once

#include "CMTime.h"
#include "Composition.h"
#include "CWAssetOrientation.h"
#include "CWCompositionSlice.h"
#include "CWExcludedSegment.h"
#include "CWProjectConfiguration.h"
#include "MediaFileType.h"

#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class CWPreset;
class MediaAsset;

using CWSliceList = std::vector<std::shared_ptr<CWCompositionSlice>>;

class CWExportProject : public std::enable_shared_from_this<CWExportProject>, private VideoCompositionValidationDelegate {
public:
    enum ErrorCode { InvalidComposition = 1 };
    static std::shared_ptr<CWExportProject> fromAsset(std::shared_ptr<MediaAsset> asset,
                                                      const std::vector<std::shared_ptr<CWExcludedSegment>>& splits,
                                                      std::shared_ptr<CWPreset> preset,
                                                      std::shared_ptr<CWProjectConfiguration> configuration, Error* error);
    static std::shared_ptr<CWExportProject> fromAsset(std::shared_ptr<MediaAsset> asset, std::shared_ptr<CWCompositionSlice> slice,
                                                      std::shared_ptr<CWPreset> preset,
                                                      std::shared_ptr<CWProjectConfiguration> configuration, Error* error);
    static std::shared_ptr<CWExportProject> withSlices(std::shared_ptr<MediaAsset> asset, CWSliceList slices,
                                                       std::shared_ptr<CWPreset> preset,
                                                       std::shared_ptr<CWProjectConfiguration> configuration, Error* error);
    static CWSliceList createSlicesFromSplits(const std::vector<std::shared_ptr<CWExcludedSegment>>& splits, CMTime duration);
    std::shared_ptr<CWExportProject> copyForSlice(const std::shared_ptr<CWCompositionSlice>& slice, Error* error) const;

    void setupForMultiFileExport();

    const std::shared_ptr<MediaAsset>& asset() const { return asset_; }
    const std::optional<Composition>& composition() const { return composition_; }
    const std::optional<VideoComposition>& videoComposition() const { return videoComposition_; }
    const AudioMix& audioMix() const { return audioMix_; }
    const CWSliceList& slices() const { return slices_; }
    const std::shared_ptr<CWPreset>& preset() const { return preset_; }
    const QStringList& invalidationReasons() const { return invalidationReasons_; }
    const std::shared_ptr<CWAssetOrientation>& orientation() const { return orientation_; }
    const std::shared_ptr<CWProjectConfiguration>& configuration() const { return configuration_; }

    CMTime endTime() const;
    MediaFileType fileType() const;
    QString baseFilename() const;
    CMTime targetProgressToSourceTime(double progress) const;
    std::optional<MediaTrack> sourceTrackForCompositionTrack(const CompositionTrack& track) const;
    // The source's chapters moved to output time: each from its first kept moment to its last, in
    // the order of the output; chapters wholly cut out are left out.
    std::vector<MediaChapter> chaptersForExport() const;
    // What a pass-through copy of the slices will do that people should know (pieces that begin at an
    // earlier keyframe, pictures encoded anew, a mode that cannot be carried out), as sentences; the
    // very plan the copy follows. Empty for other presets; reads the file (blocking).
    QStringList copyNotes(Error* error) const;
    // The source's artwork that the export leaves out because it is too large or unreadable, as
    // sentences; empty when it is usable or replaced by artwork the user chose. Decodes the pictures.
    QStringList artworkNotes() const;
    QTransform renderTransform() const { return orientation_ ? orientation_->transform() : QTransform(); }
    QSizeF renderSize() const { return orientation_ ? orientation_->renderSize() : QSizeF(); }
    int32_t renderVideoWidth() const { return orientation_ ? orientation_->renderVideoWidth() : 0; }
    int32_t renderVideoHeight() const { return orientation_ ? orientation_->renderVideoHeight() : 0; }
    int64_t volumePercentage() const { return configuration_->volumePercentage(); }
    int64_t selectedBitrate() const { return configuration_->selectedBitrate(); }
    void addInvalidationReason(const QString& reason) { invalidationReasons_ << reason; }

    CWExportProject(std::shared_ptr<MediaAsset> asset, std::shared_ptr<CWProjectConfiguration> configuration)
        : asset_(std::move(asset)), configuration_(std::move(configuration))
    {
    }

private:
    bool build(CWSliceList slices, std::shared_ptr<CWPreset> preset, Error* error);
    bool createComposition(Error* error);

    bool invalidValueForKey(const QString& key) override;
    bool emptyTimeRange(CMTimeRange range) override;
    bool invalidTimeRangeInInstruction(size_t index, const VideoCompositionInstruction& instruction) override;
    bool invalidTrackIDInInstruction(const VideoCompositionInstruction& instruction,
                                     const VideoCompositionLayerInstruction& layerInstruction) override;

    std::shared_ptr<MediaAsset> asset_;
    std::optional<Composition> composition_;
    std::optional<VideoComposition> videoComposition_;
    AudioMix audioMix_;
    CWSliceList slices_;
    std::shared_ptr<CWPreset> preset_;
    QStringList invalidationReasons_;
    std::shared_ptr<CWAssetOrientation> orientation_;
    std::shared_ptr<CWProjectConfiguration> configuration_;
};
