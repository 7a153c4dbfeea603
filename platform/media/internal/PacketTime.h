// A packet's timestamps where the container leaves one of them out: the presentation time falls back
// to the decode time and the other way round; AV_NOPTS_VALUE only when the packet has neither.
// Media layer only (FFmpeg types). Plain functions, any thread.
#pragma once

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/avutil.h>
}

inline int64_t presentationTimestamp(const AVPacket& packet) { return packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts; }
inline int64_t decodeTimestamp(const AVPacket& packet) { return packet.dts != AV_NOPTS_VALUE ? packet.dts : packet.pts; }
