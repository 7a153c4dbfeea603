// AAC audio in an M4A file, through the media layer's AppleM4A export.
#pragma once

#include "CWHighLowQualityPreset.h"

class CWM4APreset : public CWHighLowQualityPreset {
public:
    using CWHighLowQualityPreset::CWHighLowQualityPreset;
    CWExportSessionClass exportSessionClass() const override { return CWExportSessionClass::AudioOnly; }
    std::optional<PlatformExportPreset> exportSessionPresetName() const override { return PlatformExportPreset::AppleM4A; }
    MediaFileType fileType() const override { return MediaFileType::AppleM4A; }
    QString defaultFileExtensionForSource(const MediaAsset&) const override { return QStringLiteral("m4a"); }
};
