// Tells a track that ran out before its time because the file is damaged or was cut short (during the
// export, too) from a track that simply ends before the others. A track counts as cut short when it
// stops more than half a second before the end it should reach and either the container indexes its
// exact length (MPEG-4/QuickTime, FLAC, WAV, AIFF) or the file has become smaller since it was opened.
// Other containers (Matroska, MP3) state no exact length per track: there a track is cut short only
// when the file states its length (not a guess from the bit rate) and no track holds anything after
// the point where this one stopped, which the check reads from the file. Any thread.
#pragma once

#include "CMTime.h"
#include "Error.h"

class MediaAsset;
struct MediaTrack;

// False, with an error naming the track and how far it got, when the track was cut short.
bool checkTrackReachedEnd(const MediaAsset& asset, const MediaTrack& track, CMTime reached, CMTime expectedEnd, Error* error);
