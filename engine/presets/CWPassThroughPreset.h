// Copies the source's encoding. MPEG-4 family sources keep their container and extension; others are
// written as MPEG-4 (".mp4"). MP3 sources are refused: the tool switches MP3 output to the MP3 preset.
#pragma once

#include "CWPreset.h"

class CWPassThroughPreset : public CWPreset {
public:
    using CWPreset::CWPreset;
    std::optional<PlatformExportPreset> exportSessionPresetName() const override { return PlatformExportPreset::Passthrough; }
    bool isPassthrough() const override { return true; }
    MediaFileType fileTypeForSource(const QString& sourcePath) const override;
    QString defaultFileExtensionForSource(const QString& sourcePath) const override;
    void determineCompatibilityWithAsset(const MediaAsset& asset, const std::function<void(bool)>& handler) const override;
};
