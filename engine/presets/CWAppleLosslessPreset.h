// Apple Lossless audio in an M4A file.
#pragma once

#include "CWHighLowQualityPreset.h"

class CWAppleLosslessPreset : public CWHighLowQualityPreset {
public:
    using CWHighLowQualityPreset::CWHighLowQualityPreset;
    CWExportSessionClass exportSessionClass() const override { return CWExportSessionClass::AppleLosslessAudioFile; }
    MediaFileType fileType() const override { return MediaFileType::AppleM4A; }
    QString defaultFileExtensionForSource(const MediaAsset&) const override { return QStringLiteral("m4a"); }
};
