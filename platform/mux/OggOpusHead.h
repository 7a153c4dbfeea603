// The pre-skip of an Ogg Opus file: how many decoded samples (at 48 kHz) players drop at its start.
// The Ogg muxer writes the stream's header as the source described it; a copy that begins with a
// lead-in sets the pre-skip afterwards, in the header page, whose checksum is computed anew.
//
// Plain function, any thread; the file is not being written. Fails (file untouched) when the file
// does not begin with an Opus header page.
#pragma once

#include "Error.h"

#include <QString>

namespace OggOpusHead {
bool setPreSkip(const QString& path, int samples, Error* error);
} // namespace OggOpusHead
