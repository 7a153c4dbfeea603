#include "WriterStream.h"

#include "PacketTime.h"

namespace {

std::shared_ptr<AVCodecParameters> copyParameters(const AVCodecParameters* source)
{
    std::shared_ptr<AVCodecParameters> copy(avcodec_parameters_alloc(), CodecParametersDeleter());
    if (copy && source)
        avcodec_parameters_copy(copy.get(), source);
    return copy;
}

} // namespace

WriterInput* WriterStream::addEncodedInput(MediaWriter& writer, MediaType type, const AVCodecParameters* parameters, AVRational timeBase)
{
    WriterInput* input = writer.addInput(type);
    input->stream_->parameters = copyParameters(parameters);
    input->stream_->timeBase = timeBase;
    return input;
}

WriterInput* WriterStream::addStreamCopyInput(MediaWriter& writer, MediaType type, const AVStream& source)
{
    WriterInput* input = addEncodedInput(writer, type, source.codecpar, source.time_base);
    WriterStream& stream = *input->stream_;
    for (int i = 0; i < source.nb_side_data; ++i) {
        const AVPacketSideData& side = source.side_data[i];
        stream.sideData.emplace_back(int(side.type), QByteArray(reinterpret_cast<const char*>(side.data), int(side.size)));
    }
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = av_dict_get(source.metadata, "", tag, AV_DICT_IGNORE_SUFFIX)))
        stream.tags.emplace_back(tag->key, tag->value);
    stream.disposition = source.disposition & ~AV_DISPOSITION_ATTACHED_PIC;
    stream.frameRate = source.avg_frame_rate;
    return input;
}

void WriterStream::setParameters(WriterInput& input, const AVCodecContext& encoder)
{
    avcodec_parameters_from_context(input.stream_->parameters.get(), &encoder);
}

void WriterStream::setParameters(WriterInput& input, const AVCodecParameters& parameters)
{
    input.stream_->parameters = copyParameters(&parameters);
}

bool WriterStream::write(WriterInput& input, AVPacket& packet, AVRational timeBase, Error* error)
{
    MediaWriter& writer = input.writer_;
    AVFormatContext* format = writer.context_->format.get();
    {
        std::lock_guard lock(writer.mutex_);
        if (writer.status_ != MediaWriter::Status::Writing) {
            setError(error, writer.status_ == MediaWriter::Status::Failed
                                ? writer.error_
                                : mediaLayerError(MediaLayerErrorCode::Stopped, QStringLiteral("The file is no longer being written.")));
            return false;
        }
        AVStream* stream = format->streams[input.streamIndex_];
        packet.stream_index = input.streamIndex_;
        av_packet_rescale_ts(&packet, timeBase, stream->time_base);
        if (input.guarded_ && !input.stream_->keepInOrder(packet, input.mediaType_)) {
            ++input.dropped_;
            return true;
        }
        const int64_t timestamp = decodeTimestamp(packet);
        if (timestamp != AV_NOPTS_VALUE)
            input.lastTime_ = timestamp * av_q2d(stream->time_base);
        const int ret = av_interleaved_write_frame(format, &packet);
        if (ret >= 0 && !format->pb->error) {
            writer.progress_.notify_all();
            return true;
        }
        const int code = ret < 0 ? ret : format->pb->error;
        const Error failure = mediaError(code, QStringLiteral("Cannot write \"%1\"").arg(writer.path_));
        writer.error_ = failure;
        writer.status_ = MediaWriter::Status::Failed;
        setError(error, failure);
    }
    writer.progress_.notify_all();
    return false;
}

bool WriterStream::keepInOrder(AVPacket& packet, MediaType type)
{
    if (packet.pts == AV_NOPTS_VALUE || packet.dts == AV_NOPTS_VALUE)
        return true;
    const int64_t duration = std::max<int64_t>(packet.duration, 0);
    switch (type) {
    case MediaType::Video:
        if (lastDts != INT64_MIN && packet.dts <= lastDts) {
            if (lastDts + 1 > packet.pts)
                return false;
            packet.dts = lastDts + 1;
        }
        break;
    case MediaType::Audio:
        // A tick of overlap comes from rounding into the file's time base; more is a packet written twice.
        if (lastEnd != INT64_MIN && packet.pts < lastEnd) {
            if (packet.pts + 1 < lastEnd)
                return false;
            packet.pts = packet.dts = lastEnd;
        }
        break;
    case MediaType::Subtitle:
        if (lastEnd != INT64_MIN && packet.pts < lastEnd) {
            if (duration == 0 || packet.pts + duration <= lastEnd)
                return false;
            packet.duration = packet.pts + duration - lastEnd;
            packet.pts = packet.dts = lastEnd;
        }
        break;
    default:
        break;
    }
    if (lastDts != INT64_MIN && packet.dts <= lastDts)
        return false;
    lastDts = packet.dts;
    lastEnd = std::max(lastEnd, packet.pts + std::max<int64_t>(packet.duration, 0));
    return true;
}
