// Opening a media file with libavformat, shared by the asset, the image generator and the frame
// timing reader. Each caller gets its own demuxer, so readers on different threads never share one.
// Only regular files are opened (a pipe or device is refused before it can block), each through one
// descriptor: a held source through its own, any other opened here once. The libraries open nothing further by name: nested opens are
// refused, and formats that exist to name other files (HLS, DASH, concat lists, image sequences, scripts) are refused with a message saying
// so, as are MPEG-4/QuickTime tracks whose media lies in another file. Indexes that state more than the file holds are refused before the
// library reads them (ContainerIndexCheck). Failures come back as an Error with the library's message or ours.
#pragma once

#include "CMTime.h"
#include "Error.h"
#include "FFmpegPtr.h"
#include "MediaSource.h"

#include <QString>

namespace MediaInput {

// Opens the file and, when probe is true, makes sure every stream is described: from the header where
// the container's header is complete (MPEG-4, QuickTime), else by reading stream information the way
// ffprobe does. Without probe the streams are taken as the header gives them (their contents are
// checked against at most one packet), for readers of streams an asset has already described.
InputFormatContextPtr open(const MediaSource& source, bool probe, Error* error);

// A timestamp of a stream's time base as an exact time; AV_NOPTS_VALUE gives an invalid time.
CMTime timeFromTimestamp(int64_t timestamp, AVRational timeBase);
// A time as a timestamp of the time base, truncated toward zero.
int64_t timestampFromTime(CMTime time, AVRational timeBase);

// True for streams that carry cover art rather than a video track.
inline bool isAttachedPicture(const AVStream* stream) { return stream->disposition & AV_DISPOSITION_ATTACHED_PIC; }

} // namespace MediaInput
