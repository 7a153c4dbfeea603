// Decode times for a video stream written in decode order, from the presentation times alone: each
// packet decodes at the earliest presentation time not yet used among itself and the `depth` packets
// before it (the stream's presentation times in order, `depth` packets behind). Pictures copied from
// a source whose reordering reaches no deeper, and pictures encoded without reordering, get decode
// times that rise, come no later than their presentation and are spaced like the pictures, also
// where the frame rate changes or one kind of picture follows the other. The first `depth` packets
// decode that many picture durations before the first is shown.
//
// A file that keeps no decode times (Matroska) orders its blocks by them all the same: there they
// begin no earlier than the file's start (`floor`), squeezed where they would, so that the first
// pictures do not come ahead of sound that begins with the file (GStreamer starts such a file at its
// first block).
//
// Plain value; one thread.
#pragma once

#include <cstdint>
#include <vector>

struct AVStream;

class DecodeTimes {
public:
    // For a copy of the stream, reordered `depth` pictures deep, into a file that does or does not
    // keep decode times.
    static DecodeTimes forStream(const AVStream& stream, int depth, bool fileKeepsDecodeTimes);
    // A picture's usual duration in the stream's ticks, from its frame rate; 0 when it states none.
    static int64_t pictureTicks(const AVStream& stream);
    DecodeTimes(int depth, int64_t frameDuration, int64_t floor = INT64_MIN) : depth_(depth), frameDuration_(frameDuration), floor_(floor)
    {
    }
    // The decode time of the next packet in decode order, shown at `pts` (ticks).
    int64_t next(int64_t pts);

private:
    int depth_;
    int64_t frameDuration_;
    std::vector<int64_t> waiting_; // presentation times not yet used as decode times, in order
    bool started_ = false;
    int64_t floor_;
    int64_t last_ = INT64_MIN;
};
