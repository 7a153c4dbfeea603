// A transfer that encodes each frame with the video encoder and appends what it emits. Every frame
// keeps its own time and duration; a frame without a duration lasts until it is replaced (its time
// minus the previous frame's), and the very first such frame 1/30 s. Progress is the frame's time over
// the composition's duration, handed to the progress block on the main thread.
#pragma once

#include "CWAssetTrackTransfer.h"
#include "VideoEncoder.h"

class CWVideoTrackTransfer : public CWAssetTrackTransfer {
public:
    CWVideoTrackTransfer(std::shared_ptr<ReaderOutput> output, WriterInput* input, int32_t trackID,
                         std::unique_ptr<VideoEncoder> encoder, int timeBaseDen);
    void useProgressBlock(std::function<void(double)> block, CMTime duration);
    double progress() const { return progress_; }

protected:
    bool processSampleBuffer(SampleBuffer& buffer, Error* error) override;
    bool finishTransfer(Error* error) override;

private:
    bool writePacket(PacketPtr packet, Error* error);

    std::unique_ptr<VideoEncoder> encoder_;
    int timeBaseDen_;
    CMTime lastFrameTime_ = kCMTimeZero;
    std::function<void(double)> progressBlock_;
    std::atomic<double> progress_{0};
    CMTime duration_ = kCMTimeZero;
};
