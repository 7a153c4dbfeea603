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
// Artwork files larger than this are refused (no cover picture comes near it).
inline constexpr qint64 kMaximumArtworkBytes = 64 << 20;
// The file's bytes as an artwork item; nothing when it cannot be read, is empty, is not a regular file
// or is larger than kMaximumArtworkBytes.
std::optional<MetadataItem> artworkFromFile(const QString& path);
// The source's tags followed by the items already set.
std::vector<MetadataItem> withSourceTags(const std::vector<MetadataItem>& sourceTags, const std::vector<MetadataItem>& set);
} // namespace CWProjectMetadata
