// A transfer that encodes each frame through the media layer's video encoding input (which keeps every
// frame's own time and duration) and reports progress: the end of the frame taken over the
// composition's duration, handed to the progress block on the main thread.
#pragma once

#include "CMTime.h"
#include "CWAssetTrackTransfer.h"

class VideoEncodingInput;

class CWVideoTrackTransfer : public CWAssetTrackTransfer {
public:
    CWVideoTrackTransfer(std::shared_ptr<ReaderOutput> output, std::unique_ptr<VideoEncodingInput> encoding, int32_t trackID);
    ~CWVideoTrackTransfer() override;
    void useProgressBlock(std::function<void(double)> block, CMTime duration);
    double progress() const { return progress_; }

protected:
    bool processSampleBuffer(SampleBuffer& buffer, Error* error) override;
    bool finishTransfer(Error* error) override;

private:
    std::unique_ptr<VideoEncodingInput> encoding_;
    std::function<void(double)> progressBlock_;
    std::atomic<double> progress_{0};
    CMTime duration_ = kCMTimeZero;
};
