// The container a pass-through copy of a source is written as, and the extension its files get.
//   - MPEG-4 family sources (".mp4", ".mov", ".m4v", ".m4a") stay as they are: exact, with edit lists.
//   - Audio files of a family of their own (MP3, FLAC, WAV, AIFF, Ogg) stay in it: each has its own way
//     of being exact (sample slices, encoder delay and padding, pre-skip).
//   - Any other source whose tracks an MPEG-4 file can hold becomes MPEG-4, so that it is cut exactly.
//   - The rest keeps its family: WebM, Matroska (which holds nearly everything, and takes whatever has
//     no family of its own, and AVI sources too); AVI only where Matroska cannot hold the source.
// Plain functions over an opened asset; any thread.
#pragma once

#include "MediaFileType.h"

#include <QString>

class MediaAsset;

namespace PassthroughContainer {
MediaFileType fileType(const MediaAsset& asset);
// The source's own extension where it names the chosen container (".opus", ".oga", ".aif", ".m4a",
// ".mka"), else the container's usual one.
QString extension(const MediaAsset& asset);
// "a Matroska", "an MP3": the container's name for a sentence.
QString nameWithArticle(MediaFileType type);
// Why the pictures at the cuts of the source's video cannot be encoded anew, so that an exact copy
// falls back (the end of a sentence: "Clipwell does not encode CINEPAK pictures"); empty when they can, when
// all its pictures are keyframes, or when it has no video. From the tracks alone, nothing decoded.
QString exactUnavailable(const MediaAsset& asset);
// Whether a name's extension is one under which files of the type are known.
bool isExtensionOf(const QString& extension, MediaFileType type);
} // namespace PassthroughContainer
