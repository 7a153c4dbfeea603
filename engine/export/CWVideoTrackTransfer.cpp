#include "CWVideoTrackTransfer.h"

#include "MainQueue.h"
#include "SampleBuffer.h"
#include "VideoEncodingInput.h"

CWVideoTrackTransfer::CWVideoTrackTransfer(std::shared_ptr<ReaderOutput> output, std::unique_ptr<VideoEncodingInput> encoding,
                                           int32_t trackID)
    : CWAssetTrackTransfer(std::move(output), &encoding->writerInput(), trackID), encoding_(std::move(encoding))
{
}

CWVideoTrackTransfer::~CWVideoTrackTransfer() = default;

void CWVideoTrackTransfer::useProgressBlock(std::function<void(double)> block, CMTime duration)
{
    progressBlock_ = std::move(block);
    duration_ = duration;
}

bool CWVideoTrackTransfer::processSampleBuffer(SampleBuffer& buffer, Error* error)
{
    if (!encoding_->append(buffer, error))
        return false;
    // The time reached is the end of the frame taken: the last frame reaches the whole duration.
    const double total = CMTimeGetSeconds(duration_);
    if (total > 0)
        progress_ = std::min(1.0, CMTimeGetSeconds(encoding_->reachedTime()) / total);
    if (progressBlock_) {
        auto block = progressBlock_;
        const double progress = progress_;
        MainQueue::async([block, progress] { block(progress); });
    }
    return true;
}

bool CWVideoTrackTransfer::finishTransfer(Error* error) { return encoding_->markAsFinished(error); }
