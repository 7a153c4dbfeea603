// Changes to the ID3v2 tag LAME makes for an MP3 file, on its bytes (versions 2.3 and 2.4): the cover
// picture marked as the front cover, and chapters added as CHAP frames with a table of contents
// (CTOC) that lists them in order. Plain functions on a byte vector, any thread. A tag whose frames
// cannot be walked is left as it is.
#pragma once

#include "MediaTypes.h"

#include <vector>

namespace CWId3Tag {
// LAME writes its picture frame (APIC) with the picture type "Other".
void markPictureAsFrontCover(std::vector<unsigned char>& tag);
// Appends the chapters (output time, millisecond resolution) after the last frame; an empty tag
// becomes a version 2.3 tag holding only them. Padding after the frames is dropped.
void appendChapters(std::vector<unsigned char>& tag, const std::vector<MediaChapter>& chapters);
} // namespace CWId3Tag
