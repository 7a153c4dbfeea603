// A tiny, low-quality MPEG-4 video through the media layer's LowQuality export.
#pragma once

#include "CWPreset.h"

class CWThumbnailPreset : public CWPreset {
public:
    using CWPreset::CWPreset;
    std::optional<PlatformExportPreset> exportSessionPresetName() const override { return PlatformExportPreset::LowQuality; }
};
