#include "MediaAsset.h"

#include "ContainerTraits.h"
#include "MediaInput.h"

#include <QThreadPool>

#include <algorithm>
#include <set>

extern "C" {
#include <libavutil/display.h>
}

namespace {

int audioResolution(const AVCodecParameters& par)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(par.codec_id);
    if (!descriptor || !(descriptor->props & AV_CODEC_PROP_LOSSLESS))
        return 16;
    const AVSampleFormat format = AVSampleFormat(par.format);
    if (format != AV_SAMPLE_FMT_NONE && av_get_packed_sample_fmt(format) >= AV_SAMPLE_FMT_FLT &&
        av_get_packed_sample_fmt(format) <= AV_SAMPLE_FMT_DBL)
        return 24;
    const int bits = par.bits_per_raw_sample > 0 ? par.bits_per_raw_sample : par.bits_per_coded_sample;
    return bits > 16 ? 24 : 16;
}

// The text track a QuickTime file names its chapters in: the demuxer reads it into the chapter list,
// leaving the stream as opaque data it does not read.
bool isChapterTrack(const AVStream* stream)
{
    return stream->codecpar->codec_type == AVMEDIA_TYPE_DATA && stream->codecpar->codec_id == AV_CODEC_ID_BIN_DATA &&
           stream->discard == AVDISCARD_ALL;
}

MediaType mediaTypeOf(const AVStream* stream)
{
    switch (stream->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        return MediaType::Video;
    case AVMEDIA_TYPE_AUDIO:
        return MediaType::Audio;
    case AVMEDIA_TYPE_SUBTITLE:
        return MediaType::Subtitle;
    case AVMEDIA_TYPE_DATA:
        switch (stream->codecpar->codec_id) {
        case AV_CODEC_ID_TIMED_ID3:
        case AV_CODEC_ID_BIN_DATA:
        case AV_CODEC_ID_SMPTE_KLV:
            return MediaType::TimedMetadata;
        default:
            return MediaType::Other;
        }
    default:
        return MediaType::Other;
    }
}

// The display matrix as the track's transform. FFmpeg keeps the matrix of the container
// ([a b u; c d v; x y w], a–d and x, y in 16.16 fixed point), which maps points as a row vector.
QTransform transformOf(const AVStream* stream)
{
    const auto* matrix = reinterpret_cast<const int32_t*>(av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix)
        return QTransform();
    auto fixed = [](int32_t v) { return v / 65536.0; };
    QTransform t(fixed(matrix[0]), fixed(matrix[1]), fixed(matrix[3]), fixed(matrix[4]), fixed(matrix[6]), fixed(matrix[7]));
    if (t.dx() == 0 && t.dy() == 0 && !t.isIdentity()) {
        // Containers that store only the rotation: move the turned picture back to the origin.
        const QRectF bounds = t.mapRect(QRectF(0, 0, stream->codecpar->width, stream->codecpar->height));
        t = t * QTransform::fromTranslate(-bounds.x(), -bounds.y());
    }
    return t;
}

QString keySpaceFor(const QString& formatName)
{
    if (formatName == QLatin1String("mp3"))
        return MetadataKeySpace::ID3;
    if (formatName.startsWith(QLatin1String("mov,")))
        return MetadataKeySpace::iTunes;
    if (formatName == QLatin1String("flac") || formatName == QLatin1String("ogg"))
        return MetadataKeySpace::VorbisComment;
    if (formatName == QLatin1String("wav"))
        return MetadataKeySpace::RIFF;
    if (formatName.startsWith(QLatin1String("matroska")))
        return MetadataKeySpace::Matroska;
    return formatName;
}

QString commonKeyFor(const QString& key)
{
    const QString k = key.toLower();
    if (k == QLatin1String("title"))
        return CommonMetadataKey::Title;
    if (k == QLatin1String("artist"))
        return CommonMetadataKey::Artist;
    if (k == QLatin1String("album"))
        return CommonMetadataKey::AlbumName;
    if (k == QLatin1String("date") || k == QLatin1String("year"))
        return CommonMetadataKey::CreationDate;
    if (k == QLatin1String("author"))
        return CommonMetadataKey::Author;
    if (k == QLatin1String("comment") || k == QLatin1String("description"))
        return CommonMetadataKey::Description;
    return {};
}

QString artworkKeyFor(const QString& keySpace)
{
    if (keySpace == MetadataKeySpace::ID3)
        return QStringLiteral("APIC");
    if (keySpace == MetadataKeySpace::iTunes)
        return QStringLiteral("covr");
    if (keySpace == MetadataKeySpace::VorbisComment)
        return QStringLiteral("METADATA_BLOCK_PICTURE");
    return CommonMetadataKey::Artwork;
}

void appendTags(const AVDictionary* dict, const QString& keySpace, std::vector<MetadataItem>& items, std::set<QString>& seen)
{
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(dict, "", entry, AV_DICT_IGNORE_SUFFIX))) {
        const QString key = QString::fromUtf8(entry->key);
        if (!seen.insert(key.toLower()).second)
            continue;
        items.push_back(MetadataItem{keySpace, key, commonKeyFor(key), QString::fromUtf8(entry->value)});
    }
}

// How much longer than its tracks a file may say it is: more than any reordered last frame.
constexpr double kStatedLengthTolerance = 0.5;

// The duration of a stream in its own time base, or invalid when the container does not say.
CMTime streamDuration(const AVStream* stream) { return MediaInput::timeFromTimestamp(stream->duration, stream->time_base); }

// Containers whose index gives every track's exact length (sample tables, sample counts, data sizes).
bool indexesTrackLengths(const QString& formatName)
{
    const ContainerTraits* family = ContainerTraitsTable::forDemuxer(formatName);
    // CAF is read, never written, so the table of output containers does not know it.
    return family ? family->indexesLengths : formatName == QLatin1String("caf");
}

} // namespace

std::shared_ptr<MediaAsset> MediaAsset::open(const MediaSource& source, Error* error)
{
    const QString& path = source.path();
    InputFormatContextPtr ctx = MediaInput::open(source, true, error);
    if (!ctx)
        return nullptr;

    std::shared_ptr<MediaAsset> asset(new MediaAsset());
    asset->source_ = source;
    asset->formatName_ = QString::fromUtf8(ctx->iformat->name);
    asset->fileSize_ = source.size();
    asset->lengthIsStated_ = ctx->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE;
    const bool indexed = indexesTrackLengths(asset->formatName_) && asset->lengthIsStated_;
    const QString keySpace = keySpaceFor(asset->formatName_);

    // Track IDs: the container's own when every one is distinct and non-zero.
    std::set<int> ids;
    bool idsUsable = true;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        if (MediaInput::isAttachedPicture(st) || isChapterTrack(st))
            continue;
        idsUsable = idsUsable && st->id != 0 && ids.insert(st->id).second;
    }

    CMTime start = kCMTimeInvalid;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        if (MediaInput::isAttachedPicture(st) || isChapterTrack(st) || st->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT)
            continue;
        const CMTime streamStart = MediaInput::timeFromTimestamp(st->start_time, st->time_base);
        if (CMTIME_IS_VALID(streamStart))
            start = CMTimeMinimum(start, streamStart);
    }
    // Negative starts are encoder priming (Opus pre-skip, AAC priming) that players never show.
    asset->startOffset_ = CMTIME_IS_VALID(start) && CMTimeCompare(start, kCMTimeZero) > 0 ? start : kCMTimeZero;

    const CMTime containerDuration = MediaInput::timeFromTimestamp(ctx->duration, AVRational{1, AV_TIME_BASE});
    CMTime end = kCMTimeInvalid;
    CMTime indexedEnd = kCMTimeInvalid; // where the last track's indexed samples end, when all are indexed
    bool allIndexed = true;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        if (isChapterTrack(st))
            continue;
        const AVCodecParameters* par = st->codecpar;
        if (MediaInput::isAttachedPicture(st)) {
            if (st->attached_pic.size > 0) {
                asset->metadata_.push_back(
                    MetadataItem{keySpace, artworkKeyFor(keySpace), CommonMetadataKey::Artwork,
                                 QByteArray(reinterpret_cast<const char*>(st->attached_pic.data), st->attached_pic.size)});
            }
            continue;
        }
        MediaTrack track;
        track.trackID = idsUsable ? st->id : int32_t(i + 1);
        track.streamIndex = int(i);
        track.mediaType = mediaTypeOf(st);
        track.codecName = QString::fromUtf8(avcodec_get_name(par->codec_id));
        track.codecTag = par->codec_tag;
        track.timeBaseNum = st->time_base.num;
        track.timeBaseDen = st->time_base.den;
        track.bitRate = par->bit_rate;
        if (const AVDictionaryEntry* lang = av_dict_get(st->metadata, "language", nullptr, 0))
            track.languageCode = QString::fromUtf8(lang->value);
        if (const AVDictionaryEntry* title = av_dict_get(st->metadata, "title", nullptr, 0))
            track.title = QString::fromUtf8(title->value);
        if (track.mediaType == MediaType::Video) {
            track.naturalSize = QSize(par->width, par->height);
            const AVRational sar = st->sample_aspect_ratio.num ? st->sample_aspect_ratio : par->sample_aspect_ratio;
            track.pixelAspectRatio = (sar.num > 0 && sar.den > 0) ? av_q2d(sar) : 1.0;
            track.preferredTransform = transformOf(st);
            const AVRational rate = st->avg_frame_rate.num ? st->avg_frame_rate : st->r_frame_rate;
            track.nominalFrameRate = rate.den ? av_q2d(rate) : 0.0;
        } else if (track.mediaType == MediaType::Audio) {
            track.sampleRate = par->sample_rate;
            track.channelCount = par->ch_layout.nb_channels;
            if (par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE)
                track.channelLayoutMask = par->ch_layout.u.mask;
            track.bitsPerSample = audioResolution(*par);
        }
        CMTime trackStart = MediaInput::timeFromTimestamp(st->start_time, st->time_base);
        trackStart = CMTIME_IS_VALID(trackStart) ? CMTimeSubtract(trackStart, asset->startOffset_) : kCMTimeZero;
        CMTime duration = streamDuration(st);
        track.lengthIsIndexed = indexed && CMTIME_IS_VALID(duration);
        if (!CMTIME_IS_VALID(duration))
            duration = CMTIME_IS_VALID(containerDuration) ? CMTimeSubtract(containerDuration, trackStart) : kCMTimeZero;
        track.timeRange = CMTimeRangeMake(trackStart, duration);
        if (track.mediaType != MediaType::Other)
            end = CMTimeMaximum(end, CMTimeRangeGetEnd(track.timeRange));
        allIndexed = allIndexed && track.lengthIsIndexed;
        indexedEnd = CMTimeMaximum(indexedEnd, CMTimeRangeGetEnd(track.timeRange));
        asset->tracks_.push_back(track);
    }
    std::set<QString> seenKeys;
    appendTags(ctx->metadata, keySpace, asset->metadata_, seenKeys);
    // Ogg keeps the tags on the stream rather than the file.
    if (!av_dict_count(ctx->metadata)) {
        for (const MediaTrack& track : asset->tracks_)
            if (track.mediaType == MediaType::Audio)
                appendTags(ctx->streams[track.streamIndex]->metadata, keySpace, asset->metadata_, seenKeys);
    }
    // Stream tags such as "language" or "handler_name" describe the track, not the file.
    std::erase_if(asset->metadata_, [](const MetadataItem& item) {
        static const std::set<QString> trackOnly = {QStringLiteral("language"), QStringLiteral("handler_name"), QStringLiteral("vendor_id"),
                                                    QStringLiteral("duration")};
        return trackOnly.count(item.key.toLower()) != 0;
    });
    // The tracks' own durations are exact. Some files end their presentation later than that (reordered
    // frames of variable rate shown after the track's decode duration); the container says so, then.
    CMTime duration = CMTIME_IS_VALID(end) ? end : kCMTimeZero;
    if (CMTIME_IS_VALID(containerDuration)) {
        const CMTime containerEnd = CMTimeSubtract(
            containerDuration,
            CMTimeSubtract(asset->startOffset_, MediaInput::timeFromTimestamp(ctx->start_time == AV_NOPTS_VALUE ? 0 : ctx->start_time,
                                                                              AVRational{1, AV_TIME_BASE})));
        if (!CMTIME_IS_VALID(end) || CMTimeGetSeconds(containerEnd) - CMTimeGetSeconds(end) > 0.001)
            duration = containerEnd;
    }
    // A header that states far more than every track's samples hold is damaged (or forged): taken at
    // its word it would make an export of silence and frozen frames up to the stated length.
    if (allIndexed && CMTIME_IS_NUMERIC(indexedEnd) && CMTimeGetSeconds(duration) - CMTimeGetSeconds(indexedEnd) > kStatedLengthTolerance) {
        setError(error,
                 mediaLayerError(MediaLayerErrorCode::Damaged,
                                 QStringLiteral("\"%1\" states a length of %2 s, but its tracks hold only %3 s: the file is damaged.")
                                     .arg(path)
                                     .arg(CMTimeGetSeconds(duration), 0, 'f', 3)
                                     .arg(CMTimeGetSeconds(indexedEnd), 0, 'f', 3)));
        return nullptr;
    }
    asset->duration_ = duration;
    for (unsigned i = 0; i < ctx->nb_chapters; ++i) {
        const AVChapter* chapter = ctx->chapters[i];
        const CMTime from = CMTimeSubtract(MediaInput::timeFromTimestamp(chapter->start, chapter->time_base), asset->startOffset_);
        CMTime to = CMTimeSubtract(MediaInput::timeFromTimestamp(chapter->end, chapter->time_base), asset->startOffset_);
        if (!CMTIME_IS_NUMERIC(from))
            continue;
        if (!CMTIME_IS_NUMERIC(to) || CMTimeCompare(to, from) <= 0) {
            to = i + 1 < ctx->nb_chapters
                     ? CMTimeSubtract(MediaInput::timeFromTimestamp(ctx->chapters[i + 1]->start, ctx->chapters[i + 1]->time_base),
                                      asset->startOffset_)
                     : duration;
        }
        const AVDictionaryEntry* title = av_dict_get(chapter->metadata, "title", nullptr, 0);
        asset->chapters_.push_back(MediaChapter{CMTimeRangeFromTimeToTime(CMTimeMaximum(from, kCMTimeZero), to),
                                                title ? QString::fromUtf8(title->value) : QString()});
    }
    return asset;
}

std::vector<MediaTrack> MediaAsset::tracksWithMediaType(MediaType type) const
{
    std::vector<MediaTrack> result;
    for (const MediaTrack& track : tracks_)
        if (track.mediaType == type)
            result.push_back(track);
    return result;
}

std::optional<MediaTrack> MediaAsset::trackWithID(int32_t trackID) const
{
    for (const MediaTrack& track : tracks_)
        if (track.trackID == trackID)
            return track;
    return std::nullopt;
}

std::shared_ptr<MediaAsset> MediaAsset::withoutTracks(const std::shared_ptr<MediaAsset>& asset, const std::vector<int32_t>& trackIDs)
{
    const auto leftOut = [&](const MediaTrack& track) {
        return std::find(trackIDs.begin(), trackIDs.end(), track.trackID) != trackIDs.end();
    };
    if (!asset || std::none_of(asset->tracks_.begin(), asset->tracks_.end(), leftOut))
        return asset;
    std::shared_ptr<MediaAsset> view(new MediaAsset(*asset));
    std::erase_if(view->tracks_, leftOut);
    return view;
}

void MediaAsset::loadDurationAsync(std::function<void(CMTime)> completion) const
{
    const CMTime duration = duration_;
    QThreadPool::globalInstance()->start([completion = std::move(completion), duration] { completion(duration); });
}

bool MediaAsset::holdsMediaAfter(CMTime time) const
{
    constexpr int kLongestLook = 100000; // packets; a file that goes on this long is not cut short
    InputFormatContextPtr ctx = MediaInput::open(source_, false, nullptr);
    if (!ctx)
        return false;
    const CMTime at = CMTimeAdd(time, startOffset_);
    const int64_t target = MediaInput::timestampFromTime(at, AVRational{1, AV_TIME_BASE});
    av_seek_frame(ctx.get(), -1, target, AVSEEK_FLAG_BACKWARD);
    PacketPtr packet(av_packet_alloc());
    for (int read = 0; packet && read < kLongestLook; ++read) {
        if (av_read_frame(ctx.get(), packet.get()) < 0)
            return false;
        const AVStream* st = ctx->streams[packet->stream_index];
        const CMTime begins = MediaInput::timeFromTimestamp(packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts, st->time_base);
        av_packet_unref(packet.get());
        if (!MediaInput::isAttachedPicture(st) && CMTIME_IS_NUMERIC(begins) && CMTimeCompare(begins, at) > 0)
            return true;
    }
    return true;
}

bool MediaAsset::fileShrank() const { return fileSize_ >= 0 && source_.size() < fileSize_; }
