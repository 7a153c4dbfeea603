// FLAC audio.
#pragma once

#include "CWHighLowQualityPreset.h"

class CWFLACPreset : public CWHighLowQualityPreset {
public:
    using CWHighLowQualityPreset::CWHighLowQualityPreset;
    CWExportSessionClass exportSessionClass() const override { return CWExportSessionClass::FLACAudioFile; }
    MediaFileType fileType() const override { return MediaFileType::FLAC; }
    QString defaultFileExtensionForSource(const MediaAsset&) const override { return QStringLiteral("flac"); }
};
