// Gathers the metadata of one export: every item is moved to the common key space (items without a
// common key are dropped), one item is kept per key with the last one winning (a replaced key moves to
// the end), and artwork is redrawn as a square picture: PNG, or with the small-artwork rule a JPEG
// under 128,000 bytes. Lives for one export; one thread. Nothing here fails: artwork that is too large
// or no picture that can be read (CWProjectMetadata::decodeArtwork) is left out, never copied as it came.
#pragma once

#include "MediaTypes.h"

#include <map>
#include <optional>
#include <vector>

class CWMetadataConverter {
public:
    explicit CWMetadataConverter(const std::vector<MetadataItem>& assetMetadata);

    // Artwork added from now on is made small.
    void forceSmallArtwork() { smallArtwork_ = true; }
    void addMetadataItems(const std::vector<MetadataItem>& items);
    void addMetadata(const MetadataItem& item);
    // The artwork redrawn; nothing when it cannot be.
    std::optional<MetadataItem> sanitizeArtworkItem(const MetadataItem& item) const;
    const std::vector<MetadataItem>& combinedMetadata() const { return accumulated_; }

private:
    bool smallArtwork_ = false;
    std::vector<MetadataItem> accumulated_;
};
