// Checks of what a file's own index states against what the file holds, made before the media library
// reads that index: an MPEG-4/QuickTime sample table that claims more samples than the file has bytes
// (the library would allocate and walk them all), samples placed past the end of a file that was cut
// short, a chunk of no samples, a sample of negative length, a reference to media in another file; a
// WAV whose data chunk states more than the file holds. Everything else passes: the check rejects only
// what is damaged or forged, and reports the track and how far it reaches.
//
// Reads the descriptor by position (pread), so other readers of it are undisturbed. Any thread.
#pragma once

#include "Error.h"

#include <QString>

namespace ContainerIndexCheck {
// formatName is the demuxer's name for the file. False, with the error set, for a damaged file.
bool check(int fd, const char* formatName, const QString& path, Error* error);
} // namespace ContainerIndexCheck
