// What reader outputs deliver and writer inputs take: a stretch of media with its composition time.
// PCM buffers are plain interleaved samples the engine may read and change; video frames and
// encoded packets are opaque outside the media layer. Buffers are handed over by shared_ptr and not
// shared between threads while in use.
#pragma once

#include "CMTime.h"

#include <QSize>

#include <cstdint>
#include <memory>
#include <vector>

struct PcmFormat {
    enum class Sample { Int16, Int32, Float32 }; // Int32 carries up to 24 bits of resolution, left-aligned
    int sampleRate = 0;
    int channelCount = 0;
    uint64_t channelLayoutMask = 0; // speaker positions; 0 for the default order of the channel count
    Sample sample = Sample::Int16;

    int bytesPerFrame() const { return channelCount * (sample == Sample::Int16 ? 2 : 4); }
    // The bits of resolution the samples hold: 16, or 24 for the wider types.
    int bitsPerSample() const { return sample == Sample::Int16 ? 16 : 24; }
};

class SampleBuffer {
public:
    virtual ~SampleBuffer() = default;
    CMTime presentationTime = kCMTimeInvalid;
    CMTime duration = kCMTimeInvalid;
};

class PcmBuffer : public SampleBuffer {
public:
    PcmFormat format;
    std::vector<uint8_t> data; // frameCount × bytesPerFrame, interleaved
    int frameCount() const { return format.bytesPerFrame() ? int(data.size() / format.bytesPerFrame()) : 0; }
    int16_t* int16Samples() { return reinterpret_cast<int16_t*>(data.data()); }
    int32_t* int32Samples() { return reinterpret_cast<int32_t*>(data.data()); }
    float* floatSamples() { return reinterpret_cast<float*>(data.data()); }
};

// A decoded picture, already at the size and orientation it is to be written with.
class VideoFrameBuffer : public SampleBuffer {
public:
    struct Frame;
    explicit VideoFrameBuffer(std::unique_ptr<Frame> frame);
    ~VideoFrameBuffer() override;
    QSize size() const;
    Frame& frame() { return *frame_; }

private:
    std::unique_ptr<Frame> frame_;
};

// An encoded packet of a track, copied without decoding.
class PacketBuffer : public SampleBuffer {
public:
    struct Packet;
    explicit PacketBuffer(std::unique_ptr<Packet> packet);
    ~PacketBuffer() override;
    Packet& packet() { return *packet_; }

private:
    std::unique_ptr<Packet> packet_;
};
