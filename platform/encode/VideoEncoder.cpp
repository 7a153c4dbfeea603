#include "VideoEncoder.h"

#include "EncoderOutput.h"
#include "MediaInput.h"
#include "SampleBufferInternal.h"

extern "C" {
#include <libavutil/opt.h>
}

bool VideoEncoder::open(const Options& options, Error* error)
{
    const bool hevc = options.settings.codecType == fourCharCode("hvc1");
    const char* name = hevc ? "libx265" : "libx264";
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) {
        setError(error, mediaLayerError(MediaLayerErrorCode::CodecMissing,
                                        QStringLiteral("The %1 encoder is not available.").arg(QString::fromLatin1(name))));
        return false;
    }
    if (options.size.width() < 2 || options.size.height() < 2 || options.size.width() % 2 || options.size.height() % 2) {
        setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument,
                                        QStringLiteral("Cannot encode a %1×%2 picture: width and height must be even and at least 2.")
                                            .arg(options.size.width())
                                            .arg(options.size.height())));
        return false;
    }
    codec_.reset(avcodec_alloc_context3(codec));
    codec_->width = options.size.width();
    codec_->height = options.size.height();
    codec_->pix_fmt = AV_PIX_FMT_YUV420P;
    codec_->time_base = AVRational{1, options.timeBaseDen};
    codec_->framerate = av_d2q(options.frameRate > 0 ? options.frameRate : 30, 100000);
    codec_->sample_aspect_ratio = AVRational{1, 1};
    if (options.globalHeader)
        codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(codec_->priv_data, "preset", options.preset.toUtf8().constData(), 0);
    const int crf = options.crf >= 0 ? options.crf : (hevc ? 20 : 18);
    av_opt_set_double(codec_->priv_data, "crf", crf, 0);
    if (!options.settings.profile.isEmpty())
        av_opt_set(codec_->priv_data, "profile", options.settings.profile.toUtf8().constData(), 0);
    if (hevc)
        av_opt_set(codec_->priv_data, "x265-params", "log-level=error", 0);
    const int ret = avcodec_open2(codec_.get(), codec, nullptr);
    if (ret < 0) {
        setError(error, mediaError(ret, QStringLiteral("Cannot start the %1 encoder").arg(QString::fromLatin1(name))));
        codec_.reset();
        return false;
    }
    return true;
}

bool VideoEncoder::encode(VideoFrameBuffer& buffer, const PacketHandler& handler, Error* error)
{
    AVFrame* source = buffer.frame().frame.get();
    FramePtr frame;
    if (source->format == codec_->pix_fmt && source->width == codec_->width && source->height == codec_->height) {
        frame.reset(av_frame_clone(source));
    } else {
        frame = makeFrame();
        frame->format = codec_->pix_fmt;
        frame->width = codec_->width;
        frame->height = codec_->height;
        int ret = av_frame_get_buffer(frame.get(), 0);
        if (ret >= 0) {
            scaler_.reset(sws_getCachedContext(scaler_.release(), source->width, source->height, AVPixelFormat(source->format),
                                               codec_->width, codec_->height, codec_->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
            ret = scaler_ ? sws_scale(scaler_.get(), source->data, source->linesize, 0, source->height, frame->data, frame->linesize)
                          : AVERROR(EINVAL);
        }
        if (ret < 0) {
            setError(error, mediaError(ret, QStringLiteral("Cannot convert the picture for encoding")));
            return false;
        }
    }
    if (!frame) {
        setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot encode the picture")));
        return false;
    }
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    frame->pts = MediaInput::timestampFromTime(buffer.presentationTime, codec_->time_base);
    // Times that collapse at the time base would be refused; keep them rising.
    if (lastPts_ != AV_NOPTS_VALUE && frame->pts <= lastPts_)
        frame->pts = lastPts_ + 1;
    lastPts_ = frame->pts;
    frame->pkt_duration = MediaInput::timestampFromTime(buffer.duration, codec_->time_base);
    durations_[frame->pts] = frame->pkt_duration;
    const int ret = avcodec_send_frame(codec_.get(), frame.get());
    if (ret < 0) {
        setError(error, mediaError(ret, QStringLiteral("Video encoding failed")));
        return false;
    }
    return drain(handler, error);
}

bool VideoEncoder::drain(const PacketHandler& handler, Error* error)
{
    return receiveEncodedPackets(
        codec_.get(),
        [&](PacketPtr packet, Error* e) {
            // The encoder leaves durations out; each packet gets its frame's.
            if (const auto known = durations_.find(packet->pts); known != durations_.end()) {
                if (packet->duration <= 0)
                    packet->duration = known->second;
                durations_.erase(known);
            }
            return handler(std::move(packet), e);
        },
        QStringLiteral("Video encoding failed"), error);
}

bool VideoEncoder::complete(const PacketHandler& handler, Error* error)
{
    const int ret = avcodec_send_frame(codec_.get(), nullptr);
    if (ret < 0 && ret != AVERROR_EOF) {
        setError(error, mediaError(ret, QStringLiteral("Video encoding failed")));
        return false;
    }
    return drain(handler, error);
}
