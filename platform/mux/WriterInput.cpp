#include "MediaWriter.h"

#include "AudioEncoder.h"
#include "SampleBufferInternal.h"
#include "WriterStream.h"

#include <chrono>

WriterInput::WriterInput(MediaWriter& writer, MediaType type) : writer_(writer), mediaType_(type), stream_(std::make_unique<WriterStream>())
{
}

WriterInput::~WriterInput() = default;

bool WriterInput::isReadyForMoreMediaData() const
{
    std::lock_guard lock(writer_.mutex_);
    return writer_.ready(*this);
}

bool WriterInput::waitUntilReady(const std::atomic<bool>& cancelled) const
{
    std::unique_lock lock(writer_.mutex_);
    while (!writer_.ready(*this)) {
        if (cancelled.load())
            return false;
        writer_.progress_.wait_for(lock, std::chrono::milliseconds(50));
    }
    return writer_.status_ == MediaWriter::Status::Writing;
}

bool WriterInput::append(SampleBuffer& buffer, Error* error)
{
    if (encoder_) {
        auto* pcm = dynamic_cast<PcmBuffer*>(&buffer);
        if (!pcm) {
            setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument, QStringLiteral("An audio input takes PCM only.")));
            return false;
        }
        auto write = [&](PacketPtr packet, Error* e) { return WriterStream::write(*this, *packet, stream_->timeBase, e); };
        if (encoder_->encode(*pcm, write, error))
            return true;
        writer_.fail(error ? *error : Error{}, nullptr);
        return false;
    }
    auto* packet = dynamic_cast<PacketBuffer*>(&buffer);
    if (!packet) {
        setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument, QStringLiteral("This input takes encoded packets only.")));
        return false;
    }
    return WriterStream::write(*this, *packet->packet().packet, packet->packet().timeBase, error);
}

bool WriterInput::markAsFinished(Error* error)
{
    bool ok = true;
    if (encoder_)
        ok = encoder_->finish([&](PacketPtr packet, Error* e) { return WriterStream::write(*this, *packet, stream_->timeBase, e); }, error);
    {
        std::lock_guard lock(writer_.mutex_);
        finished_ = true;
    }
    writer_.progress_.notify_all();
    return ok;
}
