#include "PassthroughCopier.h"

#include "AudioCopy.h"
#include "ContainerTraits.h"
#include "CopyPlan.h"
#include "DecodeTimes.h"
#include "EarlyEnd.h"
#include "EditListTrackCopy.h"
#include "KeyframeKind.h"
#include "MediaAsset.h"
#include "MediaInput.h"
#include "Mp4EditList.h"
#include "PassthroughPlan.h"
#include "SubtitleCopy.h"
#include "TimedPacketReader.h"
#include "VideoKeyframeCopy.h"
#include "VideoSmartCopy.h"
#include "WriterStream.h"

#include <QFile>

#include <algorithm>
#include <map>

namespace {

// One run of the copier: the source, its plan, a strategy per track, where the pieces go.
class Copy {
public:
    Copy(const MediaAsset& asset, AVFormatContext* input, MediaWriter& writer, CopyPlan plan)
        : asset_(asset), input_(input), reader_(input), writer_(writer), plan_(std::move(plan))
    {
    }

    TimedPacketReader& reader() { return reader_; }
    const CopyPlan& plan() const { return plan_; }
    // A strategy for every track of the composition the container can take; false when there is
    // none, or with the error when a video encoder for the cuts cannot start.
    bool addTracks(const Composition& composition, Error* error);
    // The movie's timescale: the audio's rate keeps edit durations exact to the sample.
    int movieTimescale() const { return audioRate_ > 0 ? audioRate_ : 90000; }
    PiecePlacement placement(size_t index);
    bool copyPiece(const PiecePlacement& placement, const std::atomic<bool>& cancelled, const std::function<void(double)>& progress,
                   Error* error);
    // What each track shows in an MPEG-4 file: one edit per piece (edit lists), or one for the whole.
    std::map<uint32_t, std::vector<Mp4Edit>> edits() const;
    bool finishTracks(const QString& path, Error* error);
    // The output length of each piece and how much earlier than asked it begins.
    std::vector<CMTime> durations() const;
    std::vector<CMTime> leadIns() const;

private:
    const MediaAsset& asset_;
    AVFormatContext* input_;
    TimedPacketReader reader_;
    MediaWriter& writer_;
    CopyPlan plan_;
    std::vector<std::unique_ptr<TrackCopy>> tracks_;
    std::map<int, TrackCopy*> byStream_;
    int audioRate_ = 0;
    PiecePlacement previous_;
    bool readAnything_ = false;   // the reader has moved from where opening the file left it
    double total_ = 0, done_ = 0; // seconds, for progress
};

bool Copy::addTracks(const Composition& composition, Error* error)
{
    for (const CompositionTrack& compositionTrack : composition.tracks) {
        const std::optional<MediaTrack> source = asset_.trackWithID(compositionTrack.trackID);
        if (!source || source->streamIndex >= int(input_->nb_streams) || compositionTrack.mediaType == MediaType::Other ||
            byStream_.count(source->streamIndex))
            continue;
        const AVStream* stream = input_->streams[source->streamIndex];
        WriterInput* input = WriterStream::addStreamCopyInput(writer_, source->mediaType, *stream);
        input->guardOrder();
        std::unique_ptr<TrackCopy> track;
        const auto decodeTimes = [&] {
            return DecodeTimes::forStream(*stream, plan_.reorderDepth, ContainerTraitsTable::of(plan_.fileType).storesDecodeTimes);
        };
        if (plan_.mode == PassthroughMode::EditLists) {
            track = std::make_unique<EditListTrackCopy>(*source, stream, input);
        } else if (source->mediaType == MediaType::Video) {
            const bool intraOnly = everyPictureIsKeyframe(stream->codecpar->codec_id);
            if (plan_.mode == PassthroughMode::Exact && source->streamIndex == plan_.videoStream && !intraOnly) {
                QString why;
                std::unique_ptr<SpliceEncoder> encoder = SpliceEncoder::create(*stream, plan_.pictures, &why);
                if (!encoder) {
                    setError(error, mediaLayerError(MediaLayerErrorCode::CodecMissing,
                                                    QStringLiteral("The pictures at the cuts cannot be encoded anew: %1.").arg(why)));
                    return false;
                }
                WriterStream::setParameters(*input, encoder->outputParameters());
                track = std::make_unique<VideoSmartCopy>(*source, stream, input, std::move(encoder), decodeTimes());
            } else if (plan_.mode == PassthroughMode::Exact && intraOnly) {
                track = std::make_unique<VideoSmartCopy>(*source, stream, input, nullptr, decodeTimes());
            } else {
                track = std::make_unique<VideoKeyframeCopy>(*source, stream, input, decodeTimes());
            }
        } else if (source->mediaType == MediaType::Audio) {
            const AVRational samples{1, std::max(stream->codecpar->sample_rate, 1)};
            std::unique_ptr<AudioTrim> trim = AudioTrim::make(plan_.fileType, *stream->codecpar, samples);
            // An Ogg Opus copy's packets are timed from its first decoded sample; the pre-skip is set at the end.
            if (plan_.fileType == MediaFileType::Ogg && stream->codecpar->codec_id == AV_CODEC_ID_OPUS)
                writer_.setInitialPadding(input, 0);
            track = std::make_unique<AudioCopy>(*source, stream, input, std::move(trim));
        } else {
            track = std::make_unique<SubtitleCopy>(*source, stream, input);
        }
        if (source->mediaType == MediaType::Audio)
            audioRate_ = std::max(audioRate_, source->sampleRate);
        byStream_[source->streamIndex] = track.get();
        tracks_.push_back(std::move(track));
    }
    for (unsigned i = 0; i < input_->nb_streams; ++i)
        input_->streams[i]->discard = byStream_.count(int(i)) ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    // Attached files (the fonts of a Matroska file's subtitles) go with a copy into Matroska; they
    // have no packets.
    for (unsigned i = 0; i < input_->nb_streams && plan_.fileType == MediaFileType::Matroska && !tracks_.empty(); ++i)
        if (input_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT) {
            WriterInput* attachment = WriterStream::addStreamCopyInput(writer_, MediaType::Other, *input_->streams[i]);
            attachment->markAsFinished(nullptr);
        }
    for (const PlannedPiece& piece : plan_.pieces)
        total_ += CMTimeGetSeconds(CMTimeSubtract(piece.statedEnd, piece.start));
    return !tracks_.empty();
}

PiecePlacement Copy::placement(size_t index)
{
    const PlannedPiece& piece = plan_.pieces[index];
    PiecePlacement placement;
    placement.piece = &piece;
    placement.index = index;
    placement.last = index + 1 == plan_.pieces.size();
    placement.sourceFrom = piece.shownFrom;
    if (plan_.mode == PassthroughMode::EditLists) {
        // Each piece is copied from its keyframe (other tracks from a pre-roll before it), far enough
        // along that it begins after everything written and its keyframe decodes after the last picture.
        const CMTime keyShown =
            piece.decodeFrom && plan_.videoStream >= 0
                ? CMTimeMinimum(MediaInput::timeFromTimestamp(piece.decodeFrom->pts, input_->streams[plan_.videoStream]->time_base),
                                piece.start)
                : piece.start;
        placement.copyStart = CMTimeSubtract(keyShown, PassthroughPlan::kPreroll);
        CMTime outputEnd = kCMTimeZero, lastVideoDecode = kCMTimeInvalid, keyDecoded = kCMTimeInvalid, videoTick = kCMTimeZero;
        for (const auto& track : tracks_)
            if (CMTIME_IS_NUMERIC(track->outputEnd()))
                outputEnd = CMTimeMaximum(outputEnd, track->outputEnd());
        if (plan_.videoStream >= 0) {
            const AVRational timeBase = input_->streams[plan_.videoStream]->time_base;
            videoTick = MediaInput::timeFromTimestamp(1, timeBase);
            if (piece.decodeFrom)
                keyDecoded = MediaInput::timeFromTimestamp(piece.decodeFrom->dts, timeBase);
            if (const auto found = byStream_.find(plan_.videoStream); found != byStream_.end())
                lastVideoDecode = static_cast<EditListTrackCopy*>(found->second)->lastOutputDecode();
        }
        placement.shift = PassthroughPlan::pieceShift(outputEnd, placement.copyStart, keyDecoded, lastVideoDecode, videoTick);
        placement.outputStart = CMTimeAdd(piece.start, placement.shift);
        return placement;
    }
    // One timeline: each piece follows the last (in copy-only mode, also after a reference picture
    // the last one showed beyond its end).
    placement.outputStart = kCMTimeZero;
    if (index > 0) {
        placement.outputStart = CMTimeAdd(previous_.outputStart, CMTimeSubtract(plan_.pieces[index - 1].end, previous_.sourceFrom));
        if (plan_.mode == PassthroughMode::CopyOnly)
            for (const auto& track : tracks_)
                if (track->track().mediaType == MediaType::Video && CMTIME_IS_NUMERIC(track->outputEnd()))
                    placement.outputStart = CMTimeMaximum(placement.outputStart, track->outputEnd());
    }
    placement.shift = CMTimeSubtract(placement.outputStart, placement.sourceFrom);
    placement.copyStart = placement.sourceFrom;
    previous_ = placement;
    return placement;
}

bool Copy::copyPiece(const PiecePlacement& placement, const std::atomic<bool>& cancelled, const std::function<void(double)>& progress,
                     Error* error)
{
    const PlannedPiece& piece = *placement.piece;
    CMTime readFrom = kCMTimeInvalid;
    for (const auto& track : tracks_) {
        const CMTime from = track->readFrom(placement);
        readFrom = CMTIME_IS_NUMERIC(readFrom) ? CMTimeMinimum(readFrom, from) : from;
    }
    int64_t seekTo = MediaInput::timestampFromTime(readFrom, AV_TIME_BASE_Q);
    // Containers whose seeks land near a time are read from where the keyframe search found the keyframe.
    if (piece.decodeFrom && piece.decodeFrom->seekFrom != INT64_MIN)
        seekTo = std::min(seekTo, piece.decodeFrom->seekFrom);
    // From the file's start, a reader that has read nothing yet is where it must be: a seek there may
    // skip what comes before the first keyframe (Matroska's seeks pass over audio before it).
    const int64_t fileStart = input_->start_time != AV_NOPTS_VALUE ? input_->start_time : 0;
    const bool fromStart = seekTo == KeyframeSearch::kFromFileStart || seekTo <= fileStart;
    if (fromStart ? readAnything_ : reader_.seekFile(INT64_MIN, seekTo, seekTo) < 0)
        reader_.seekFile(INT64_MIN, INT64_MIN, INT64_MIN);
    readAnything_ = true;
    for (const auto& track : tracks_)
        track->beginPiece(placement);
    PacketPtr packet = makePacket();
    const double pieceLength = CMTimeGetSeconds(CMTimeSubtract(piece.statedEnd, piece.start));
    int ret = 0, sinceProgress = 0;
    for (;;) {
        if (cancelled.load())
            return false;
        const bool allDone = std::all_of(tracks_.begin(), tracks_.end(), [](const auto& track) { return track->done(); });
        if (allDone || (ret = reader_.read(packet.get())) < 0)
            break;
        const auto found = byStream_.find(packet->stream_index);
        if (found == byStream_.end() || found->second->done()) {
            av_packet_unref(packet.get());
            continue;
        }
        PacketPtr taken = makePacket();
        av_packet_move_ref(taken.get(), packet.get());
        if (!found->second->take(std::move(taken), error))
            return false;
        if (++sinceProgress >= 64 && total_ > 0) {
            sinceProgress = 0;
            const CMTime reached = found->second->reached();
            const double into = CMTIME_IS_NUMERIC(reached) ? CMTimeGetSeconds(CMTimeSubtract(reached, piece.start)) : 0;
            progress(std::clamp((done_ + std::clamp(into, 0.0, pieceLength)) / total_, 0.0, 1.0));
        }
    }
    if (ret < 0 && ret != AVERROR_EOF) {
        setError(error, mediaError(ret, QStringLiteral("Cannot read \"%1\"").arg(asset_.path())));
        return false;
    }
    for (const auto& track : tracks_)
        if (!track->endPiece(error))
            return false;
    // The file ran out: fine at a track's end, a damaged file well before it.
    const CMTime offset = asset_.startOffset();
    const CMTime end = CMTimeSubtract(piece.statedEnd, offset);
    for (const auto& track : tracks_) {
        if (track->done())
            continue;
        const CMTime reached =
            CMTIME_IS_NUMERIC(track->reached()) ? CMTimeSubtract(track->reached(), offset) : CMTimeSubtract(piece.start, offset);
        if (!checkTrackReachedEnd(asset_, track->track(), reached, end, error))
            return false;
    }
    done_ += pieceLength;
    if (total_ > 0)
        progress(std::clamp(done_ / total_, 0.0, 1.0));
    return true;
}

std::vector<CMTime> Copy::durations() const
{
    std::vector<CMTime> durations;
    for (const PlannedPiece& piece : plan_.pieces)
        durations.push_back(CMTimeSubtract(piece.statedEnd, piece.start));
    return durations;
}

std::vector<CMTime> Copy::leadIns() const
{
    std::vector<CMTime> leadIns;
    for (const PlannedPiece& piece : plan_.pieces)
        leadIns.push_back(CMTimeSubtract(piece.start, piece.shownFrom));
    return leadIns;
}

std::map<uint32_t, std::vector<Mp4Edit>> Copy::edits() const
{
    std::map<uint32_t, std::vector<Mp4Edit>> edits;
    if (plan_.mode == PassthroughMode::EditLists) {
        for (const auto& track : tracks_)
            if (track->wroteAnything())
                edits[uint32_t(track->input()->streamIndex() + 1)] = static_cast<EditListTrackCopy*>(track.get())->edits(durations());
        return edits;
    }
    // One timeline: each track shows its media from its first picture or sample (an empty edit
    // before it where it begins later than the output: edits that begin inside a picture are shown
    // from the picture's start by some players) to the output's end, or for as long as it holds (a
    // source that says it is longer than its samples are).
    // The output's length: to the last piece's end, or where its pictures and sound end when it runs
    // to the file's end (whose length the file may only have estimated).
    const PlannedPiece& last = plan_.pieces.back();
    CMTime total = CMTimeAdd(previous_.outputStart, CMTimeSubtract(last.statedEnd, previous_.sourceFrom));
    if (CMTimeCompare(last.end, last.statedEnd) != 0) {
        total = kCMTimeZero;
        for (const auto& track : tracks_)
            if (track->track().mediaType != MediaType::Subtitle && CMTIME_IS_NUMERIC(track->outputEnd()))
                total = CMTimeMaximum(total, track->outputEnd());
    }
    for (const auto& track : tracks_) {
        if (!track->wroteAnything())
            continue;
        const bool subtitle = track->track().mediaType == MediaType::Subtitle;
        // The muxer fills a subtitle track from the file's start with an empty sample.
        const CMTime firstDecode = subtitle ? CMTimeMinimum(track->firstOutputDecode(), kCMTimeZero) : track->firstOutputDecode();
        const CMTime firstShown = subtitle ? kCMTimeZero : track->firstOutputShown();
        const CMTime shownUntil = subtitle ? total : CMTimeMinimum(total, track->outputEnd());
        std::vector<Mp4Edit>& list = edits[uint32_t(track->input()->streamIndex() + 1)];
        if (CMTimeCompare(firstShown, kCMTimeZero) > 0) {
            list.push_back(Mp4Edit{kCMTimeInvalid, firstShown});
            list.push_back(Mp4Edit{CMTimeSubtract(firstShown, firstDecode), CMTimeSubtract(shownUntil, firstShown)});
        } else {
            list.push_back(Mp4Edit{CMTimeSubtract(kCMTimeZero, firstDecode), shownUntil});
        }
    }
    return edits;
}

bool Copy::finishTracks(const QString& path, Error* error)
{
    for (const auto& track : tracks_)
        if (auto* audio = dynamic_cast<AudioCopy*>(track.get()); audio && !audio->finish(path, error))
            return false;
    return true;
}

} // namespace

PassthroughCopier::PassthroughCopier(std::shared_ptr<const MediaAsset> asset, const Composition& composition, MediaFileType fileType,
                                     QString path, std::vector<MetadataItem> metadata, std::vector<MediaChapter> chapters,
                                     PassthroughMode mode)
    : asset_(std::move(asset)), composition_(composition), fileType_(fileType), path_(std::move(path)), metadata_(std::move(metadata)),
      chapters_(std::move(chapters)), mode_(mode)
{
}

bool PassthroughCopier::run(const std::atomic<bool>& cancelled, const std::function<void(double)>& progress, Error* error)
{
    InputFormatContextPtr input = MediaInput::open(asset_->source(), true, error);
    if (!input)
        return false;
    if (composition_.tracks.empty() || composition_.tracks.front().segments.empty()) {
        setError(error, mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("There is nothing to copy.")));
        return false;
    }
    std::vector<CMTimeRange> kept;
    for (const CompositionSegment& piece : composition_.tracks.front().segments)
        kept.push_back(piece.sourceRange);
    // The plan reads a file of its own, so that the copy's reader starts where opening left it.
    CopyPlan plan = CopyPlanner::make(*asset_, kept, fileType_, mode_, error);
    if (plan.pieces.empty() && error && !error->message.isEmpty())
        return false;
    MediaWriter writer(path_, fileType_);
    Copy copy(*asset_, input.get(), writer, std::move(plan));
    if (!copy.addTracks(composition_, error)) {
        if (error && error->message.isEmpty())
            setError(error, mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("There is nothing to copy.")));
        return false;
    }
    const bool mpeg4 = ContainerTraitsTable::of(fileType_).editLists;
    writer.setMetadata(metadata_);
    if (!chapters_.empty() && copy.plan().mode == PassthroughMode::CopyOnly)
        writer.setChapters(PassthroughPlan::chaptersAfterLeadIns(chapters_, copy.durations(), copy.leadIns())); // as the pieces begin
    else
        writer.setChapters(chapters_);
    if (mpeg4) {
        writer.setMuxerOption(QStringLiteral("use_editlist"), QStringLiteral("1"));
        writer.setMuxerOption(QStringLiteral("movie_timescale"), QString::number(copy.movieTimescale()));
    }
    if (!writer.startWriting(error))
        return false;
    const size_t pieces = copy.plan().pieces.size();
    for (size_t p = 0; p < pieces; ++p) {
        if (!copy.copyPiece(copy.placement(p), cancelled, progress, error)) {
            writer.cancelWriting();
            return false;
        }
    }
    if (!writer.finishWriting(error))
        return false;
    if ((mpeg4 && !writeEditLists(path_, copy.edits(), error)) || !copy.finishTracks(path_, error)) {
        QFile::remove(path_);
        return false;
    }
    return true;
}
