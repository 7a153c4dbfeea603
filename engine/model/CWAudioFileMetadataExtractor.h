// Tags of an audio file as common-key-space metadata items: title, artist, album, year, genre,
// composer and comment. Stateless; any thread. A file that cannot be opened or has no audio yields
// nothing (nullopt); an audio file without tags yields an empty list.
#pragma once

#include "MediaTypes.h"

#include <optional>

class MediaAsset;
#include <vector>

class CWAudioFileMetadataExtractor {
public:
    static std::optional<std::vector<MetadataItem>> extractMetadataFromAudioFile(const QString& path);
    // The same for a file that is already open.
    static std::optional<std::vector<MetadataItem>> extractMetadataFromAsset(const MediaAsset& asset);
};
