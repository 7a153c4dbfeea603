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
    const double total = CMTimeGetSeconds(duration_);
    if (total > 0 && CMTIME_IS_NUMERIC(buffer.presentationTime))
        progress_ = std::min(1.0, CMTimeGetSeconds(buffer.presentationTime) / total);
    if (!encoding_->append(buffer, error))
        return false;
    if (progressBlock_) {
        auto block = progressBlock_;
        const double progress = progress_;
        MainQueue::async([block, progress] { block(progress); });
    }
    return true;
}

bool CWVideoTrackTransfer::finishTransfer(Error* error) { return encoding_->markAsFinished(error); }
