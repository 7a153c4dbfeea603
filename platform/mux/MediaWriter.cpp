#include "MediaWriter.h"

#include "AudioEncoder.h"
#include "ContainerTraits.h"
#include "MediaInput.h"
#include "WriterStream.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Which track of each kind players take unasked: the first video and the first audio track (all audio
// tracks form one alternate group, the muxer grouping by type), and the first subtitle track when one
// of the subtitle tracks was marked so (subtitles shown unasked stay so, but only they). The other
// tracks of a kind lose the mark; every other flag of a track stays as it was.
class DefaultTracks {
public:
    explicit DefaultTracks(bool subtitleMarked) : subtitleMarked_(subtitleMarked) {}
    int disposition(MediaType type, int disposition)
    {
        const bool marks = type == MediaType::Video || type == MediaType::Audio || (type == MediaType::Subtitle && subtitleMarked_);
        if (!marks)
            return disposition;
        const bool first = std::find(seen_.begin(), seen_.end(), type) == seen_.end();
        seen_.push_back(type);
        return first ? disposition | AV_DISPOSITION_DEFAULT : disposition & ~AV_DISPOSITION_DEFAULT;
    }

private:
    bool subtitleMarked_ = false;
    std::vector<MediaType> seen_;
};

// How far (in seconds) one input may run ahead of the slowest unfinished one.
constexpr double kInterleaveWindow = 1.0;

// The file's own key for a common metadata key, for the containers of the media layer.
const char* containerKey(const QString& commonKey)
{
    if (commonKey == CommonMetadataKey::Title)
        return "title";
    if (commonKey == CommonMetadataKey::Artist)
        return "artist";
    if (commonKey == CommonMetadataKey::AlbumName)
        return "album";
    if (commonKey == CommonMetadataKey::CreationDate)
        return "date";
    if (commonKey == CommonMetadataKey::Author)
        return "author";
    if (commonKey == CommonMetadataKey::Description)
        return "comment";
    return nullptr;
}

// Chapters in the file's own form; false when out of memory. Milliseconds, the resolution every chapter
// format keeps. The context frees what is added.
bool addChapters(AVFormatContext* format, MediaFileType fileType, const std::vector<MediaChapter>& chapters_)
{
    const ChapterPlace place = ContainerTraitsTable::of(fileType).chapters;
    if (place == ChapterPlace::None)
        return true;
    if (place == ChapterPlace::VorbisComments) {
        // FLAC has no chapter block; players read the Vorbis comment convention CHAPTERnnn[NAME].
        for (size_t i = 0; i < chapters_.size(); ++i) {
            const int64_t ms = std::max<int64_t>(std::llround(CMTimeGetSeconds(chapters_[i].timeRange.start) * 1000), 0);
            const QString key = QStringLiteral("CHAPTER%1").arg(i + 1, 3, 10, QLatin1Char('0'));
            const QString when = QStringLiteral("%1:%2:%3.%4")
                                     .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
                                     .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
                                     .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
                                     .arg(ms % 1000, 3, 10, QLatin1Char('0'));
            if (av_dict_set(&format->metadata, key.toUtf8().constData(), when.toUtf8().constData(), 0) < 0 ||
                (!chapters_[i].title.isEmpty() && av_dict_set(&format->metadata, (key + QStringLiteral("NAME")).toUtf8().constData(),
                                                              chapters_[i].title.toUtf8().constData(), 0) < 0))
                return false;
        }
        return true;
    }
    for (const MediaChapter& chapter : chapters_) {
        auto** grown = static_cast<AVChapter**>(av_realloc_array(format->chapters, format->nb_chapters + 1, sizeof(AVChapter*)));
        if (!grown)
            return false;
        format->chapters = grown;
        auto* added = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (!added)
            return false;
        format->chapters[format->nb_chapters++] = added;
        added->id = format->nb_chapters;
        added->time_base = AVRational{1, 1000};
        added->start = MediaInput::timestampFromTime(chapter.timeRange.start, added->time_base);
        added->end = MediaInput::timestampFromTime(CMTimeRangeGetEnd(chapter.timeRange), added->time_base);
        if (!chapter.title.isEmpty() && av_dict_set(&added->metadata, "title", chapter.title.toUtf8().constData(), 0) < 0)
            return false;
    }
    return true;
}

} // namespace

MediaWriter::MediaWriter(QString path, MediaFileType fileType)
    : path_(std::move(path)), fileType_(fileType), context_(std::make_unique<Context>())
{
}

MediaWriter::~MediaWriter()
{
    // Whatever was begun and not completed does not stay behind.
    if (status_ != Status::Completed)
        cancelWriting();
}

WriterInput* MediaWriter::addAudioEncoderInput(const AudioEncoderSettings& settings)
{
    WriterInput* input = addInput(MediaType::Audio);
    input->encoderSettings_ = settings;
    input->encoder_ = std::make_unique<AudioEncoder>();
    return input;
}

WriterInput* MediaWriter::addInput(MediaType type)
{
    inputs_.push_back(std::unique_ptr<WriterInput>(new WriterInput(*this, type)));
    return inputs_.back().get();
}

bool MediaWriter::canHold(MediaFileType fileType, const QString& codecName) { return ContainerTraitsTable::holds(fileType, codecName); }

void MediaWriter::setInitialPadding(WriterInput* input, int samples)
{
    if (input->stream_->parameters)
        input->stream_->parameters->initial_padding = samples;
}

void MediaWriter::setCodecTag(WriterInput* input, uint32_t tag) { codecTags_.emplace_back(input, tag); }

bool MediaWriter::fail(const Error& error, Error* out)
{
    {
        std::lock_guard lock(mutex_);
        if (status_ != Status::Failed) {
            error_ = error;
            status_ = Status::Failed;
        }
    }
    progress_.notify_all();
    setError(out, error);
    return false;
}

Error MediaWriter::error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

bool MediaWriter::startWriting(Error* error)
{
    const QByteArray muxer = MediaFileTypes::muxerName(fileType_).toUtf8();
    AVFormatContext* raw = nullptr;
    int ret = avformat_alloc_output_context2(&raw, nullptr, muxer.isEmpty() ? nullptr : muxer.constData(), nullptr);
    if (ret < 0 || !raw)
        return fail(
            mediaError(ret < 0 ? ret : AVERROR_MUXER_NOT_FOUND, QStringLiteral("Cannot write %1 files").arg(QString::fromUtf8(muxer))),
            error);
    context_->format.reset(raw);
    AVFormatContext* format = raw;
    const bool globalHeader = format->oformat->flags & AVFMT_GLOBALHEADER;

    DefaultTracks defaultTracks(std::any_of(inputs_.begin(), inputs_.end(), [](const auto& input) {
        return input->mediaType_ == MediaType::Subtitle && (input->stream_->disposition & AV_DISPOSITION_DEFAULT);
    }));
    for (auto& input : inputs_) {
        AVStream* stream = avformat_new_stream(format, nullptr);
        if (!stream)
            return fail(mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot add a track")), error);
        input->streamIndex_ = stream->index;
        if (input->encoder_) {
            if (!input->encoder_->open(input->encoderSettings_, globalHeader, error))
                return fail(error ? *error : Error{}, nullptr);
            avcodec_parameters_from_context(stream->codecpar, input->encoder_->context());
            input->stream_->timeBase = AVRational{1, input->encoderSettings_.sampleRate};
        } else {
            avcodec_parameters_copy(stream->codecpar, input->stream_->parameters.get());
            stream->codecpar->codec_tag = 0; // let the container choose its own code
        }
        const WriterStream& written = *input->stream_;
        stream->time_base = written.timeBase;
        if (written.frameRate.num > 0 && written.frameRate.den > 0)
            stream->avg_frame_rate = written.frameRate;
        for (const auto& [type, bytes] : written.sideData)
            if (uint8_t* data = av_stream_new_side_data(stream, AVPacketSideDataType(type), size_t(bytes.size())))
                std::memcpy(data, bytes.constData(), size_t(bytes.size()));
        for (const auto& [key, value] : written.tags)
            av_dict_set(&stream->metadata, key.constData(), value.constData(), 0);
        stream->disposition = written.disposition;
        for (const auto& [tagged, tag] : codecTags_)
            if (tagged == input.get())
                stream->codecpar->codec_tag = tag;
        for (const auto& [named, language] : languages_)
            if (named == input.get())
                av_dict_set(&stream->metadata, "language", language.toUtf8().constData(), 0);
        stream->disposition = defaultTracks.disposition(input->mediaType_, written.disposition);
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_ATTACHMENT &&
            avformat_query_codec(format->oformat, stream->codecpar->codec_id, FF_COMPLIANCE_NORMAL) == 0)
            return fail(mediaLayerError(MediaLayerErrorCode::InvalidArgument,
                                        QStringLiteral("A %1 file cannot hold %2.")
                                            .arg(MediaFileTypes::extension(fileType_).toUpper(),
                                                 QString::fromUtf8(avcodec_get_name(stream->codecpar->codec_id)))),
                        error);
    }
    for (const MetadataItem& item : metadata_)
        if (const char* key = containerKey(item.commonKey.isEmpty() ? item.key : item.commonKey))
            av_dict_set(&format->metadata, key, item.stringValue().toUtf8().constData(), 0);
    if (!addChapters(format, fileType_, chapters_))
        return fail(mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot add the chapters")), error);

    const QByteArray url = "file:" + path_.toUtf8();
    format->url = av_strdup(url.constData());
    ret = avio_open(&format->pb, url.constData(), AVIO_FLAG_WRITE);
    if (ret < 0)
        return fail(mediaError(ret, QStringLiteral("Cannot create \"%1\"").arg(path_)), error);
    fileBegun_ = true;
    if (!writeArtwork(error))
        return false;
    Dictionary options;
    for (const auto& [key, value] : muxerOptions_)
        options.set(key.toUtf8().constData(), value.toUtf8().constData());
    ret = avformat_write_header(format, &options.entries);
    // The muxer takes cover art as the one packet of its stream.
    for (unsigned i = 0; ret >= 0 && i < format->nb_streams; ++i) {
        if (!(format->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        PacketPtr picture(av_packet_clone(&format->streams[i]->attached_pic));
        if (!picture) {
            ret = AVERROR(ENOMEM);
            break;
        }
        picture->pts = picture->dts = 0;
        ret = av_write_frame(format, picture.get());
    }
    if (ret < 0)
        return fail(mediaError(ret, QStringLiteral("Cannot write \"%1\"").arg(path_)), error);
    status_ = Status::Writing;
    return true;
}

// Artwork goes in as an attached picture: cover art in the MPEG-4 family, a PICTURE block in FLAC, an
// APIC frame in MP3; a Matroska file attaches it as "cover.jpg" or "cover.png". Other containers
// have no place for it.
bool MediaWriter::writeArtwork(Error* error)
{
    AVFormatContext* format = context_->format.get();
    const ArtworkPlace place = ContainerTraitsTable::of(fileType_).artwork;
    if (place == ArtworkPlace::None)
        return true;
    const bool matroska = place == ArtworkPlace::Attachment;
    QByteArray artwork;
    for (const MetadataItem& item : metadata_)
        if (item.commonKey == CommonMetadataKey::Artwork || item.key == CommonMetadataKey::Artwork)
            artwork = item.dataValue();
    const bool png = artwork.startsWith("\x89PNG");
    if (artwork.isEmpty() || (!png && !artwork.startsWith("\xFF\xD8")))
        return true;
    AVStream* stream = avformat_new_stream(format, nullptr);
    if (!stream)
        return fail(mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot add the artwork")), error);
    if (matroska) {
        stream->codecpar->codec_type = AVMEDIA_TYPE_ATTACHMENT;
        stream->codecpar->codec_id = png ? AV_CODEC_ID_PNG : AV_CODEC_ID_MJPEG;
        stream->codecpar->extradata = static_cast<uint8_t*>(av_mallocz(size_t(artwork.size()) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!stream->codecpar->extradata)
            return fail(mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot add the artwork")), error);
        memcpy(stream->codecpar->extradata, artwork.constData(), size_t(artwork.size()));
        stream->codecpar->extradata_size = int(artwork.size());
        av_dict_set(&stream->metadata, "filename", png ? "cover.png" : "cover.jpg", 0);
        av_dict_set(&stream->metadata, "mimetype", png ? "image/png" : "image/jpeg", 0);
        return true;
    }
    stream->disposition = AV_DISPOSITION_ATTACHED_PIC;
    stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    stream->codecpar->codec_id = png ? AV_CODEC_ID_PNG : AV_CODEC_ID_MJPEG;
    QBuffer bytes(&artwork);
    const QSize size = QImageReader(&bytes).size();
    stream->codecpar->width = size.width();
    stream->codecpar->height = size.height();
    stream->time_base = AVRational{1, 90000};
    if (av_new_packet(&stream->attached_pic, int(artwork.size())) < 0)
        return fail(mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot add the artwork")), error);
    memcpy(stream->attached_pic.data, artwork.constData(), size_t(artwork.size()));
    stream->attached_pic.stream_index = stream->index;
    stream->attached_pic.flags |= AV_PKT_FLAG_KEY;
    return true;
}

bool MediaWriter::ready(const WriterInput& input) const
{
    if (status_ != Status::Writing)
        return true; // let the caller find out by appending
    double slowest = 1e300;
    for (const auto& other : inputs_)
        if (other.get() != &input && !other->finished_)
            slowest = std::min(slowest, other->lastTime_);
    return input.lastTime_ <= slowest + kInterleaveWindow;
}

bool MediaWriter::finishWriting(Error* error)
{
    if (status_ != Status::Writing) {
        setError(error, error_);
        cancelWriting();
        return false;
    }
    for (auto& input : inputs_)
        if (!input->finished_ && !input->markAsFinished(error)) {
            cancelWriting();
            return false;
        }
    AVFormatContext* format = context_->format.get();
    int ret = av_write_trailer(format);
    if (ret >= 0 && format->pb->error)
        ret = format->pb->error;
    const int closed = avio_closep(&format->pb);
    if (ret >= 0 && closed < 0)
        ret = closed;
    if (ret < 0) {
        fail(mediaError(ret, QStringLiteral("Cannot finish \"%1\"").arg(path_)), error);
        QFile::remove(path_);
        return false;
    }
    status_ = Status::Completed;
    return true;
}

void MediaWriter::cancelWriting()
{
    {
        std::lock_guard lock(mutex_);
        if (status_ == Status::Writing || status_ == Status::Unknown)
            status_ = Status::Cancelled;
    }
    progress_.notify_all();
    if (context_->format && context_->format->pb)
        avio_closep(&context_->format->pb);
    if (fileBegun_)
        QFile::remove(path_);
}
