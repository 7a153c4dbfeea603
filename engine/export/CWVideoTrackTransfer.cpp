#include "CWVideoTrackTransfer.h"

#include "MainQueue.h"
#include "SampleBufferInternal.h"

CWVideoTrackTransfer::CWVideoTrackTransfer(std::shared_ptr<ReaderOutput> output, WriterInput* input, int32_t trackID,
                                           std::unique_ptr<VideoEncoder> encoder, int timeBaseDen)
    : CWAssetTrackTransfer(std::move(output), input, trackID), encoder_(std::move(encoder)), timeBaseDen_(timeBaseDen)
{
}

void CWVideoTrackTransfer::useProgressBlock(std::function<void(double)> block, CMTime duration)
{
    progressBlock_ = std::move(block);
    duration_ = duration;
}

bool CWVideoTrackTransfer::writePacket(PacketPtr packet, Error* error)
{
    PacketBuffer buffer(std::make_unique<PacketBuffer::Packet>(PacketBuffer::Packet{std::move(packet), AVRational{1, timeBaseDen_}}));
    return writeBufferToInput(buffer, error);
}

bool CWVideoTrackTransfer::processSampleBuffer(SampleBuffer& buffer, Error* error)
{
    auto* frame = dynamic_cast<VideoFrameBuffer*>(&buffer);
    if (!frame)
        return true;
    CMTime time = CMTIME_IS_NUMERIC(frame->presentationTime) ? frame->presentationTime : lastFrameTime_;
    CMTime duration = CMTIME_IS_NUMERIC(frame->duration) ? frame->duration : kCMTimeZero;
    if (duration.value == 0)
        duration = CMTimeSubtract(time, lastFrameTime_);
    if (!CMTIME_IS_NUMERIC(duration) || duration.value <= 0)
        duration = CMTimeMake(1, 30);
    frame->presentationTime = time;
    frame->duration = duration;
    const double total = CMTimeGetSeconds(duration_);
    if (total > 0)
        progress_ = std::min(1.0, CMTimeGetSeconds(time) / total);
    if (!encoder_->encode(*frame, [this](PacketPtr packet, Error* e) { return writePacket(std::move(packet), e); }, error))
        return false;
    lastFrameTime_ = time;
    if (progressBlock_) {
        auto block = progressBlock_;
        const double progress = progress_;
        MainQueue::async([block, progress] { block(progress); });
    }
    return true;
}

bool CWVideoTrackTransfer::finishTransfer(Error* error)
{
    const bool ok = encoder_->complete([this](PacketPtr packet, Error* e) { return writePacket(std::move(packet), e); }, error);
    encoder_->invalidate();
    return ok;
}
