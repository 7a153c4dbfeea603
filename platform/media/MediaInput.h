// Opening a media file with libavformat, shared by the asset, the image generator and the frame
// timing reader. Each caller gets its own demuxer, so readers on different threads never share one.
// Only local files are opened (the "file" protocol alone is allowed, so a playlist inside a file
// cannot make the demuxer reach out elsewhere); a path registered in OpenFiles is read through its
// descriptor instead. Failures come back as an Error with the library's message.
#pragma once

#include "CMTime.h"
#include "Error.h"
#include "FFmpegPtr.h"

#include <QString>

namespace MediaInput {

// Opens the file and, when probe is true, makes sure every stream is described: from the header where
// the container's header is complete (MPEG-4, QuickTime), else by reading stream information the way
// ffprobe does. Without probe the streams are taken as the header gives them (their contents are
// checked against at most one packet), for readers of streams an asset has already described.
InputFormatContextPtr open(const QString& path, bool probe, Error* error);

// Frees the input of a format context opened through a descriptor (the format context's deleter calls it).
void releaseDescriptorContext(AVIOContext* io);

// A timestamp of a stream's time base as an exact time; AV_NOPTS_VALUE gives an invalid time.
CMTime timeFromTimestamp(int64_t timestamp, AVRational timeBase);
// A time as a timestamp of the time base, truncated toward zero.
int64_t timestampFromTime(CMTime time, AVRational timeBase);

// True for streams that carry cover art rather than a video track.
inline bool isAttachedPicture(const AVStream* stream) { return stream->disposition & AV_DISPOSITION_ATTACHED_PIC; }

} // namespace MediaInput
