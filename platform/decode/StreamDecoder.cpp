#include "StreamDecoder.h"

bool StreamDecoder::open(const AVStream* stream, int threads, Error* error)
{
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        setError(
            error,
            mediaLayerError(
                MediaLayerErrorCode::CodecMissing,
                QStringLiteral("No decoder for the codec \"%1\"").arg(QString::fromUtf8(avcodec_get_name(stream->codecpar->codec_id)))));
        return false;
    }
    ctx_.reset(avcodec_alloc_context3(codec));
    if (!ctx_) {
        setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot allocate a decoder")));
        return false;
    }
    int ret = avcodec_parameters_to_context(ctx_.get(), stream->codecpar);
    if (ret >= 0) {
        ctx_->pkt_timebase = stream->time_base;
        ctx_->thread_count = threads;
        ret = avcodec_open2(ctx_.get(), codec, nullptr);
    }
    if (ret < 0) {
        setError(error, mediaError(ret, QStringLiteral("Cannot open the %1 decoder").arg(QString::fromUtf8(codec->name))));
        ctx_.reset();
        return false;
    }
    return true;
}

StreamDecoder::SendResult StreamDecoder::send(const AVPacket* packet, Error* error)
{
    const int ret = avcodec_send_packet(ctx_.get(), packet);
    if (ret >= 0 || ret == AVERROR_INVALIDDATA)
        return SendResult::Accepted;
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
        return SendResult::Full;
    setError(error, mediaError(ret, QStringLiteral("Decoding failed")));
    return SendResult::Failed;
}

StreamDecoder::Status StreamDecoder::receive(AVFrame* frame, Error* error)
{
    const int ret = avcodec_receive_frame(ctx_.get(), frame);
    if (ret >= 0)
        return Status::Frame;
    if (ret == AVERROR(EAGAIN))
        return Status::NeedsInput;
    if (ret == AVERROR_EOF)
        return Status::EndOfStream;
    setError(error, mediaError(ret, QStringLiteral("Decoding failed")));
    return Status::Failed;
}

void StreamDecoder::flush() { avcodec_flush_buffers(ctx_.get()); }
