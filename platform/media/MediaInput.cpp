#include "MediaInput.h"

#include <QFileInfo>

#include <mutex>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace MediaInput {

namespace {

// MPEG-4 and QuickTime headers describe every stream fully (codec, size, rate, timing, duration), so
// reading packets to learn about the streams, as the probe does, would only cost time.
bool headerDescribesStreams(const AVFormatContext* ctx)
{
    if (!QByteArray(ctx->iformat->name).startsWith("mov,"))
        return false;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVCodecParameters* par = ctx->streams[i]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && !(ctx->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
            (par->codec_id == AV_CODEC_ID_NONE || par->width <= 0 || par->height <= 0))
            return false;
        if (par->codec_type == AVMEDIA_TYPE_AUDIO &&
            (par->codec_id == AV_CODEC_ID_NONE || par->sample_rate <= 0 || par->ch_layout.nb_channels <= 0))
            return false;
    }
    return true;
}

} // namespace

InputFormatContextPtr open(const QString& path, bool probe, Error* error)
{
    // The libraries' own console messages would only repeat what our errors say; CLIPWELL_FFMPEG_LOG
    // brings them back for diagnosis.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(qEnvironmentVariableIsSet("CLIPWELL_FFMPEG_LOG") ? AV_LOG_VERBOSE : AV_LOG_QUIET); });
    const QFileInfo info(path);
    if (!info.exists()) {
        setError(error, mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("The file \"%1\" does not exist.").arg(path)));
        return nullptr;
    }
    if (info.isDir()) {
        setError(error,
                 mediaLayerError(MediaLayerErrorCode::InvalidArgument, QStringLiteral("\"%1\" is a folder, not a media file.").arg(path)));
        return nullptr;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // A reader of streams already described needs no second look at their contents: demuxers that
    // ask for it (WAV checks its PCM for compressed data) would otherwise probe every format again
    // and again over the first megabytes. One packet still tells such data apart.
    if (!probe)
        av_dict_set(&options, "max_probe_packets", "1", 0);
    AVFormatContext* raw = nullptr;
    // The "file:" prefix keeps a colon in the path from being read as a protocol name.
    const QByteArray url = "file:" + QFileInfo(path).absoluteFilePath().toUtf8();
    int ret = avformat_open_input(&raw, url.constData(), nullptr, &options);
    av_dict_free(&options);
    if (ret < 0) {
        setError(error, mediaError(ret, QStringLiteral("Cannot open \"%1\"").arg(path)));
        return nullptr;
    }
    InputFormatContextPtr ctx(raw);
    if (probe && !headerDescribesStreams(ctx.get())) {
        ret = avformat_find_stream_info(ctx.get(), nullptr);
        if (ret < 0) {
            setError(error, mediaError(ret, QStringLiteral("Cannot read the streams of \"%1\"").arg(path)));
            return nullptr;
        }
    }
    return ctx;
}

CMTime timeFromTimestamp(int64_t timestamp, AVRational timeBase)
{
    if (timestamp == AV_NOPTS_VALUE || timeBase.den <= 0 || timeBase.num <= 0)
        return kCMTimeInvalid;
    __int128 value = static_cast<__int128>(timestamp) * timeBase.num;
    if (value > INT64_MAX || value < INT64_MIN)
        return kCMTimeInvalid;
    return CMTimeMake(static_cast<int64_t>(value), timeBase.den);
}

int64_t timestampFromTime(CMTime time, AVRational timeBase)
{
    if (!CMTIME_IS_NUMERIC(time))
        return AV_NOPTS_VALUE;
    return av_rescale_rnd(time.value, timeBase.den, int64_t(time.timescale) * timeBase.num, AV_ROUND_ZERO);
}

} // namespace MediaInput
