#include "MediaInput.h"

#include "ContainerIndexCheck.h"
#include "OpenFiles.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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
    bool owned = false; // opened here for this demuxer alone, closed with it

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
AVIOContext* descriptorContext(int fd, bool owned)
{
    auto* buffer = static_cast<uint8_t*>(av_malloc(kReadBufferSize));
    AVIOContext* io = buffer ? avio_alloc_context(buffer, kReadBufferSize, 0, new DescriptorReader{fd, 0, owned}, &DescriptorReader::read,
                                                  nullptr, &DescriptorReader::seek)
                             : nullptr;
    if (!io) {
        av_free(buffer);
        if (owned)
            ::close(fd);
    }
    return io;
}

// Demuxers may open further files by name (an HLS segment, a concat entry, an image of a sequence, a
// QuickTime reference). None may: everything read comes through the one descriptor checked here.
int refuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

// Formats whose whole purpose is to name other files, with what to call them in a message.
const char* referringFormat(const char* name)
{
    static const std::pair<const char*, const char*> kFormats[] = {
        {"hls", "an HLS playlist"},
        {"dash", "a DASH manifest"},
        {"concat", "a concat list"},
        {"image2", "an image sequence"},
        {"imf", "an IMF composition"},
        {"avisynth", "an AviSynth script"},
        {"vapoursynth", "a VapourSynth script"},
        {"sdp", "a session description"},
        {"rtsp", "a stream description"},
    };
    for (const auto& [format, description] : kFormats)
        if (std::strcmp(name, format) == 0)
            return description;
    return nullptr;
}

// The file at path, opened for reading without waiting (a FIFO would block the open for good), and
// only when it is a regular file; -1 with the error set otherwise.
int openRegularFile(const QString& path, Error* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int code = errno;
        setError(error, code == ENOENT
                            ? mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("The file \"%1\" does not exist.").arg(path))
                            : mediaError(AVERROR(code), QStringLiteral("Cannot open \"%1\"").arg(path)));
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument,
                                        S_ISDIR(info.st_mode) ? QStringLiteral("\"%1\" is a folder, not a media file.").arg(path)
                                                              : QStringLiteral("\"%1\" is not a regular file (a pipe or a device): "
                                                                               "only media files are opened.")
                                                                    .arg(path)));
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

void releaseDescriptorContext(AVIOContext* io)
{
    if (!io)
        return;
    auto* reader = static_cast<DescriptorReader*>(io->opaque);
    if (reader && reader->owned)
        ::close(reader->fd);
    delete reader;
    av_freep(&io->buffer);
    avio_context_free(&io);
}

InputFormatContextPtr open(const QString& path, bool probe, Error* error)
{
    // The libraries' own console messages would only repeat what our errors say; CLIPWELL_FFMPEG_LOG
    // brings them back for diagnosis.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(qEnvironmentVariableIsSet("CLIPWELL_FFMPEG_LOG") ? AV_LOG_VERBOSE : AV_LOG_QUIET); });
    // A file the program checked and holds open is read through its descriptor, not found again by
    // name; any other is opened here, once, and checked to be a regular file.
    const std::optional<int> held = OpenFiles::descriptorFor(path);
    const int fd = held ? *held : openRegularFile(path, error);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    if (held && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument, QStringLiteral("\"%1\" is not a regular file.").arg(path)));
        return nullptr;
    }
    AVFormatContext* raw = avformat_alloc_context();
    AVIOContext* const io = raw ? descriptorContext(fd, !held) : nullptr;
    if (!io) {
        avformat_free_context(raw);
        if (!raw && !held)
            ::close(fd);
        setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot open \"%1\"").arg(path)));
        return nullptr;
    }
    raw->pb = io;
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    raw->io_open = refuseNestedOpen;
    // The name only helps the format probe (by its extension); the "file:" prefix keeps a colon in it
    // from being read as a protocol name.
    const QByteArray url = "file:" + QFile::encodeName(QFileInfo(path).absoluteFilePath());
    const AVInputFormat* format = nullptr;
    int ret = av_probe_input_buffer2(io, &format, url.constData(), raw, 0, 0);
    if (ret >= 0 && format) {
        if (const char* description = referringFormat(format->name)) {
            releaseDescriptorContext(io);
            avformat_free_context(raw);
            setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument,
                                            QStringLiteral("\"%1\" is %2, which names other files: open a media file itself.")
                                                .arg(path, QString::fromLatin1(description))));
            return nullptr;
        }
        if (!ContainerIndexCheck::check(fd, format->name, path, error)) {
            releaseDescriptorContext(io);
            avformat_free_context(raw);
            return nullptr;
        }
    }
    Dictionary options;
    options.set("protocol_whitelist", "file");
    // A reader of streams already described needs no second look at their contents: demuxers that
    // ask for it (WAV checks its PCM for compressed data) would otherwise probe every format again
    // and again over the first megabytes. One packet still tells such data apart.
    if (!probe)
        options.set("max_probe_packets", "1");
    if (ret >= 0)
        ret = avformat_open_input(&raw, url.constData(), format, &options.entries);
    else
        avformat_free_context(raw);
    if (ret < 0)
        releaseDescriptorContext(io); // a failed open frees the format context, never custom input
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
