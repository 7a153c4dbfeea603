// The library objects inside opaque sample buffers; for the media layer only.
#pragma once

#include "FFmpegPtr.h"
#include "SampleBuffer.h"

struct VideoFrameBuffer::Frame {
    FramePtr frame;
};

struct PacketBuffer::Packet {
    PacketPtr packet;
    AVRational timeBase{1, 1}; // of the packet's timestamps
};
