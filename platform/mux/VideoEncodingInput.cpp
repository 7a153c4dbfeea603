#include "VideoEncodingInput.h"

#include "MediaWriter.h"
#include "SampleBufferInternal.h"
#include "VideoEncoder.h"
#include "WriterStream.h"

struct VideoEncodingInput::Impl {
    VideoEncoder encoder;
    WriterInput* input = nullptr;
    int timeBaseDen = 90000;
    CMTime lastFrameTime = kCMTimeZero;
    CMTime reached = kCMTimeZero;

    bool writePacket(PacketPtr packet, Error* error)
    {
        PacketBuffer buffer(std::make_unique<PacketBuffer::Packet>(PacketBuffer::Packet{std::move(packet), AVRational{1, timeBaseDen}}));
        return input->append(buffer, error);
    }
    VideoEncoder::PacketHandler handler()
    {
        return [this](PacketPtr packet, Error* error) { return writePacket(std::move(packet), error); };
    }
};

std::unique_ptr<VideoEncodingInput> VideoEncodingInput::create(MediaWriter& writer, const VideoEncoderOptions& options, Error* error)
{
    auto impl = std::make_unique<Impl>();
    if (!impl->encoder.open(options, error))
        return nullptr;
    impl->timeBaseDen = options.timeBaseDen;
    impl->input = WriterStream::addEncodedInput(writer, MediaType::Video, nullptr, AVRational{1, options.timeBaseDen});
    WriterStream::setParameters(*impl->input, *impl->encoder.context());
    if (options.settings.codecType)
        writer.setCodecTag(impl->input, __builtin_bswap32(options.settings.codecType)); // stored as in the file
    return std::unique_ptr<VideoEncodingInput>(new VideoEncodingInput(std::move(impl)));
}

VideoEncodingInput::VideoEncodingInput(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

VideoEncodingInput::~VideoEncodingInput() = default;

WriterInput& VideoEncodingInput::writerInput() const { return *impl_->input; }

CMTime VideoEncodingInput::reachedTime() const { return impl_->reached; }

bool VideoEncodingInput::append(SampleBuffer& buffer, Error* error)
{
    auto* frame = dynamic_cast<VideoFrameBuffer*>(&buffer);
    if (!frame)
        return true;
    const CMTime time = CMTIME_IS_NUMERIC(frame->presentationTime) ? frame->presentationTime : impl_->lastFrameTime;
    CMTime duration = CMTIME_IS_NUMERIC(frame->duration) ? frame->duration : kCMTimeZero;
    if (duration.value == 0)
        duration = CMTimeSubtract(time, impl_->lastFrameTime);
    if (!CMTIME_IS_NUMERIC(duration) || duration.value <= 0)
        duration = CMTimeMake(1, 30);
    frame->presentationTime = time;
    frame->duration = duration;
    if (!impl_->encoder.encode(*frame, impl_->handler(), error))
        return false;
    impl_->lastFrameTime = time;
    impl_->reached = CMTimeAdd(time, duration);
    return true;
}

bool VideoEncodingInput::markAsFinished(Error* error)
{
    const bool ok = impl_->encoder.complete(impl_->handler(), error);
    impl_->encoder.invalidate();
    return ok && impl_->input->markAsFinished(error);
}
