// Reads a source's packets for copying, with presentation and decode times a copy can rely on. MPEG-4
// Part 2 video in AVI states its frames' decode order only (the demuxer gives presentation times that
// equal the decode times, or none): a reference frame is shown after the B-frames that follow it in the
// file, so its presentation time is the decode time of the last of them, a B-frame is shown one frame
// before its decode time, and every decode time moves one frame earlier, so that none comes after its
// presentation. The reader holds a reference frame and its B-frames until the next reference frame
// (or the end) tells how many follow it; other streams pass straight through.
//
// One thread; owned by the copier with the input it reads. Seeks go through it, which drops what it
// held. Read failures are the library's.
#pragma once

#include "FFmpegPtr.h"

#include <deque>

class TimedPacketReader {
public:
    explicit TimedPacketReader(AVFormatContext* input);

    AVFormatContext* input() const { return input_; }
    // As av_read_frame: 0 with a packet, or the library's error (AVERROR_EOF at the end).
    int read(AVPacket* packet);
    // As av_seek_frame and avformat_seek_file.
    int seekFrame(int streamIndex, int64_t timestamp, int flags);
    int seekFile(int64_t minimum, int64_t timestamp, int64_t maximum);

private:
    void releaseGroup();

    AVFormatContext* input_;
    int timedStream_ = -1;        // the stream whose times the reader works out, or −1
    std::deque<PacketPtr> group_; // a reference frame and the B-frames after it
    std::deque<PacketPtr> ready_; // timed, in decode order
    int ended_ = 0;               // the library's error once reading has ended
};
