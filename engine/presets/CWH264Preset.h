// H.264 video in MPEG-4: High profile, or Baseline when the quality switch is on low.
#pragma once

#include "CWHighLowQualityPreset.h"

class CWH264Preset : public CWHighLowQualityPreset {
public:
    using CWHighLowQualityPreset::CWHighLowQualityPreset;
    CWExportSessionClass exportSessionClass() const override { return CWExportSessionClass::AssetWriter; }
    uint32_t codecType() const override { return fourCharCode("avc1"); }
    void configureCompressionSession(VideoEncoderSettings& settings) const override
    {
        settings.codecType = codecType();
        settings.profile = highQuality() ? QStringLiteral("high") : QStringLiteral("baseline");
    }
};
