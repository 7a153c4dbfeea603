// MP3 through LAME, with a choice of bit rates.
#pragma once

#include "CWBitrateConfigurationItem.h"
#include "CWPreset.h"

class CWLamePreset : public CWPreset {
public:
    using CWPreset::CWPreset;
    CWExportSessionClass exportSessionClass() const override { return CWExportSessionClass::LameCustom; }
    MediaFileType fileType() const override { return MediaFileType::MP3; }
    QString defaultFileExtensionForSource(const MediaAsset&) const override { return QStringLiteral("mp3"); }
    bool supportsBitrateConfiguration() const override { return true; }
    CWConfigurationItems availableBitrateConfigurationItems() const override
    {
        CWConfigurationItems items;
        for (int64_t bitrate : {96000, 128000, 192000, 320000})
            items.push_back(std::make_shared<CWBitrateConfigurationItem>(bitrate));
        return items;
    }
};
