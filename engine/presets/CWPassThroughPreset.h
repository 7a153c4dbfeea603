// Copies the source's encoding. MPEG-4 family sources keep their container and extension; other
// sources become MPEG-4 where it holds their tracks, else keep their own container family (Matroska,
// WebM, Ogg, WAV, AIFF, FLAC, MP3, AVI), with the extension of that family.
#pragma once

#include "CWPreset.h"

class CWPassThroughPreset : public CWPreset {
public:
    using CWPreset::CWPreset;
    std::optional<PlatformExportPreset> exportSessionPresetName() const override { return PlatformExportPreset::Passthrough; }
    bool isPassthrough() const override { return true; }
    MediaFileType fileTypeForSource(const MediaAsset& source) const override;
    QString defaultFileExtensionForSource(const MediaAsset& source) const override;
    // "Copies the source's audio and video unchanged into a WebM file (.webm); each kept piece starts at
    // the keyframe at or before its start."
    QString descriptionForSource(const MediaAsset& source) const override;
};
