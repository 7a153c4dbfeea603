#include "MediaWriter.h"

#include "AudioEncoder.h"
#include "ContainerTraits.h"
#include "MediaInput.h"
#include "PacketTime.h"
#include "SampleBufferInternal.h"
#include "TrackOutput.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <chrono>
#include <cmath>
#include <cstring>

namespace {

// How far (in seconds) one input may run ahead of the slowest unfinished one.
constexpr double kInterleaveWindow = 1.0;

std::shared_ptr<AVCodecParameters> copyParameters(const AVCodecParameters* source)
{
    std::shared_ptr<AVCodecParameters> copy(avcodec_parameters_alloc(), CodecParametersDeleter());
    if (copy && source)
        avcodec_parameters_copy(copy.get(), source);
    return copy;
}

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

} // namespace

struct MediaWriter::Context {
    OutputFormatContextPtr format;
};

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
    inputs_.push_back(std::unique_ptr<WriterInput>(new WriterInput(*this, MediaType::Audio)));
    inputs_.back()->encoderSettings_ = settings;
    inputs_.back()->encoder_ = std::make_unique<AudioEncoder>();
    return inputs_.back().get();
}

WriterInput* MediaWriter::addPacketInput(const ReaderOutput& copiedTrack)
{
    const auto* source = dynamic_cast<const TrackOutput*>(&copiedTrack);
    if (!source)
        return nullptr;
    const AVCodecParameters* parameters = source->codecParameters();
    const MediaType type = !parameters                                       ? MediaType::Other
                           : parameters->codec_type == AVMEDIA_TYPE_VIDEO    ? MediaType::Video
                           : parameters->codec_type == AVMEDIA_TYPE_AUDIO    ? MediaType::Audio
                           : parameters->codec_type == AVMEDIA_TYPE_SUBTITLE ? MediaType::Subtitle
                                                                             : MediaType::TimedMetadata;
    return source->stream() ? addStreamCopyInput(type, source->stream()) : nullptr;
}

WriterInput* MediaWriter::addStreamCopyInput(MediaType type, const AVStream* source)
{
    WriterInput* input = addEncodedInput(type, source->codecpar, source->time_base.num, source->time_base.den);
    for (int i = 0; i < source->nb_side_data; ++i) {
        const AVPacketSideData& side = source->side_data[i];
        input->sideData_.emplace_back(int(side.type), QByteArray(reinterpret_cast<const char*>(side.data), int(side.size)));
    }
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = av_dict_get(source->metadata, "", tag, AV_DICT_IGNORE_SUFFIX)))
        input->tags_.emplace_back(tag->key, tag->value);
    input->disposition_ = source->disposition & ~AV_DISPOSITION_ATTACHED_PIC;
    input->frameRateNum_ = source->avg_frame_rate.num;
    input->frameRateDen_ = source->avg_frame_rate.den;
    return input;
}

WriterInput* MediaWriter::addEncodedInput(MediaType type, const AVCodecParameters* parameters, int timeBaseNum, int timeBaseDen)
{
    inputs_.push_back(std::unique_ptr<WriterInput>(new WriterInput(*this, type)));
    WriterInput* input = inputs_.back().get();
    input->parameters_ = copyParameters(parameters);
    input->timeBaseNum_ = timeBaseNum;
    input->timeBaseDen_ = timeBaseDen;
    return input;
}

void MediaWriter::setEncodedInputParameters(WriterInput* input, const AVCodecContext* encoder)
{
    avcodec_parameters_from_context(input->parameters_.get(), encoder);
}

void MediaWriter::setInputParameters(WriterInput* input, const AVCodecParameters& parameters)
{
    input->parameters_ = copyParameters(&parameters);
}

bool MediaWriter::canHold(MediaFileType fileType, const QString& codecName) { return ContainerTraitsTable::holds(fileType, codecName); }

void MediaWriter::setInitialPadding(WriterInput* input, int samples)
{
    if (input->parameters_)
        input->parameters_->initial_padding = samples;
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

bool MediaWriter::addChapters(AVFormatContext* format) const
{
    // Milliseconds, the resolution every chapter format keeps. The context frees what is added.
    const ChapterPlace place = ContainerTraitsTable::of(fileType_).chapters;
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

    bool firstAudio = true;
    for (auto& input : inputs_) {
        AVStream* stream = avformat_new_stream(format, nullptr);
        if (!stream)
            return fail(mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot add a track")), error);
        input->streamIndex_ = stream->index;
        if (input->encoder_) {
            if (!input->encoder_->open(input->encoderSettings_, globalHeader, error))
                return fail(error ? *error : Error{}, nullptr);
            avcodec_parameters_from_context(stream->codecpar, input->encoder_->context());
            input->timeBaseNum_ = 1;
            input->timeBaseDen_ = input->encoderSettings_.sampleRate;
        } else {
            avcodec_parameters_copy(stream->codecpar, input->parameters_.get());
            stream->codecpar->codec_tag = 0; // let the container choose its own code
        }
        stream->time_base = AVRational{input->timeBaseNum_, input->timeBaseDen_};
        if (input->frameRateNum_ > 0 && input->frameRateDen_ > 0)
            stream->avg_frame_rate = AVRational{input->frameRateNum_, input->frameRateDen_};
        for (const auto& [type, bytes] : input->sideData_)
            if (uint8_t* data = av_stream_new_side_data(stream, AVPacketSideDataType(type), size_t(bytes.size())))
                std::memcpy(data, bytes.constData(), size_t(bytes.size()));
        for (const auto& [key, value] : input->tags_)
            av_dict_set(&stream->metadata, key.constData(), value.constData(), 0);
        stream->disposition = input->disposition_;
        for (const auto& [tagged, tag] : codecTags_)
            if (tagged == input.get())
                stream->codecpar->codec_tag = tag;
        for (const auto& [named, language] : languages_)
            if (named == input.get())
                av_dict_set(&stream->metadata, "language", language.toUtf8().constData(), 0);
        if (input->mediaType_ == MediaType::Audio) {
            // One alternate group for all audio tracks (the muxer groups by type); the first is the default.
            stream->disposition = firstAudio ? AV_DISPOSITION_DEFAULT : 0;
            firstAudio = false;
        }
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
    if (!addChapters(format))
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

WriterInput::WriterInput(MediaWriter& writer, MediaType type) : writer_(writer), mediaType_(type) {}

WriterInput::~WriterInput() = default;

bool WriterInput::isReadyForMoreMediaData() const
{
    std::lock_guard lock(writer_.mutex_);
    return writer_.ready(*this);
}

bool WriterInput::waitUntilReady(const std::atomic<bool>& cancelled) const
{
    std::unique_lock lock(writer_.mutex_);
    while (!writer_.ready(*this)) {
        if (cancelled.load())
            return false;
        writer_.progress_.wait_for(lock, std::chrono::milliseconds(50));
    }
    return writer_.status_ == MediaWriter::Status::Writing;
}

bool WriterInput::writePacket(void* raw, int timeBaseNum, int timeBaseDen, Error* error)
{
    AVPacket* packet = static_cast<AVPacket*>(raw);
    AVFormatContext* format = writer_.context_->format.get();
    {
        std::lock_guard lock(writer_.mutex_);
        if (writer_.status_ != MediaWriter::Status::Writing) {
            setError(error, writer_.status_ == MediaWriter::Status::Failed
                                ? writer_.error_
                                : mediaLayerError(MediaLayerErrorCode::Stopped, QStringLiteral("The file is no longer being written.")));
            return false;
        }
        AVStream* stream = format->streams[streamIndex_];
        packet->stream_index = streamIndex_;
        av_packet_rescale_ts(packet, AVRational{timeBaseNum, timeBaseDen}, stream->time_base);
        if (guarded_ && !keepInOrder(*packet)) {
            ++dropped_;
            return true;
        }
        const int64_t timestamp = decodeTimestamp(*packet);
        if (timestamp != AV_NOPTS_VALUE)
            lastTime_ = timestamp * av_q2d(stream->time_base);
        const int ret = av_interleaved_write_frame(format, packet);
        if (ret >= 0 && !format->pb->error) {
            writer_.progress_.notify_all();
            return true;
        }
        const int code = ret < 0 ? ret : format->pb->error;
        const Error failure = mediaError(code, QStringLiteral("Cannot write \"%1\"").arg(writer_.path_));
        writer_.error_ = failure;
        writer_.status_ = MediaWriter::Status::Failed;
        setError(error, failure);
    }
    writer_.progress_.notify_all();
    return false;
}

bool WriterInput::keepInOrder(AVPacket& packet)
{
    if (packet.pts == AV_NOPTS_VALUE || packet.dts == AV_NOPTS_VALUE)
        return true;
    const int64_t duration = std::max<int64_t>(packet.duration, 0);
    switch (mediaType_) {
    case MediaType::Video:
        if (lastDts_ != INT64_MIN && packet.dts <= lastDts_) {
            if (lastDts_ + 1 > packet.pts)
                return false;
            packet.dts = lastDts_ + 1;
        }
        break;
    case MediaType::Audio:
        // A tick of overlap comes from rounding into the file's time base; more is a packet written twice.
        if (lastEnd_ != INT64_MIN && packet.pts < lastEnd_) {
            if (packet.pts + 1 < lastEnd_)
                return false;
            packet.pts = packet.dts = lastEnd_;
        }
        break;
    case MediaType::Subtitle:
        if (lastEnd_ != INT64_MIN && packet.pts < lastEnd_) {
            if (duration == 0 || packet.pts + duration <= lastEnd_)
                return false;
            packet.duration = packet.pts + duration - lastEnd_;
            packet.pts = packet.dts = lastEnd_;
        }
        break;
    default:
        break;
    }
    if (lastDts_ != INT64_MIN && packet.dts <= lastDts_)
        return false;
    lastDts_ = packet.dts;
    lastEnd_ = std::max(lastEnd_, packet.pts + std::max<int64_t>(packet.duration, 0));
    return true;
}

bool WriterInput::append(SampleBuffer& buffer, Error* error)
{
    if (encoder_) {
        auto* pcm = dynamic_cast<PcmBuffer*>(&buffer);
        if (!pcm) {
            setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument, QStringLiteral("An audio input takes PCM only.")));
            return false;
        }
        auto write = [&](PacketPtr packet, Error* e) { return writePacket(packet.get(), 1, encoderSettings_.sampleRate, e); };
        if (encoder_->encode(*pcm, write, error))
            return true;
        writer_.fail(error ? *error : Error{}, nullptr);
        return false;
    }
    auto* packet = dynamic_cast<PacketBuffer*>(&buffer);
    if (!packet) {
        setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument, QStringLiteral("This input takes encoded packets only.")));
        return false;
    }
    return writePacket(packet->packet().packet.get(), packet->packet().timeBase.num, packet->packet().timeBase.den, error);
}

bool WriterInput::markAsFinished(Error* error)
{
    bool ok = true;
    if (encoder_)
        ok = encoder_->finish([&](PacketPtr packet, Error* e) { return writePacket(packet.get(), 1, encoderSettings_.sampleRate, e); },
                              error);
    {
        std::lock_guard lock(writer_.mutex_);
        finished_ = true;
    }
    writer_.progress_.notify_all();
    return ok;
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
