// Quite OK Audio, written by the engine's own encoder; audio-only sources only.
#pragma once

#include "CWPreset.h"

class CWQOAPreset : public CWPreset {
public:
    using CWPreset::CWPreset;
    CWExportSessionClass exportSessionClass() const override { return CWExportSessionClass::QOA; }
    MediaFileType fileType() const override { return MediaFileType::QOA; }
    QString defaultFileExtensionForSource(const MediaAsset&) const override { return QStringLiteral("qoa"); }
};
