#include "MediaInput.h"

#include "OpenFiles.h"

#include <QFileInfo>

#include <cerrno>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

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

// Reads of a descriptor the program already holds, at a position of their own (pread), so any number
// of demuxers can read one descriptor at once.
struct DescriptorReader {
    int fd = -1;
    int64_t position = 0;

    static int read(void* opaque, uint8_t* buffer, int size)
    {
        auto* reader = static_cast<DescriptorReader*>(opaque);
        ssize_t got;
        do
            got = ::pread(reader->fd, buffer, size_t(size), reader->position);
        while (got < 0 && errno == EINTR);
        if (got < 0)
            return AVERROR(errno);
        if (got == 0)
            return AVERROR_EOF;
        reader->position += got;
        return int(got);
    }
    static int64_t seek(void* opaque, int64_t offset, int whence)
    {
        auto* reader = static_cast<DescriptorReader*>(opaque);
        auto size = [reader]() -> int64_t {
            struct stat info {};
            return ::fstat(reader->fd, &info) == 0 ? int64_t(info.st_size) : AVERROR(errno);
        };
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return size();
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += reader->position;
            break;
        case SEEK_END: {
            const int64_t end = size();
            if (end < 0)
                return end;
            offset += end;
            break;
        }
        default:
            return AVERROR(EINVAL);
        }
        if (offset < 0)
            return AVERROR(EINVAL);
        reader->position = offset;
        return offset;
    }
};

constexpr int kReadBufferSize = 64 * 1024;

// The demuxer's input through the descriptor: the context owns the reader and the buffer, and the
// format context's deleter releases them with it.
AVIOContext* descriptorContext(int fd)
{
    auto* buffer = static_cast<uint8_t*>(av_malloc(kReadBufferSize));
    if (!buffer)
        return nullptr;
    AVIOContext* io = avio_alloc_context(buffer, kReadBufferSize, 0, new DescriptorReader{fd, 0}, &DescriptorReader::read, nullptr,
                                         &DescriptorReader::seek);
    if (!io)
        av_free(buffer);
    return io;
}

} // namespace

void releaseDescriptorContext(AVIOContext* io)
{
    if (!io)
        return;
    delete static_cast<DescriptorReader*>(io->opaque);
    av_freep(&io->buffer);
    avio_context_free(&io);
}

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
    // A file the program checked and holds open is read through its descriptor, not found again by name.
    if (const std::optional<int> fd = OpenFiles::descriptorFor(path)) {
        raw = avformat_alloc_context();
        if (raw)
            raw->pb = descriptorContext(*fd);
        if (!raw || !raw->pb) {
            avformat_free_context(raw);
            av_dict_free(&options);
            setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot open \"%1\"").arg(path)));
            return nullptr;
        }
        raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    AVIOContext* const customIo = raw ? raw->pb : nullptr;
    // The "file:" prefix keeps a colon in the path from being read as a protocol name.
    const QByteArray url = "file:" + QFileInfo(path).absoluteFilePath().toUtf8();
    int ret = avformat_open_input(&raw, url.constData(), nullptr, &options);
    if (ret < 0)
        releaseDescriptorContext(customIo); // a failed open frees the format context, never custom input
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
