#include "PassthroughCopier.h"

#include "EarlyEnd.h"
#include "MediaAsset.h"
#include "MediaInput.h"
#include "MediaWriter.h"
#include "Mp4EditList.h"
#include "PacketTime.h"

#include "SampleBufferInternal.h"
#include <QFile>

#include <map>

namespace {

struct Track {
    int streamIndex = -1;
    MediaType type = MediaType::Other;
    AVRational timeBase{1, 1};
    WriterInput* input = nullptr;
    int64_t lastDts = INT64_MIN;
    bool done = false; // reached the end of the current piece
    MediaTrack source;
    CMTime reached = kCMTimeInvalid; // source time up to which the current piece's packets go
};

double seconds(int64_t ticks, AVRational timeBase) { return double(ticks) * av_q2d(timeBase); }

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
    std::map<int, Track> tracks; // by stream index
    int anchor = -1;             // the video stream whose keyframes place each piece
    for (const CompositionTrack& compositionTrack : composition_.tracks) {
        const std::optional<MediaTrack> source = asset_->trackWithID(compositionTrack.trackID);
        if (!source || source->streamIndex >= int(input->nb_streams) || compositionTrack.mediaType == MediaType::Other)
            continue;
        AVStream* stream = input->streams[source->streamIndex];
        Track track;
        track.streamIndex = source->streamIndex;
        track.type = source->mediaType;
        track.timeBase = stream->time_base;
        track.source = *source;
        track.input = writer.addEncodedInput(source->mediaType, stream->codecpar, stream->time_base.num, stream->time_base.den);
        if (source->mediaType == MediaType::Video && anchor < 0)
            anchor = source->streamIndex;
        tracks[source->streamIndex] = track;
    }
    for (unsigned i = 0; i < input->nb_streams; ++i)
        input->streams[i]->discard = tracks.count(int(i)) ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    if (tracks.empty() || composition_.tracks.empty()) {
        setError(error, mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("There is nothing to copy.")));
        return false;
    }
    writer.setMetadata(metadata_);
    writer.setMuxerOption(QStringLiteral("use_editlist"), QStringLiteral("1"));
    if (!writer.startWriting(error))
        return false;

    const std::vector<CompositionSegment>& pieces = composition_.tracks.front().segments;
    const CMTime offsetZero = asset_->startOffset();
    auto sourceTicks = [&](CMTime t, AVRational tb) { return MediaInput::timestampFromTime(CMTimeAdd(t, offsetZero), tb); };
    double outputEnd = 0; // seconds of output filled so far
    PacketPtr packet = makePacket();
    for (size_t p = 0; p < pieces.size(); ++p) {
        const CompositionSegment& piece = pieces[p];
        const CMTime start = piece.sourceRange.start, end = CMTimeRangeGetEnd(piece.sourceRange);
        // Find the keyframe at or before the start (also when B-frames present it after the start).
        double keyframe = CMTimeGetSeconds(CMTimeAdd(start, offsetZero));
        if (anchor >= 0) {
            const AVRational tb = tracks[anchor].timeBase;
            int64_t target = sourceTicks(start, tb);
            int64_t keyframeDts = target;
            for (int attempt = 0; attempt < 4; ++attempt) {
                if (av_seek_frame(input.get(), anchor, target, AVSEEK_FLAG_BACKWARD) < 0)
                    avformat_seek_file(input.get(), -1, INT64_MIN, INT64_MIN, INT64_MIN, 0);
                int ret = 0;
                while ((ret = av_read_frame(input.get(), packet.get())) >= 0 && packet->stream_index != anchor)
                    av_packet_unref(packet.get());
                if (ret < 0)
                    break;
                const int64_t pts = presentationTimestamp(*packet);
                keyframe = seconds(pts, tb);
                const int64_t dts = decodeTimestamp(*packet);
                keyframeDts = dts;
                av_packet_unref(packet.get());
                if (pts <= sourceTicks(start, tb) || dts - 1 >= target)
                    break;
                target = dts - 1;
            }
            if (av_seek_frame(input.get(), anchor, keyframeDts, AVSEEK_FLAG_BACKWARD) < 0)
                avformat_seek_file(input.get(), -1, INT64_MIN, INT64_MIN, INT64_MIN, 0);
        } else {
            avformat_seek_file(input.get(), -1, INT64_MIN, sourceTicks(start, AV_TIME_BASE_Q), sourceTicks(start, AV_TIME_BASE_Q), 0);
        }
        const double startSeconds = CMTimeGetSeconds(CMTimeAdd(start, offsetZero));
        const double endSeconds = CMTimeGetSeconds(CMTimeAdd(end, offsetZero));
        // The first piece keeps its place (its lead-in gets negative times, hidden by the edit list);
        // later pieces start where the output has got to, at their keyframe.
        const double shift = p == 0 ? CMTimeGetSeconds(piece.targetStart) - startSeconds : outputEnd - std::min(keyframe, startSeconds);
        const double from = p == 0 ? startSeconds : std::min(keyframe, startSeconds);
        for (auto& [index, track] : tracks) {
            track.done = false;
            track.reached = start;
        }

        auto write = [&](Track& track, PacketPtr out) {
            const int64_t shiftTicks = int64_t(std::llround(shift / av_q2d(track.timeBase)));
            if (out->pts != AV_NOPTS_VALUE)
                out->pts += shiftTicks;
            if (out->dts != AV_NOPTS_VALUE)
                out->dts += shiftTicks;
            const int64_t dts = decodeTimestamp(*out);
            if (dts != AV_NOPTS_VALUE && dts <= track.lastDts)
                return true; // overlaps what the previous piece already wrote
            track.lastDts = dts;
            const double until = seconds(out->pts + std::max<int64_t>(out->duration, 0), track.timeBase);
            // Frames decoded before the end but shown after it only serve as references.
            if (track.type == MediaType::Video || anchor < 0)
                outputEnd = std::max(outputEnd, std::min(until, endSeconds + shift));
            auto buffer = std::make_shared<PacketBuffer>(
                std::make_unique<PacketBuffer::Packet>(PacketBuffer::Packet{std::move(out), track.timeBase}));
            return track.input->append(*buffer, error);
        };

        int ret = 0;
        while (true) {
            if (cancelled.load()) {
                writer.cancelWriting();
                return false;
            }
            bool allDone = true;
            for (auto& [index, track] : tracks)
                allDone = allDone && track.done;
            if (allDone)
                break;
            ret = av_read_frame(input.get(), packet.get());
            if (ret < 0)
                break;
            auto found = tracks.find(packet->stream_index);
            if (found == tracks.end() || found->second.done) {
                av_packet_unref(packet.get());
                continue;
            }
            Track& track = found->second;
            const int64_t pts = presentationTimestamp(*packet);
            const int64_t dts = decodeTimestamp(*packet);
            const double shownAt = seconds(pts, track.timeBase);
            const double shownUntil = shownAt + seconds(std::max<int64_t>(packet->duration, 0), track.timeBase);
            const CMTime until =
                CMTimeSubtract(MediaInput::timeFromTimestamp(pts + std::max<int64_t>(packet->duration, 0), track.timeBase), offsetZero);
            if (CMTIME_IS_NUMERIC(until))
                track.reached = CMTimeMaximum(track.reached, until);
            PacketPtr out = makePacket();
            av_packet_move_ref(out.get(), packet.get());
            if (track.type == MediaType::Video) {
                // Frames shown before the keyframe but decoded after it belong to the previous
                // stretch and cannot be decoded from here.
                if (shownAt < keyframe - 1e-9)
                    continue;
                // Everything decoded before the end, so that the last frames shown have their references.
                if (seconds(dts, track.timeBase) >= endSeconds) {
                    track.done = true;
                    continue;
                }
                if (!write(track, std::move(out)))
                    return false;
                continue;
            }
            if (shownAt >= endSeconds) {
                track.done = true;
                continue;
            }
            if (shownUntil <= from && packet->duration > 0)
                continue;
            if (shownAt < from && packet->duration <= 0)
                continue;
            if (!write(track, std::move(out)))
                return false;
        }
        if (ret < 0 && ret != AVERROR_EOF) {
            setError(error, mediaError(ret, QStringLiteral("Cannot read \"%1\"").arg(asset_->path())));
            writer.cancelWriting();
            return false;
        }
        // The file ran out: fine at a track's end, a damaged file well before it.
        for (const auto& [index, track] : tracks) {
            if (!track.done && !checkTrackReachedEnd(*asset_, track.source, track.reached, end, error)) {
                writer.cancelWriting();
                return false;
            }
        }
        progress(double(p + 1) / double(pieces.size()));
    }
    if (!writer.finishWriting(error))
        return false;
    // One piece: the edit lists end the presentation exactly at the end of the piece, hiding the
    // reference frames decoded past it and the rest of the last audio packet.
    if (pieces.size() == 1 && !setPresentationDuration(path_, pieces.front().sourceRange.duration, error)) {
        QFile::remove(path_);
        return false;
    }
    return true;
}
