// The tags a project hands to its exports: the user's texts by their command-line names, artwork read
// from a file, and the source file's own tags put ahead of what the user set (so the user's items win
// where both name a key). Plain functions over values; any thread.
#pragma once

#include "Error.h"
#include "MediaSource.h"
#include "MediaTypes.h"

#include <QImage>
#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace CWProjectMetadata {
// Items for the keys "title", "artist", "album", "year", "author", "comment"; other keys are ignored.
std::vector<MetadataItem> itemsFromCustomMetadata(const std::map<QString, QString>& metadata);
// Artwork larger than this is refused (no cover picture comes near it), and so is artwork whose longer
// side exceeds kMaximumArtworkSide pixels once it has been scaled down to it.
inline constexpr qint64 kMaximumArtworkBytes = 64 << 20;
inline constexpr int kMaximumArtworkSide = 3000;
// The picture of artwork bytes, decoded at most kMaximumArtworkSide pixels on its longer side: the
// size is read first and larger pictures are decoded scaled (never whole where the format allows it).
// A null image, with the reason as the error's message ("it is not a picture …", domain "Artwork"), for
// bytes that are empty, over kMaximumArtworkBytes, or no picture that can be read within Qt's memory
// bounds.
inline const QString kArtworkErrorDomain = QStringLiteral("Artwork");
enum class ArtworkErrorCode { Empty = 1, TooLarge = 2, NotAPicture = 3, Unreadable = 4 };
QImage decodeArtwork(const QByteArray& bytes, Error* error = nullptr);
// The file's bytes as an artwork item; nothing, with the reason as the error's message, when it cannot
// be read, is not a regular file, or decodeArtwork refuses its bytes.
std::optional<MetadataItem> artworkFromFile(const MediaSource& file, Error* error = nullptr);
// The source's tags followed by the items already set.
std::vector<MetadataItem> withSourceTags(const std::vector<MetadataItem>& sourceTags, const std::vector<MetadataItem>& set);
} // namespace CWProjectMetadata
