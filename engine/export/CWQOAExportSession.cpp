#include "CWQOAExportSession.h"

namespace {
Error qoaError(CWQOAExportSession::ErrorCode code, const QString& message)
{
    return Error{QStringLiteral("CWQOAExportSession"), code, message, {}, {}};
}
} // namespace

bool CWQOAExportSession::beginExport(Error* error)
{
    const int channels = audioFormat().channelCount;
    const int rate = audioFormat().sampleRate;
    if (channels < 1 || channels > CWQOAEncoder::kMaxChannels || rate < 1 || rate > 16777215) {
        setError(error, qoaError(CWQOAExportSession::FormatNotHeld,
                                 QStringLiteral("QOA holds 1 to 8 channels at up to 16777215 Hz; the source has %1 channels at %2 Hz.")
                                     .arg(channels)
                                     .arg(rate)));
        return false;
    }
    if (!outputFile_.open(workingPath(), error))
        return false;
    encoder_ = std::make_unique<CWQOAEncoder>(channels, uint32_t(rate));
    const uint8_t room[8] = {};
    return outputFile_.write(room, sizeof room, error);
}

bool CWQOAExportSession::encodeFrames(bool final, Error* error)
{
    const size_t channels = size_t(audioFormat().channelCount);
    const size_t full = size_t(CWQOAEncoder::kFrameLength) * channels;
    size_t offset = 0;
    // Full frames as soon as they are there; a short one only as the last frame of the file.
    while (leftOver_.size() - offset >= full || (final && leftOver_.size() > offset)) {
        const int samples = int(std::min(full, leftOver_.size() - offset) / channels);
        frame_.clear();
        encoder_->encodeFrame(leftOver_.data() + offset, samples, frame_);
        if (!outputFile_.write(frame_.data(), frame_.size(), error))
            return false;
        totalSamplesWritten_ += uint32_t(samples);
        offset += size_t(samples) * channels;
    }
    leftOver_.erase(leftOver_.begin(), leftOver_.begin() + std::ptrdiff_t(offset));
    return true;
}

bool CWQOAExportSession::exportAudioBuffer(PcmBuffer& buffer, Error* error)
{
    const int16_t* samples = buffer.int16Samples();
    leftOver_.insert(leftOver_.end(), samples, samples + size_t(buffer.frameCount()) * size_t(audioFormat().channelCount));
    return encodeFrames(false, error);
}

bool CWQOAExportSession::finalizeExport(Error* error)
{
    if (!encodeFrames(true, error))
        return false;
    const auto header = CWQOAEncoder::fileHeader(totalSamplesWritten_);
    return outputFile_.writeAt(0, header.data(), header.size(), error) && outputFile_.close(error);
}
