// Edit lists of finished MPEG-4 / QuickTime files, written by us because the media library's muxer
// writes at most two entries per track. writeEditLists() gives each named track an edit list with
// one entry per kept piece: the entry shows the track's media from `mediaStart` for `duration`, so a
// player that honours edit lists plays exactly the kept material although each piece's samples start
// at an earlier keyframe. Track durations become the sum of their entries and the movie duration the
// longest track. The movie box is rewritten in place; it must be the file's last box (as the muxer
// leaves it), so that no sample offset moves. readEditLists() reads them back.
//
// Plain functions, any thread. Failures (no movie box, damaged boxes, a track that is not there, a
// write error) leave an error naming the file.
#pragma once

#include "CMTime.h"
#include "Error.h"

#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// Domain of the edit list writer's failures; one code.
inline constexpr const char* kMp4EditListErrorDomain = "Mp4EditList";
enum class Mp4EditListErrorCode { CannotWrite = 1 };

struct Mp4Edit {
    CMTime mediaStart; // in the track's media time (its first sample at zero); invalid for an empty edit
    CMTime duration;
};

struct Mp4EditList {
    int32_t mediaTimescale = 0;
    int32_t movieTimescale = 0;
    std::vector<int64_t> mediaTimes; // per entry, media timescale; -1 for an empty edit
    std::vector<uint64_t> durations; // per entry, movie timescale
    uint64_t trackDuration = 0;      // tkhd, movie timescale
};

// Edits by track ID (the tkhd's).
bool writeEditLists(const QString& path, const std::map<uint32_t, std::vector<Mp4Edit>>& edits, Error* error);
// The edit lists of every track, by track ID; nothing when the file cannot be read.
std::optional<std::map<uint32_t, Mp4EditList>> readEditLists(const QString& path);
