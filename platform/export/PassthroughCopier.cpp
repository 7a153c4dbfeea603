#include "PassthroughCopier.h"

#include "EarlyEnd.h"
#include "KeyframeKind.h"
#include "MediaAsset.h"
#include "MediaInput.h"
#include "MediaWriter.h"
#include "Mp4EditList.h"
#include "PacketTime.h"
#include "PassthroughPlan.h"
#include "SampleBufferInternal.h"
#include "TimedPacketReader.h"

#include <QFile>

#include <algorithm>
#include <map>
#include <optional>

using PassthroughPlan::Decision;

namespace {

// One copied stream and where its copy has got to in the output (stream ticks, after the shift).
struct CopiedTrack {
    MediaTrack source;
    AVRational timeBase{1, 1};
    WriterInput* input = nullptr;
    int64_t shift = 0;                             // of the current piece
    int64_t firstDts = AV_NOPTS_VALUE;             // the first packet written
    int64_t lastDts = AV_NOPTS_VALUE;              // the last packet written
    int64_t end = AV_NOPTS_VALUE;                  // the latest end of a packet written
    std::vector<std::pair<CMTime, CMTime>> pieces; // per piece: its start in stream time, moved by the track's shift
    bool done = false;                             // reached the end of the current piece
    bool startedPiece = false;                     // the current piece's first packet is written
    int64_t readInPiece = 0;                       // packets read since the piece's keyframe (the anchor's)
    int64_t keyframePts = AV_NOPTS_VALUE;          // the piece's keyframe (the anchor's)
    CMTime reached = kCMTimeInvalid;               // source time the current piece's packets reach
};

CMTime timeOf(int64_t ticks, AVRational timeBase) { return MediaInput::timeFromTimestamp(ticks, timeBase); }

// The first tick at or after the time: a piece moves at least as far as planned.
int64_t ticksAtOrAfter(CMTime time, AVRational timeBase)
{
    return av_rescale_rnd(time.value, timeBase.den, int64_t(time.timescale) * timeBase.num, AV_ROUND_UP);
}

constexpr int64_t kFromFileStart = INT64_MIN + 1; // a seek position: the file's start

struct Keyframe {
    int64_t pts = 0, dts = 0;     // anchor stream ticks
    int64_t seekFrom = INT64_MIN; // where reading reaches it (AV_TIME_BASE); INT64_MIN: seek to the copy start
};

Keyframe keyframeOf(const AVPacket& packet, const AVCodecParameters& parameters)
{
    const int64_t pts = presentationTimestamp(packet);
    return Keyframe{pts, packet.dts != AV_NOPTS_VALUE
                             ? packet.dts
                             : PassthroughPlan::missingDecodeTime(pts, parameters.video_delay, std::max<int64_t>(packet.duration, 1), 0)};
}

// The anchor's keyframe at or before the time (also when B-frames present it after the time) at which
// decoding can begin: an open group's keyframe leads back to the one before it.
std::optional<Keyframe> findKeyframe(TimedPacketReader& reader, int anchor, int64_t target)
{
    AVFormatContext* input = reader.input();
    const AVCodecParameters& parameters = *input->streams[anchor]->codecpar;
    PacketPtr packet = makePacket();
    const int64_t wanted = target;
    std::optional<Keyframe> found;
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (reader.seekFrame(anchor, target, AVSEEK_FLAG_BACKWARD) < 0)
            reader.seekFile(INT64_MIN, INT64_MIN, INT64_MIN);
        int ret = 0;
        while ((ret = reader.read(packet.get())) >= 0 && packet->stream_index != anchor)
            av_packet_unref(packet.get());
        if (ret < 0)
            break;
        found = keyframeOf(*packet, parameters);
        const bool clean = keyframeKind(*packet, parameters) != KeyframeKind::OpenH264;
        av_packet_unref(packet.get());
        if ((found->pts <= wanted && clean) || found->dts - 1 >= target)
            break;
        target = found->dts - 1;
    }
    return found;
}

// The same for containers whose seeks land near a time rather than on a keyframe (MPEG transport and
// program streams): reading forward from further and further back, the last clean keyframe shown by
// the time (or, when the video begins after it, the first). Reading stops at the first packet decoded
// after the time, as no later keyframe is shown before it.
std::optional<Keyframe> scanForKeyframe(TimedPacketReader& reader, int anchor, int64_t target)
{
    AVFormatContext* input = reader.input();
    const AVStream* stream = input->streams[anchor];
    const int64_t wanted = av_rescale_q(target, stream->time_base, AV_TIME_BASE_Q);
    const int64_t first = input->start_time != AV_NOPTS_VALUE ? input->start_time : 0;
    PacketPtr packet = makePacket();
    for (int64_t margin = 4 * AV_TIME_BASE;; margin *= 4) {
        const int64_t from = wanted - margin;
        if (from <= first || reader.seekFile(INT64_MIN, from, from) < 0)
            reader.seekFile(INT64_MIN, INT64_MIN, INT64_MIN);
        std::optional<Keyframe> found, firstFound;
        while (reader.read(packet.get()) >= 0) {
            const bool key = packet->stream_index == anchor && (packet->flags & AV_PKT_FLAG_KEY) &&
                             keyframeKind(*packet, *stream->codecpar) != KeyframeKind::OpenH264;
            if (key && !firstFound)
                firstFound = keyframeOf(*packet, *stream->codecpar);
            if (key && presentationTimestamp(*packet) <= target)
                found = keyframeOf(*packet, *stream->codecpar);
            const bool past = packet->stream_index == anchor && decodeTimestamp(*packet) > target;
            av_packet_unref(packet.get());
            if (past)
                break;
        }
        if (found) {
            found->seekFrom = from <= first ? kFromFileStart : from;
            return found;
        }
        if (from <= first) {
            if (firstFound)
                firstFound->seekFrom = kFromFileStart;
            return firstFound;
        }
    }
}

// Where one piece is copied from and how far its packets move (stream time of the source).
struct PiecePlan {
    CMTime start, end;            // the kept range
    CMTime keyShown, keyDecoded;  // the anchor's keyframe (keyDecoded invalid without video)
    CMTime copyStart;             // where the other tracks begin (a pre-roll before the keyframe)
    CMTime shift;                 // by how much the piece moves in the output
    int64_t seekFrom = INT64_MIN; // where reading starts (AV_TIME_BASE): INT64_MIN at the copy start
};

// One run of the copier: the source's tracks, what has been written of each, the pieces' plans.
class Copy {
public:
    Copy(const MediaAsset& asset, AVFormatContext* input, MediaWriter& writer)
        : asset_(asset), input_(input), reader_(input), writer_(writer)
    {
    }

    // An input for every track of the composition the container can take; false when there is none.
    bool addTracks(const Composition& composition);
    // The movie's timescale: the audio's rate keeps edit durations exact to the sample.
    int movieTimescale() const { return audioRate_ > 0 ? audioRate_ : 90000; }
    PiecePlan plan(const CompositionSegment& piece);
    // Copies one piece; false on failure (error set) or cancellation.
    bool copyPiece(const PiecePlan& plan, const std::atomic<bool>& cancelled, Error* error);
    // Every track's edit list: one entry per piece, showing exactly its kept range.
    std::map<uint32_t, std::vector<Mp4Edit>> edits(const std::vector<CompositionSegment>& pieces) const;

private:
    // Copies one packet of a track as the plan says; false only when the writer fails.
    bool copyPacket(CopiedTrack& track, int index, PacketPtr out, const PiecePlan& plan, Error* error);

    const MediaAsset& asset_;
    AVFormatContext* input_;
    TimedPacketReader reader_;
    MediaWriter& writer_;
    std::map<int, CopiedTrack> tracks_; // by stream index
    int anchor_ = -1;                   // the video stream whose keyframes place each piece
    int audioRate_ = 0;
    CMTime outputEnd_ = kCMTimeZero; // the end of everything written
};

bool Copy::addTracks(const Composition& composition)
{
    for (const CompositionTrack& compositionTrack : composition.tracks) {
        const std::optional<MediaTrack> source = asset_.trackWithID(compositionTrack.trackID);
        if (!source || source->streamIndex >= int(input_->nb_streams) || compositionTrack.mediaType == MediaType::Other)
            continue;
        const AVStream* stream = input_->streams[source->streamIndex];
        CopiedTrack& track = tracks_[source->streamIndex];
        track.source = *source;
        track.timeBase = stream->time_base;
        track.input = writer_.addStreamCopyInput(source->mediaType, stream);
        if (source->mediaType == MediaType::Video && anchor_ < 0)
            anchor_ = source->streamIndex;
        if (source->mediaType == MediaType::Audio)
            audioRate_ = std::max(audioRate_, source->sampleRate);
    }
    for (unsigned i = 0; i < input_->nb_streams; ++i)
        input_->streams[i]->discard = tracks_.count(int(i)) ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    return !tracks_.empty();
}

PiecePlan Copy::plan(const CompositionSegment& piece)
{
    const CMTime offset = asset_.startOffset(); // source time zero in stream time
    PiecePlan plan;
    plan.start = CMTimeAdd(piece.sourceRange.start, offset);
    plan.end = CMTimeAdd(CMTimeRangeGetEnd(piece.sourceRange), offset);
    plan.keyShown = plan.start;
    plan.keyDecoded = kCMTimeInvalid;
    CMTime videoTick = kCMTimeZero, lastVideoDecode = kCMTimeInvalid;
    if (anchor_ >= 0) {
        CopiedTrack& video = tracks_[anchor_];
        const int64_t target = MediaInput::timestampFromTime(plan.start, video.timeBase);
        const bool seeksNearATime = input_->iformat->flags & AVFMT_TS_DISCONT;
        if (const auto keyframe = seeksNearATime ? scanForKeyframe(reader_, anchor_, target) : findKeyframe(reader_, anchor_, target)) {
            video.keyframePts = keyframe->pts;
            plan.seekFrom = keyframe->seekFrom;
            plan.keyShown = CMTimeMinimum(timeOf(keyframe->pts, video.timeBase), plan.start);
            plan.keyDecoded = timeOf(keyframe->dts, video.timeBase);
        }
        videoTick = timeOf(1, video.timeBase);
        if (video.lastDts != AV_NOPTS_VALUE)
            lastVideoDecode = timeOf(video.lastDts, video.timeBase); // output time
    }
    plan.copyStart = CMTimeSubtract(plan.keyShown, PassthroughPlan::kPreroll);
    plan.shift = PassthroughPlan::pieceShift(outputEnd_, plan.copyStart, plan.keyDecoded, lastVideoDecode, videoTick);
    for (auto& [index, track] : tracks_) {
        track.shift = ticksAtOrAfter(plan.shift, track.timeBase);
        track.pieces.emplace_back(plan.start, timeOf(track.shift, track.timeBase));
        track.done = track.startedPiece = false;
        track.readInPiece = 0;
        track.reached = piece.sourceRange.start;
    }
    return plan;
}

bool Copy::copyPiece(const PiecePlan& plan, const std::atomic<bool>& cancelled, Error* error)
{
    const int64_t seekTo = plan.seekFrom == INT64_MIN ? MediaInput::timestampFromTime(plan.copyStart, AV_TIME_BASE_Q) : plan.seekFrom;
    if (seekTo == kFromFileStart || reader_.seekFile(INT64_MIN, seekTo, seekTo) < 0)
        reader_.seekFile(INT64_MIN, INT64_MIN, INT64_MIN);
    PacketPtr packet = makePacket();
    int ret = 0;
    for (;;) {
        if (cancelled.load())
            return false;
        const bool allDone = std::all_of(tracks_.begin(), tracks_.end(), [](const auto& entry) { return entry.second.done; });
        if (allDone || (ret = reader_.read(packet.get())) < 0)
            break;
        const int index = packet->stream_index;
        const auto found = tracks_.find(index);
        if (found == tracks_.end() || found->second.done) {
            av_packet_unref(packet.get());
            continue;
        }
        PacketPtr out = makePacket();
        av_packet_move_ref(out.get(), packet.get());
        if (!copyPacket(found->second, index, std::move(out), plan, error))
            return false;
    }
    if (ret < 0 && ret != AVERROR_EOF) {
        setError(error, mediaError(ret, QStringLiteral("Cannot read \"%1\"").arg(asset_.path())));
        return false;
    }
    // The file ran out: fine at a track's end, a damaged file well before it.
    const CMTime end = CMTimeSubtract(plan.end, asset_.startOffset());
    for (const auto& [index, track] : tracks_)
        if (!track.done && !checkTrackReachedEnd(asset_, track.source, track.reached, end, error))
            return false;
    return true;
}

bool Copy::copyPacket(CopiedTrack& track, int index, PacketPtr out, const PiecePlan& plan, Error* error)
{
    const int64_t pts = presentationTimestamp(*out);
    if (pts == AV_NOPTS_VALUE)
        return true;
    int64_t dts = decodeTimestamp(*out);
    const bool anchor = index == anchor_ && track.keyframePts != AV_NOPTS_VALUE;
    if (anchor && track.readInPiece == 0 && pts != track.keyframePts)
        return true; // before the piece's keyframe (reading may begin well before it)
    if (anchor)
        ++track.readInPiece;
    if (anchor && out->dts == AV_NOPTS_VALUE)
        dts = PassthroughPlan::missingDecodeTime(track.keyframePts, input_->streams[index]->codecpar->video_delay,
                                                 std::max<int64_t>(out->duration, 1), track.readInPiece - 1);
    const int64_t duration = std::max<int64_t>(out->duration, 0);
    const CMTime shownAt = timeOf(pts, track.timeBase), shownUntil = timeOf(pts + duration, track.timeBase);
    if (CMTIME_IS_NUMERIC(shownUntil))
        track.reached = CMTimeMaximum(track.reached, CMTimeSubtract(shownUntil, asset_.startOffset()));
    const bool video = track.source.mediaType == MediaType::Video;
    const Decision decision =
        video ? PassthroughPlan::videoPacket(shownAt, timeOf(dts, track.timeBase), plan.keyShown,
                                             CMTIME_IS_NUMERIC(plan.keyDecoded) ? plan.keyDecoded : plan.keyShown, plan.end)
              : PassthroughPlan::otherPacket(shownAt, shownUntil, plan.copyStart, plan.end);
    track.done = decision == Decision::TrackDone;
    if (decision != Decision::Copy)
        return true;
    out->pts = pts + track.shift;
    out->dts = dts + track.shift;
    // Players begin each edit at the sync sample before it: only clean starts are sync samples, and a
    // piece's first keyframe is made one.
    if (video && (out->flags & AV_PKT_FLAG_KEY)) {
        const AVCodecParameters& parameters = *input_->streams[index]->codecpar;
        const KeyframeKind kind = keyframeKind(*out, parameters);
        if (kind == KeyframeKind::OpenHevc && !track.startedPiece && !markAsSpliceStart(*out, parameters)) {
            setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot copy a keyframe")));
            return false;
        }
        if (kind != KeyframeKind::Clean && track.startedPiece)
            out->flags &= ~AV_PKT_FLAG_KEY;
    }
    track.startedPiece = true;
    if (!video && track.end != AV_NOPTS_VALUE && out->pts < track.end) {
        // Overlaps what the previous piece wrote: audio drops the packet (the piece has enough
        // pre-roll without it); a subtitle cue keeps its part after that.
        if (track.source.mediaType == MediaType::Audio || out->pts + duration <= track.end)
            return true;
        out->duration -= track.end - out->pts;
        out->pts = out->dts = track.end;
    }
    if (track.lastDts != AV_NOPTS_VALUE && out->dts <= track.lastDts)
        return true; // cannot decode after what is written (a damaged or reordered source)
    if (track.firstDts == AV_NOPTS_VALUE)
        track.firstDts = out->dts;
    track.lastDts = out->dts;
    const int64_t outEnd = out->pts + std::max<int64_t>(out->duration, 1);
    track.end = track.end == AV_NOPTS_VALUE ? outEnd : std::max(track.end, outEnd);
    outputEnd_ = CMTimeMaximum(outputEnd_, timeOf(outEnd, track.timeBase));
    PacketBuffer buffer(std::make_unique<PacketBuffer::Packet>(PacketBuffer::Packet{std::move(out), track.timeBase}));
    return track.input->append(buffer, error);
}

std::map<uint32_t, std::vector<Mp4Edit>> Copy::edits(const std::vector<CompositionSegment>& pieces) const
{
    std::map<uint32_t, std::vector<Mp4Edit>> edits;
    for (const auto& [index, track] : tracks_) {
        if (track.firstDts == AV_NOPTS_VALUE)
            continue; // nothing of it was kept: the muxer's own (empty) edit stays
        // A track's media time begins with its first sample; the muxer fills a subtitle track from the
        // file's start with an empty sample when its first cue comes later.
        CMTime firstDecode = timeOf(track.firstDts, track.timeBase);
        if (track.source.mediaType == MediaType::Subtitle)
            firstDecode = CMTimeMinimum(firstDecode, kCMTimeZero);
        std::vector<Mp4Edit>& list = edits[uint32_t(track.input->streamIndex() + 1)];
        for (size_t p = 0; p < pieces.size(); ++p) {
            const CMTime mediaStart = PassthroughPlan::editMediaStart(track.pieces[p].first, track.pieces[p].second, firstDecode);
            CMTime duration = pieces[p].sourceRange.duration;
            // A track whose first sample comes later shows nothing until then.
            if (CMTimeCompare(mediaStart, kCMTimeZero) < 0) {
                const CMTime empty = CMTimeMinimum(CMTimeSubtract(kCMTimeZero, mediaStart), duration);
                list.push_back(Mp4Edit{kCMTimeInvalid, empty});
                duration = CMTimeSubtract(duration, empty);
                if (CMTimeCompare(duration, kCMTimeZero) > 0)
                    list.push_back(Mp4Edit{kCMTimeZero, duration});
                continue;
            }
            list.push_back(Mp4Edit{mediaStart, duration});
        }
    }
    return edits;
}

} // namespace

PassthroughCopier::PassthroughCopier(std::shared_ptr<const MediaAsset> asset, const Composition& composition, MediaFileType fileType,
                                     QString path, std::vector<MetadataItem> metadata, std::vector<MediaChapter> chapters)
    : asset_(std::move(asset)), composition_(composition), fileType_(fileType), path_(std::move(path)), metadata_(std::move(metadata)),
      chapters_(std::move(chapters))
{
}

bool PassthroughCopier::run(const std::atomic<bool>& cancelled, const std::function<void(double)>& progress, Error* error)
{
    InputFormatContextPtr input = MediaInput::open(asset_->path(), true, error);
    if (!input)
        return false;
    MediaWriter writer(path_, fileType_);
    Copy copy(*asset_, input.get(), writer);
    if (composition_.tracks.empty() || !copy.addTracks(composition_)) {
        setError(error, mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("There is nothing to copy.")));
        return false;
    }
    writer.setMetadata(metadata_);
    writer.setChapters(chapters_);
    writer.setMuxerOption(QStringLiteral("use_editlist"), QStringLiteral("1"));
    writer.setMuxerOption(QStringLiteral("movie_timescale"), QString::number(copy.movieTimescale()));
    if (!writer.startWriting(error))
        return false;
    const std::vector<CompositionSegment>& pieces = composition_.tracks.front().segments;
    for (size_t p = 0; p < pieces.size(); ++p) {
        if (!copy.copyPiece(copy.plan(pieces[p]), cancelled, error)) {
            writer.cancelWriting();
            return false;
        }
        progress(double(p + 1) / double(pieces.size()));
    }
    if (!writer.finishWriting(error))
        return false;
    if (!writeEditLists(path_, copy.edits(pieces), error)) {
        QFile::remove(path_);
        return false;
    }
    return true;
}
