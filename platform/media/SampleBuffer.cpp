#include "SampleBufferInternal.h"

VideoFrameBuffer::VideoFrameBuffer(std::unique_ptr<Frame> frame) : frame_(std::move(frame)) {}

VideoFrameBuffer::~VideoFrameBuffer() = default;

QSize VideoFrameBuffer::size() const { return QSize(frame_->frame->width, frame_->frame->height); }

PacketBuffer::PacketBuffer(std::unique_ptr<Packet> packet) : packet_(std::move(packet)) {}

PacketBuffer::~PacketBuffer() = default;
