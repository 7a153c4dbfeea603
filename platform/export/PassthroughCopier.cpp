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

#include <QFile>

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

struct Keyframe {
    int64_t pts = 0, dts = 0; // anchor stream ticks
};

// The anchor's keyframe at or before the time (also when B-frames present it after the time) at which
// decoding can begin: an open group's keyframe leads back to the one before it.
std::optional<Keyframe> findKeyframe(AVFormatContext* input, int anchor, int64_t target)
{
    const AVCodecParameters& parameters = *input->streams[anchor]->codecpar;
    PacketPtr packet = makePacket();
    const int64_t wanted = target;
    std::optional<Keyframe> found;
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (av_seek_frame(input, anchor, target, AVSEEK_FLAG_BACKWARD) < 0)
            avformat_seek_file(input, -1, INT64_MIN, INT64_MIN, INT64_MIN, 0);
        int ret = 0;
        while ((ret = av_read_frame(input, packet.get())) >= 0 && packet->stream_index != anchor)
            av_packet_unref(packet.get());
        if (ret < 0)
            break;
        const int64_t pts = presentationTimestamp(*packet);
        found =
            Keyframe{pts, packet->dts != AV_NOPTS_VALUE
                              ? packet->dts
                              : PassthroughPlan::missingDecodeTime(pts, parameters.video_delay, std::max<int64_t>(packet->duration, 1), 0)};
        const bool clean = keyframeKind(*packet, parameters) != KeyframeKind::OpenH264;
        av_packet_unref(packet.get());
        if ((found->pts <= wanted && clean) || found->dts - 1 >= target)
            break;
        target = found->dts - 1;
    }
    return found;
}

} // namespace

PassthroughCopier::PassthroughCopier(std::shared_ptr<const MediaAsset> asset, const Composition& composition, MediaFileType fileType,
                                     QString path, std::vector<MetadataItem> metadata)
    : asset_(std::move(asset)), composition_(composition), fileType_(fileType), path_(std::move(path)), metadata_(std::move(metadata))
{
}

bool PassthroughCopier::run(const std::atomic<bool>& cancelled, const std::function<void(double)>& progress, Error* error)
{
    InputFormatContextPtr input = MediaInput::open(asset_->path(), true, error);
    if (!input)
        return false;
    MediaWriter writer(path_, fileType_);
    std::map<int, CopiedTrack> tracks; // by stream index
    int anchor = -1;                   // the video stream whose keyframes place each piece
    int audioRate = 0;
    for (const CompositionTrack& compositionTrack : composition_.tracks) {
        const std::optional<MediaTrack> source = asset_->trackWithID(compositionTrack.trackID);
        if (!source || source->streamIndex >= int(input->nb_streams) || compositionTrack.mediaType == MediaType::Other)
            continue;
        const AVStream* stream = input->streams[source->streamIndex];
        CopiedTrack& track = tracks[source->streamIndex];
        track.source = *source;
        track.timeBase = stream->time_base;
        track.input = writer.addStreamCopyInput(source->mediaType, stream);
        if (source->mediaType == MediaType::Video && anchor < 0)
            anchor = source->streamIndex;
        if (source->mediaType == MediaType::Audio)
            audioRate = std::max(audioRate, source->sampleRate);
    }
    for (unsigned i = 0; i < input->nb_streams; ++i)
        input->streams[i]->discard = tracks.count(int(i)) ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    if (tracks.empty() || composition_.tracks.empty()) {
        setError(error, mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("There is nothing to copy.")));
        return false;
    }
    writer.setMetadata(metadata_);
    writer.setMuxerOption(QStringLiteral("use_editlist"), QStringLiteral("1"));
    // Edit durations in the movie's timescale: the audio's rate keeps them exact to the sample.
    writer.setMuxerOption(QStringLiteral("movie_timescale"), QString::number(audioRate > 0 ? audioRate : 90000));
    if (!writer.startWriting(error))
        return false;

    const std::vector<CompositionSegment>& pieces = composition_.tracks.front().segments;
    const CMTime offset = asset_->startOffset(); // source time zero in stream time
    CMTime outputEnd = kCMTimeZero;
    PacketPtr packet = makePacket();
    for (size_t p = 0; p < pieces.size(); ++p) {
        const CMTime start = CMTimeAdd(pieces[p].sourceRange.start, offset);
        const CMTime end = CMTimeAdd(CMTimeRangeGetEnd(pieces[p].sourceRange), offset);
        CMTime keyShown = start, keyDecoded = kCMTimeInvalid, videoTick = kCMTimeZero, lastVideoDecode = kCMTimeInvalid;
        if (anchor >= 0) {
            const CopiedTrack& video = tracks[anchor];
            if (const auto keyframe = findKeyframe(input.get(), anchor, MediaInput::timestampFromTime(start, video.timeBase))) {
                tracks[anchor].keyframePts = keyframe->pts;
                keyShown = CMTimeMinimum(timeOf(keyframe->pts, video.timeBase), start);
                keyDecoded = timeOf(keyframe->dts, video.timeBase);
            }
            videoTick = timeOf(1, video.timeBase);
            if (video.lastDts != AV_NOPTS_VALUE)
                lastVideoDecode = timeOf(video.lastDts, video.timeBase); // output time
        }
        const CMTime copyStart =
            anchor >= 0 ? CMTimeSubtract(keyShown, PassthroughPlan::kPreroll) : CMTimeSubtract(start, PassthroughPlan::kPreroll);
        const CMTime shift = PassthroughPlan::pieceShift(outputEnd, copyStart, keyDecoded, lastVideoDecode, videoTick);
        for (auto& [index, track] : tracks) {
            track.shift = ticksAtOrAfter(shift, track.timeBase);
            track.pieces.emplace_back(start, timeOf(track.shift, track.timeBase));
            track.done = false;
            track.startedPiece = false;
            track.readInPiece = 0;
            track.reached = CMTimeSubtract(start, offset);
        }
        const int64_t seekTo = MediaInput::timestampFromTime(copyStart, AV_TIME_BASE_Q);
        if (avformat_seek_file(input.get(), -1, INT64_MIN, seekTo, seekTo, 0) < 0)
            avformat_seek_file(input.get(), -1, INT64_MIN, INT64_MIN, INT64_MIN, 0);

        int ret = 0;
        for (;;) {
            if (cancelled.load()) {
                writer.cancelWriting();
                return false;
            }
            bool allDone = true;
            for (const auto& [index, track] : tracks)
                allDone = allDone && track.done;
            if (allDone || (ret = av_read_frame(input.get(), packet.get())) < 0)
                break;
            const int index = packet->stream_index;
            const auto found = tracks.find(index);
            if (found == tracks.end() || found->second.done) {
                av_packet_unref(packet.get());
                continue;
            }
            CopiedTrack& track = found->second;
            PacketPtr out = makePacket();
            av_packet_move_ref(out.get(), packet.get());
            const int64_t pts = presentationTimestamp(*out);
            int64_t dts = decodeTimestamp(*out);
            if (index == anchor && track.keyframePts != AV_NOPTS_VALUE && pts >= track.keyframePts)
                ++track.readInPiece;
            if (out->dts == AV_NOPTS_VALUE && index == anchor && track.keyframePts != AV_NOPTS_VALUE)
                dts = PassthroughPlan::missingDecodeTime(track.keyframePts, input->streams[anchor]->codecpar->video_delay,
                                                         std::max<int64_t>(out->duration, 1), track.readInPiece - 1);
            if (pts == AV_NOPTS_VALUE)
                continue;
            const int64_t duration = std::max<int64_t>(out->duration, 0);
            const CMTime shownAt = timeOf(pts, track.timeBase), shownUntil = timeOf(pts + duration, track.timeBase);
            if (CMTIME_IS_NUMERIC(shownUntil))
                track.reached = CMTimeMaximum(track.reached, CMTimeSubtract(shownUntil, offset));
            const Decision decision = track.source.mediaType == MediaType::Video
                                          ? PassthroughPlan::videoPacket(shownAt, timeOf(dts, track.timeBase), keyShown,
                                                                         CMTIME_IS_NUMERIC(keyDecoded) ? keyDecoded : keyShown, end)
                                          : PassthroughPlan::otherPacket(shownAt, shownUntil, copyStart, end);
            if (decision == Decision::TrackDone)
                track.done = true;
            if (decision != Decision::Copy)
                continue;
            out->pts = pts + track.shift;
            out->dts = dts + track.shift;
            // Players begin each edit at the sync sample before it: only clean starts are sync samples,
            // and a piece's first keyframe is made one.
            if ((out->flags & AV_PKT_FLAG_KEY) && track.source.mediaType == MediaType::Video) {
                const AVCodecParameters& parameters = *input->streams[found->first]->codecpar;
                const KeyframeKind kind = keyframeKind(*out, parameters);
                if (kind == KeyframeKind::OpenHevc && !track.startedPiece && !markAsSpliceStart(*out, parameters)) {
                    setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot copy a keyframe")));
                    writer.cancelWriting();
                    return false;
                }
                if (kind != KeyframeKind::Clean && track.startedPiece)
                    out->flags &= ~AV_PKT_FLAG_KEY;
            }
            track.startedPiece = true;
            if (track.source.mediaType != MediaType::Video && track.end != AV_NOPTS_VALUE && out->pts < track.end) {
                // Overlaps what the previous piece wrote: audio drops the packet (the piece has enough
                // pre-roll without it); a subtitle cue keeps its part after that.
                if (track.source.mediaType == MediaType::Audio || out->pts + duration <= track.end)
                    continue;
                out->duration -= track.end - out->pts;
                out->pts = out->dts = track.end;
            }
            if (track.lastDts != AV_NOPTS_VALUE && out->dts <= track.lastDts)
                continue; // cannot decode after what is written (a damaged or reordered source)
            if (track.firstDts == AV_NOPTS_VALUE)
                track.firstDts = out->dts;
            track.lastDts = out->dts;
            const int64_t outEnd = out->pts + std::max<int64_t>(out->duration, 1);
            track.end = track.end == AV_NOPTS_VALUE ? outEnd : std::max(track.end, outEnd);
            outputEnd = CMTimeMaximum(outputEnd, timeOf(outEnd, track.timeBase));
            PacketBuffer buffer(std::make_unique<PacketBuffer::Packet>(PacketBuffer::Packet{std::move(out), track.timeBase}));
            if (!track.input->append(buffer, error))
                return false;
        }
        if (ret < 0 && ret != AVERROR_EOF) {
            setError(error, mediaError(ret, QStringLiteral("Cannot read \"%1\"").arg(asset_->path())));
            writer.cancelWriting();
            return false;
        }
        // The file ran out: fine at a track's end, a damaged file well before it.
        for (const auto& [index, track] : tracks) {
            if (!track.done && !checkTrackReachedEnd(*asset_, track.source, track.reached, CMTimeSubtract(end, offset), error)) {
                writer.cancelWriting();
                return false;
            }
        }
        progress(double(p + 1) / double(pieces.size()));
    }
    if (!writer.finishWriting(error))
        return false;

    // Every track shows exactly the kept pieces.
    std::map<uint32_t, std::vector<Mp4Edit>> edits;
    for (const auto& [index, track] : tracks) {
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
            // A track whose first sample comes later (a subtitle track's first cue) shows nothing until then.
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
    if (!writeEditLists(path_, edits, error)) {
        QFile::remove(path_);
        return false;
    }
    return true;
}
