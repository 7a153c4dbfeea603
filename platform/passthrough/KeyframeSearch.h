// Finding the keyframe a copied piece begins with: the video keyframe at or before a time (also when
// B-frames show it after the time) at which decoding can begin cleanly; an open group's keyframe leads
// back to the one before it. Containers whose seeks land near a time rather than on a keyframe (MPEG
// transport and program streams) are read forward from further and further back.
//
// One thread: each search moves the reader it is given.
#pragma once

#include <cstdint>
#include <optional>

class TimedPacketReader;

namespace KeyframeSearch {

// A seek position meaning the file's start.
constexpr int64_t kFromFileStart = INT64_MIN + 1;

struct Keyframe {
    int64_t pts = 0, dts = 0;     // stream ticks
    int64_t seekFrom = INT64_MIN; // where reading reaches it (AV_TIME_BASE); INT64_MIN: seek to the copy start
};

// The keyframe of the stream at or before the stream time target (its ticks); none when the stream has none.
std::optional<Keyframe> find(TimedPacketReader& reader, int streamIndex, int64_t target);

} // namespace KeyframeSearch
