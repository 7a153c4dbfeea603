#include "MediaInput.h"

#include "ContainerIndexCheck.h"
#include "MediaSource.h"

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
// of demuxers can read one descriptor at once. A descriptor opened for this demuxer alone is closed
// with the reader.
struct DescriptorReader final : CustomInputSource {
    int fd = -1;
    int64_t position = 0;
    bool owned = false;
    MediaSource held; // keeps a held descriptor open while this demuxer reads it

    DescriptorReader(int descriptor, bool ownsDescriptor, MediaSource source)
        : fd(descriptor), owned(ownsDescriptor), held(std::move(source))
    {
    }
    DescriptorReader(const DescriptorReader&) = delete;
    DescriptorReader& operator=(const DescriptorReader&) = delete;
    ~DescriptorReader() override
    {
        if (owned)
            ::close(fd);
    }

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

// The demuxer's input through the descriptor: the context owns the reader (and with it a descriptor
// opened here) and the buffer. Null when out of memory, with the descriptor released all the same.
IOContextPtr descriptorContext(int fd, bool owned, const MediaSource& source)
{
    auto reader = std::make_unique<DescriptorReader>(fd, owned, owned ? MediaSource() : source);
    std::unique_ptr<uint8_t, BufferDeleter> buffer(static_cast<uint8_t*>(av_malloc(kReadBufferSize)));
    IOContextPtr io(buffer ? avio_alloc_context(buffer.get(), kReadBufferSize, 0, reader.get(), &DescriptorReader::read, nullptr,
                                                &DescriptorReader::seek)
                           : nullptr);
    if (io) {
        buffer.release();
        reader.release();
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

InputFormatContextPtr open(const MediaSource& source, bool probe, Error* error)
{
    const QString& path = source.path();
    // The libraries' own console messages would only repeat what our errors say; CLIPWELL_FFMPEG_LOG
    // brings them back for diagnosis.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(qEnvironmentVariableIsSet("CLIPWELL_FFMPEG_LOG") ? AV_LOG_VERBOSE : AV_LOG_QUIET); });
    // A file the program checked and holds open is read through its descriptor, not found again by
    // name; any other is opened here, once, and checked to be a regular file.
    const bool held = source.isHeld();
    const int fd = held ? source.descriptor() : openRegularFile(path, error);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    if (held && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument, QStringLiteral("\"%1\" is not a regular file.").arg(path)));
        return nullptr;
    }
    IOContextPtr io = descriptorContext(fd, !held, source);
    std::unique_ptr<AVFormatContext, AllocatedFormatContextDeleter> allocated(io ? avformat_alloc_context() : nullptr);
    if (!allocated) {
        setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot open \"%1\"").arg(path)));
        return nullptr;
    }
    allocated->pb = io.get();
    allocated->flags |= AVFMT_FLAG_CUSTOM_IO;
    allocated->io_open = refuseNestedOpen;
    // The name only helps the format probe (by its extension); the "file:" prefix keeps a colon in it
    // from being read as a protocol name.
    const QByteArray url = "file:" + QFile::encodeName(QFileInfo(path).absoluteFilePath());
    const AVInputFormat* format = nullptr;
    int ret = av_probe_input_buffer2(io.get(), &format, url.constData(), allocated.get(), 0, 0);
    if (ret >= 0 && format) {
        if (const char* description = referringFormat(format->name)) {
            setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument,
                                            QStringLiteral("\"%1\" is %2, which names other files: open a media file itself.")
                                                .arg(path, QString::fromLatin1(description))));
            return nullptr;
        }
        if (!ContainerIndexCheck::check(fd, format->name, path, error))
            return nullptr;
    }
    Dictionary options;
    options.set("protocol_whitelist", "file");
    // A reader of streams already described needs no second look at their contents: demuxers that
    // ask for it (WAV checks its PCM for compressed data) would otherwise probe every format again
    // and again over the first megabytes. One packet still tells such data apart.
    if (!probe)
        options.set("max_probe_packets", "1");
    AVFormatContext* raw = nullptr;
    if (ret >= 0) {
        raw = allocated.release();
        ret = avformat_open_input(&raw, url.constData(), format, &options.entries); // frees the context when it fails
    }
    if (ret < 0) {
        setError(error, mediaError(ret, QStringLiteral("Cannot open \"%1\"").arg(path)));
        return nullptr;
    }
    io.release(); // the opened context's deleter frees it from now on
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
