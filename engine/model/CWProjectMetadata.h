// The tags a project hands to its exports: the user's texts by their command-line names, artwork read
// from a file, and the source file's own tags put ahead of what the user set (so the user's items win
// where both name a key). Plain functions over values; any thread.
#pragma once

#include "MediaTypes.h"

#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace CWProjectMetadata {
// Items for the keys "title", "artist", "album", "year", "author", "comment"; other keys are ignored.
std::vector<MetadataItem> itemsFromCustomMetadata(const std::map<QString, QString>& metadata);
// The file's bytes as an artwork item; nothing when it cannot be read or is empty.
std::optional<MetadataItem> artworkFromFile(const QString& path);
// The source's tags followed by the items already set.
std::vector<MetadataItem> withSourceTags(const std::vector<MetadataItem>& sourceTags, const std::vector<MetadataItem>& set);
} // namespace CWProjectMetadata
