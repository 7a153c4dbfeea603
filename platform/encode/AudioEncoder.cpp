#include "AudioEncoder.h"

#include "EncoderOutput.h"
#include "Resampler.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

bool AudioEncoder::open(const AudioEncoderSettings& settings, bool globalHeader, Error* error)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(settings.encoderName.toUtf8().constData());
    if (!codec) {
        setError(error, mediaLayerError(MediaLayerErrorCode::CodecMissing,
                                        QStringLiteral("The %1 encoder is not available.").arg(settings.encoderName)));
        return false;
    }
    codec_.reset(avcodec_alloc_context3(codec));
    codec_->sample_rate = settings.sampleRate;
    if (!settings.channelLayoutMask || av_channel_layout_from_mask(&codec_->ch_layout, settings.channelLayoutMask) < 0 ||
        codec_->ch_layout.nb_channels != settings.channelCount) {
        av_channel_layout_uninit(&codec_->ch_layout);
        av_channel_layout_default(&codec_->ch_layout, settings.channelCount);
    }
    codec_->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    if (settings.bitsPerSample > 0 && codec->sample_fmts) {
        // The integer format that holds the wanted resolution (16-bit, or 32-bit words for 24 bits).
        const AVSampleFormat wanted = settings.bitsPerSample > 16 ? AV_SAMPLE_FMT_S32 : AV_SAMPLE_FMT_S16;
        for (const AVSampleFormat* format = codec->sample_fmts; *format != AV_SAMPLE_FMT_NONE; ++format)
            if (av_get_packed_sample_fmt(*format) == wanted) {
                codec_->sample_fmt = *format;
                codec_->bits_per_raw_sample = std::min(settings.bitsPerSample, 24);
                break;
            }
    }
    codec_->bit_rate = settings.bitRate;
    codec_->time_base = AVRational{1, settings.sampleRate};
    if (globalHeader)
        codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int ret = avcodec_open2(codec_.get(), codec, nullptr);
    if (ret < 0) {
        setError(error, mediaError(ret, QStringLiteral("Cannot start the %1 encoder").arg(settings.encoderName)));
        return false;
    }
    fifo_.reset(av_audio_fifo_alloc(codec_->sample_fmt, codec_->ch_layout.nb_channels, 4096));
    return fifo_ != nullptr;
}

bool AudioEncoder::encode(PcmBuffer& buffer, const PacketHandler& handler, Error* error)
{
    const PcmFormat& in = buffer.format;
    if (!resampler_ || in.sampleRate != resamplerInput_.sampleRate || in.channelCount != resamplerInput_.channelCount ||
        in.sample != resamplerInput_.sample || in.channelLayoutMask != resamplerInput_.channelLayoutMask) {
        ChannelLayout inLayout;
        assignChannelLayout(inLayout, in);
        resampler_ = makeResampler(codec_->ch_layout, codec_->sample_fmt, codec_->sample_rate, inLayout.layout, sampleFormat(in.sample),
                                   in.sampleRate, QStringLiteral("Cannot convert the audio for encoding"), error);
        if (!resampler_)
            return false;
        resamplerInput_ = in;
    }
    const int count = buffer.frameCount();
    const int capacity = swr_get_out_samples(resampler_.get(), count);
    FramePtr converted = makeFrame();
    converted->format = codec_->sample_fmt;
    converted->nb_samples = std::max(capacity, 1);
    av_channel_layout_copy(&converted->ch_layout, &codec_->ch_layout);
    int ret = av_frame_get_buffer(converted.get(), 0);
    const uint8_t* input = buffer.data.data();
    if (ret >= 0)
        ret = swr_convert(resampler_.get(), converted->extended_data, capacity, &input, count);
    if (ret < 0) {
        setError(error, mediaError(ret, QStringLiteral("Cannot convert the audio for encoding")));
        return false;
    }
    if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted->extended_data), ret) < ret) {
        setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot buffer the audio for encoding")));
        return false;
    }
    return encodeFrames(false, handler, error);
}

bool AudioEncoder::encodeFrames(bool flush, const PacketHandler& handler, Error* error)
{
    const int frameSize = codec_->frame_size > 0 ? codec_->frame_size : 1024;
    while (av_audio_fifo_size(fifo_.get()) >= frameSize || (flush && av_audio_fifo_size(fifo_.get()) > 0)) {
        FramePtr frame = makeFrame();
        frame->format = codec_->sample_fmt;
        frame->nb_samples = std::min(frameSize, av_audio_fifo_size(fifo_.get()));
        frame->sample_rate = codec_->sample_rate;
        av_channel_layout_copy(&frame->ch_layout, &codec_->ch_layout);
        int ret = av_frame_get_buffer(frame.get(), 0);
        if (ret >= 0)
            ret = av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->extended_data), frame->nb_samples);
        if (ret >= 0) {
            frame->pts = nextPts_;
            nextPts_ += frame->nb_samples;
            ret = avcodec_send_frame(codec_.get(), frame.get());
        }
        if (ret < 0) {
            setError(error, mediaError(ret, QStringLiteral("Audio encoding failed")));
            return false;
        }
        if (!drain(handler, error))
            return false;
    }
    return true;
}

bool AudioEncoder::drain(const PacketHandler& handler, Error* error)
{
    return receiveEncodedPackets(codec_.get(), handler, QStringLiteral("Audio encoding failed"), error);
}

bool AudioEncoder::finish(const PacketHandler& handler, Error* error)
{
    if (resampler_) {
        // Samples the resampler still holds.
        FramePtr tail = makeFrame();
        tail->format = codec_->sample_fmt;
        tail->nb_samples = int(swr_get_delay(resampler_.get(), codec_->sample_rate)) + 32;
        av_channel_layout_copy(&tail->ch_layout, &codec_->ch_layout);
        if (av_frame_get_buffer(tail.get(), 0) >= 0) {
            const int got = swr_convert(resampler_.get(), tail->extended_data, tail->nb_samples, nullptr, 0);
            if (got > 0)
                av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(tail->extended_data), got);
        }
    }
    if (!encodeFrames(true, handler, error))
        return false;
    const int ret = avcodec_send_frame(codec_.get(), nullptr);
    if (ret < 0 && ret != AVERROR_EOF) {
        setError(error, mediaError(ret, QStringLiteral("Audio encoding failed")));
        return false;
    }
    return drain(handler, error);
}
