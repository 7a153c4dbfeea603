#include "CopyPlan.h"

#include "ContainerTraits.h"
#include "DecodeTimes.h"
#include "KeyframeKind.h"
#include "MediaAsset.h"
#include "MediaInput.h"
#include "PacketTime.h"
#include "PassthroughPlan.h"
#include "SpliceEncoder.h"
#include "StreamDecoder.h"
#include "TimedPacketReader.h"

#include <algorithm>

namespace {

constexpr size_t kNotesShown = 10;

QString seconds(CMTime time) { return QString::number(CMTimeGetSeconds(time), 'f', 3); }

// The video track that places pieces: the first that is not cover art.
int videoStreamOf(const MediaAsset& asset, const AVFormatContext& input)
{
    for (const MediaTrack& track : asset.tracksWithMediaType(MediaType::Video))
        if (track.streamIndex >= 0 && track.streamIndex < int(input.nb_streams))
            return track.streamIndex;
    return -1;
}

// Half the video's usual picture duration, in its ticks: how close to a picture's start a cut counts as at it.
int64_t halfPicture(const AVStream& stream) { return DecodeTimes::pictureTicks(stream) / 2; }

// Reads the video from a piece's keyframe on to find the first clean keyframe that is kept, and
// whether kept pictures come before it (in presentation order: also pictures decoded after it).
struct KeyframeScan {
    std::optional<KeyframeSearch::Keyframe> copyFrom;
    bool keptBefore = false;
};

KeyframeScan scanForCopyStart(TimedPacketReader& reader, int video, const KeyframeSearch::Keyframe& from, int64_t start, int64_t end,
                              int64_t half)
{
    AVFormatContext* input = reader.input();
    const AVStream& stream = *input->streams[video];
    const int64_t seekTo = from.seekFrom != INT64_MIN ? from.seekFrom : av_rescale_q(from.pts, stream.time_base, AV_TIME_BASE_Q);
    if (seekTo == KeyframeSearch::kFromFileStart || reader.seekFile(INT64_MIN, seekTo, seekTo) < 0)
        reader.seekFile(INT64_MIN, INT64_MIN, INT64_MIN);
    KeyframeScan scan;
    PacketPtr packet = makePacket();
    bool reached = false;
    int index = 0, afterCopyStart = 0;
    while (reader.read(packet.get()) >= 0) {
        if (packet->stream_index != video) {
            av_packet_unref(packet.get());
            continue;
        }
        const int64_t pts = presentationTimestamp(*packet);
        if (!reached && pts != from.pts) {
            av_packet_unref(packet.get());
            continue;
        }
        reached = true;
        const int64_t duration = packet->duration > 0 ? packet->duration : 2 * half;
        const int64_t dts = packet->dts != AV_NOPTS_VALUE ? packet->dts
                                                          : PassthroughPlan::missingDecodeTime(from.pts, stream.codecpar->video_delay,
                                                                                               std::max<int64_t>(duration, 1), index);
        ++index;
        const int64_t middle = pts + duration / 2;
        const bool kept = middle >= start && middle < end;
        const bool clean = (packet->flags & AV_PKT_FLAG_KEY) && keyframeKind(*packet, *stream.codecpar) != KeyframeKind::OpenH264;
        av_packet_unref(packet.get());
        if (scan.copyFrom) {
            // Pictures decoded after the copy start but shown before it (leading pictures) are kept
            // ones encoded anew; the reordering reaches no further than a few pictures.
            if (kept && pts < scan.copyFrom->pts)
                scan.keptBefore = true;
            if (++afterCopyStart > 16 || dts > scan.copyFrom->pts)
                break;
            continue;
        }
        if (clean && kept) {
            scan.copyFrom = KeyframeSearch::Keyframe{pts, dts, INT64_MIN};
            continue;
        }
        scan.keptBefore = scan.keptBefore || kept;
        if (dts >= end)
            break;
    }
    return scan;
}

// How far the video's pictures are reordered: the most pictures decoded before one that are shown
// after it, among the stream's first pictures (two with B-frame pyramids), at least what the
// decoder was told.
int reorderDepth(TimedPacketReader& reader, int video)
{
    const AVStream* stream = reader.input()->streams[video];
    reader.seekFile(INT64_MIN, INT64_MIN, INT64_MIN);
    PacketPtr packet = makePacket();
    std::vector<int64_t> shown;
    int depth = std::max(stream->codecpar->video_delay, 0);
    while (shown.size() < 64 && reader.read(packet.get()) >= 0) {
        const int64_t pts = packet->stream_index == video ? presentationTimestamp(*packet) : AV_NOPTS_VALUE;
        av_packet_unref(packet.get());
        if (pts == AV_NOPTS_VALUE)
            continue;
        depth = std::max(depth, int(std::count_if(shown.begin(), shown.end(), [&](int64_t earlier) { return earlier > pts; })));
        shown.push_back(pts);
    }
    return depth;
}

// What the video's pictures are, from the first one decoded.
PictureFormat describePictures(TimedPacketReader& reader, int video)
{
    PictureFormat format;
    const AVStream* stream = reader.input()->streams[video];
    StreamDecoder decoder;
    if (!decoder.open(stream, 1, nullptr))
        return format;
    reader.seekFile(INT64_MIN, INT64_MIN, INT64_MIN);
    PacketPtr packet = makePacket();
    FramePtr frame = makeFrame();
    for (int read = 0; read < 1000 && reader.read(packet.get()) >= 0; av_packet_unref(packet.get())) {
        if (packet->stream_index != video)
            continue;
        ++read;
        if (decoder.send(packet.get(), nullptr) == StreamDecoder::SendResult::Failed)
            break;
        if (decoder.receive(frame.get(), nullptr) != StreamDecoder::Status::Frame)
            continue;
        const AVCodecParameters& parameters = *stream->codecpar;
        format.known = true;
        format.pixelFormat = frame->format;
        format.width = frame->width;
        format.height = frame->height;
        const AVRational aspect = frame->sample_aspect_ratio.num > 0 ? frame->sample_aspect_ratio : parameters.sample_aspect_ratio;
        format.aspectNum = aspect.num;
        format.aspectDen = aspect.den > 0 ? aspect.den : 1;
        format.colorRange = frame->color_range;
        format.colorPrimaries = frame->color_primaries;
        format.colorTransfer = frame->color_trc;
        format.colorSpace = frame->colorspace;
        format.chromaLocation = frame->chroma_location;
        format.interlaced = frame->interlaced_frame;
        format.topFieldFirst = frame->top_field_first;
        break;
    }
    return format;
}

} // namespace

namespace CopyPlanner {

CopyPlan make(const MediaAsset& asset, TimedPacketReader& reader, const std::vector<CMTimeRange>& kept, MediaFileType fileType,
              PassthroughMode requested, Error* error)
{
    (void)error;
    CopyPlan plan;
    plan.fileType = fileType;
    plan.mode = requested;
    const ContainerTraits& traits = ContainerTraitsTable::of(fileType);
    AVFormatContext* input = reader.input();
    plan.videoStream = videoStreamOf(asset, *input);
    if (requested == PassthroughMode::EditLists && !traits.editLists)
        plan.mode = PassthroughMode::CopyOnly;
    if (plan.videoStream >= 0 && plan.mode != PassthroughMode::EditLists)
        plan.reorderDepth = reorderDepth(reader, plan.videoStream);
    if (plan.mode == PassthroughMode::Exact && plan.videoStream >= 0) {
        const AVStream& stream = *input->streams[plan.videoStream];
        QString why;
        const bool intraOnly = everyPictureIsKeyframe(stream.codecpar->codec_id);
        if (!intraOnly)
            plan.pictures = describePictures(reader, plan.videoStream);
        if (!intraOnly && !SpliceEncoder::create(stream, plan.pictures, &why)) {
            plan.fallback = why;
            plan.mode = traits.editLists ? PassthroughMode::EditLists : PassthroughMode::CopyOnly;
        }
    }
    const CMTime offset = asset.startOffset();
    plan.startOffset = offset;
    const std::vector<MediaTrack>& tracks = asset.tracks();
    const bool lengthEstimated = std::any_of(tracks.begin(), tracks.end(), [](const MediaTrack& track) { return !track.lengthIsIndexed; });
    for (const CMTimeRange& range : kept) {
        PlannedPiece piece;
        piece.start = CMTimeAdd(range.start, offset);
        piece.end = piece.statedEnd = CMTimeAdd(CMTimeRangeGetEnd(range), offset);
        // A piece that runs to the end of a file whose length is estimated (a container without an
        // index) takes everything there is.
        if (lengthEstimated && CMTimeCompare(CMTimeRangeGetEnd(range), asset.duration()) >= 0)
            piece.end = CMTimeAdd(piece.end, CMTimeMake(86400, 1));
        piece.shownFrom = piece.start;
        if (plan.videoStream >= 0) {
            const AVStream& stream = *input->streams[plan.videoStream];
            const int64_t half = halfPicture(stream);
            const int64_t start = MediaInput::timestampFromTime(piece.start, stream.time_base);
            const int64_t end = MediaInput::timestampFromTime(piece.end, stream.time_base);
            piece.decodeFrom = KeyframeSearch::find(reader, plan.videoStream, start + half);
            if (piece.decodeFrom) {
                const int64_t keyPts = piece.decodeFrom->pts;
                if (plan.mode == PassthroughMode::CopyOnly)
                    piece.shownFrom = CMTimeMinimum(MediaInput::timeFromTimestamp(keyPts, stream.time_base), piece.start);
                if (plan.mode == PassthroughMode::Exact) {
                    if (keyPts + half >= start) {
                        piece.copyFrom = piece.decodeFrom;
                    } else {
                        const KeyframeScan scan = scanForCopyStart(reader, plan.videoStream, *piece.decodeFrom, start, end, half);
                        piece.copyFrom = scan.copyFrom;
                        piece.encodesHead = scan.keptBefore || !scan.copyFrom;
                    }
                }
                if (piece.copyFrom)
                    piece.copyFromTime = MediaInput::timeFromTimestamp(piece.copyFrom->pts, stream.time_base);
            }
        }
        plan.pieces.push_back(piece);
    }
    return plan;
}

CopyPlan make(const MediaAsset& asset, const std::vector<CMTimeRange>& kept, MediaFileType fileType, PassthroughMode requested,
              Error* error)
{
    // Probed as the copy probes it: the times of some streams (AVI's B-frames) depend on what it finds.
    InputFormatContextPtr input = MediaInput::open(asset.source(), true, error);
    if (!input)
        return CopyPlan{};
    TimedPacketReader reader(input.get());
    return make(asset, reader, kept, fileType, requested, error);
}

} // namespace CopyPlanner

QStringList CopyPlan::notes() const
{
    QStringList notes;
    if (!fallback.isEmpty())
        notes << QStringLiteral("the pictures at the cuts cannot be encoded anew (%1), so %2.")
                     .arg(fallback, mode == PassthroughMode::EditLists
                                        ? QStringLiteral("edit lists hide each piece's lead-in")
                                        : QStringLiteral("each piece starts at the keyframe at or before it"));
    const auto source = [&](CMTime streamTime) { return seconds(CMTimeSubtract(streamTime, startOffset)); };
    QStringList pieceNotes;
    for (size_t p = 0; p < pieces.size(); ++p) {
        const PlannedPiece& piece = pieces[p];
        if (mode == PassthroughMode::CopyOnly) {
            const CMTime early = CMTimeSubtract(piece.start, piece.shownFrom);
            if (CMTimeGetSeconds(early) >= 0.0005)
                pieceNotes << QStringLiteral("piece %1 is cut at the keyframe at %2 s, %3 s before the requested %4 s.")
                                  .arg(p + 1)
                                  .arg(source(piece.shownFrom), seconds(early), source(piece.start));
        } else if (mode == PassthroughMode::Exact && piece.encodesHead) {
            if (CMTIME_IS_NUMERIC(piece.copyFromTime))
                pieceNotes << QStringLiteral(
                                  "piece %1 begins between keyframes: its pictures from %2 s to the keyframe at %3 s are encoded "
                                  "anew, the rest is copied.")
                                  .arg(p + 1)
                                  .arg(source(piece.start), source(piece.copyFromTime));
            else
                pieceNotes << QStringLiteral("piece %1 holds no keyframe to copy from: its pictures from %2 s to %3 s are encoded anew.")
                                  .arg(p + 1)
                                  .arg(source(piece.start), source(piece.statedEnd));
        }
    }
    for (qsizetype i = 0; i < pieceNotes.size() && i < qsizetype(kNotesShown); ++i)
        notes << pieceNotes[i];
    if (pieceNotes.size() > qsizetype(kNotesShown))
        notes << QStringLiteral("%1 more pieces are noted likewise.").arg(pieceNotes.size() - qsizetype(kNotesShown));
    return notes;
}
