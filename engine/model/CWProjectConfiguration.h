// The export options of one project that are not part of the preset: a volume change, the chosen
// bitrate, whether artwork is made small, the source's tracks left out (by ID), and metadata items to
// add to the output. Shared by the project and its exports (shared_ptr); every property is read and
// written whole under a lock, so background completions and the main thread may use it at once. The
// item list only grows.
#pragma once

#include "Locked.h"
#include "MediaTypes.h"

#include <cstdint>
#include <memory>
#include <vector>

class CWProjectConfiguration {
public:
    static std::shared_ptr<CWProjectConfiguration> defaultConfiguration() { return std::make_shared<CWProjectConfiguration>(); }

    bool enforceSmallArtwork() const { return enforceSmallArtwork_.get(); }
    void setEnforceSmallArtwork(bool value) { enforceSmallArtwork_.set(value); }
    int64_t volumePercentage() const { return volumePercentage_.get(); }
    void setVolumePercentage(int64_t value) { volumePercentage_.set(value); }
    int64_t selectedBitrate() const { return selectedBitrate_.get(); }
    void setSelectedBitrate(int64_t value) { selectedBitrate_.set(value); }
    std::vector<int32_t> leftOutTrackIDs() const { return leftOutTrackIDs_.get(); }
    void setLeftOutTrackIDs(std::vector<int32_t> trackIDs) { leftOutTrackIDs_.set(std::move(trackIDs)); }
    std::vector<MetadataItem> additionalMetadata() const { return additionalMetadata_.get(); }
    void setAdditionalMetadata(std::vector<MetadataItem> items) { additionalMetadata_.set(std::move(items)); }

    void addMetaDataItem(const MetadataItem& item) { addMetaDataItems({item}); }
    void addMetaDataItems(const std::vector<MetadataItem>& items)
    {
        additionalMetadata_.update([&](std::vector<MetadataItem>& list) { list.insert(list.end(), items.begin(), items.end()); });
    }

private:
    Locked<bool> enforceSmallArtwork_{false};
    Locked<int64_t> volumePercentage_{0};
    Locked<int64_t> selectedBitrate_{320000};
    Locked<std::vector<int32_t>> leftOutTrackIDs_;
    Locked<std::vector<MetadataItem>> additionalMetadata_;
};
