// HEVC video (Main profile) in MPEG-4, tagged 'hvc1'.
#pragma once

#include "CWPreset.h"

class CWH265Preset : public CWPreset {
public:
    using CWPreset::CWPreset;
    CWExportSessionClass exportSessionClass() const override { return CWExportSessionClass::AssetWriter; }
    uint32_t codecType() const override { return fourCharCode("hvc1"); }
    void configureCompressionSession(VideoEncoderSettings& settings) const override
    {
        settings.codecType = codecType();
        settings.profile = QStringLiteral("main");
    }
};
