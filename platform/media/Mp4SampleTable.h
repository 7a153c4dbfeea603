// Frame timing of one track of an MP4 / QuickTime file read straight from its sample table boxes
// (mdhd, stts, ctts, elst), without touching the media data. It covers the layouts the media library
// handles plainly: an optional leading empty edit and one media edit. Anything else (fragmented files,
// several media edits, damaged boxes) is reported as unsupported, and the caller scans packets instead.
// Plain function, any thread.
#pragma once

#include "MediaSource.h"

#include <cstdint>
#include <optional>
#include <vector>

struct Mp4TrackTiming {
    int32_t timescale = 0;
    // Per sample in decode order, in the track's timescale, with the edit list applied.
    std::vector<int64_t> presentationTimes;
    std::vector<int64_t> durations;
};

std::optional<Mp4TrackTiming> readMp4TrackTiming(const MediaSource& source, int32_t trackID);
