// The export options of one project that are not part of the preset: a volume change, the chosen
// bitrate, whether artwork is made small, and metadata items added to the output. Shared by the
// project and its exports (shared_ptr); every property is read and written whole under a lock, so
// background completions and the main thread may use it at once. The item list only grows.
#pragma once

#include "MediaTypes.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CWProjectConfiguration {
public:
    static std::shared_ptr<CWProjectConfiguration> defaultConfiguration();

    bool enforceSmallArtwork() const;
    void setEnforceSmallArtwork(bool value);
    int64_t volumePercentage() const;
    void setVolumePercentage(int64_t value);
    int64_t selectedBitrate() const;
    void setSelectedBitrate(int64_t value);
    std::vector<MetadataItem> additionalMetadata() const;
    void setAdditionalMetadata(std::vector<MetadataItem> items);

    void addMetaDataItem(const MetadataItem& item);
    void addMetaDataItems(const std::vector<MetadataItem>& items);

private:
    mutable std::mutex mutex_;
    bool enforceSmallArtwork_ = false;
    int64_t volumePercentage_ = 0;
    int64_t selectedBitrate_ = 320000;
    std::vector<MetadataItem> additionalMetadata_;
};
