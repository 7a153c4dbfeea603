#include "PassthroughCopier.h"

#include "EarlyEnd.h"
#include "FlacReframer.h"
#include "KeyframeKind.h"
#include "KeyframeSearch.h"
#include "MediaAsset.h"
#include "MediaInput.h"
#include "MediaWriter.h"
#include "Mp4EditList.h"
#include "OggOpusHead.h"
#include "PacketTime.h"
#include "PassthroughPlan.h"
#include "SampleBufferInternal.h"
#include "TimedPacketReader.h"

#include <QFile>

extern "C" {
#include <libavutil/intreadwrite.h>
}

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
    std::unique_ptr<FlacReframer> flac;            // FLAC into a FLAC file: frames cut to the sample
    AVCodecID oggCodec = AV_CODEC_ID_NONE;         // Opus or Vorbis into an Ogg file: trimmed by granule positions
    int pcmFrameBytes = 0;                         // PCM: the bytes of one sample frame, sliced to the sample
    bool mp3 = false;                              // MP3 into an MP3 file: trimmed by encoder delay and padding
};

// The most an MP3 file's Info header can tell players to skip: its 12-bit encoder delay, and the
// decoder's own delay of 529 samples.
constexpr int kMaxMp3Skip = 4095 + 529;

// The bytes of one sample frame of a PCM stream; 0 for any other codec.
int pcmFrameBytes(const AVCodecParameters& parameters)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(parameters.codec_id);
    const int bits = av_get_exact_bits_per_sample(parameters.codec_id);
    if (!descriptor || !QByteArray(descriptor->name).startsWith("pcm_") || bits <= 0)
        return 0;
    return parameters.block_align > 0 ? parameters.block_align : parameters.ch_layout.nb_channels * bits / 8;
}

CMTime timeOf(int64_t ticks, AVRational timeBase) { return MediaInput::timeFromTimestamp(ticks, timeBase); }

// The first tick at or after the time: a piece moves at least as far as planned.
int64_t ticksAtOrAfter(CMTime time, AVRational timeBase)
{
    return av_rescale_rnd(time.value, timeBase.den, int64_t(time.timescale) * timeBase.num, AV_ROUND_UP);
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
    Copy(const MediaAsset& asset, AVFormatContext* input, MediaWriter& writer, MediaFileType fileType)
        : asset_(asset), input_(input), reader_(input), writer_(writer), fileType_(fileType),
          exactStarts_(MediaFileTypes::hasEditLists(fileType))
    {
    }

    // An input for every track of the composition the container can take; false when there is none.
    bool addTracks(const Composition& composition);
    // The movie's timescale: the audio's rate keeps edit durations exact to the sample.
    int movieTimescale() const { return audioRate_ > 0 ? audioRate_ : 90000; }
    // Where pieces of video begin at a keyframe (no edit lists), how much earlier than asked each begins.
    std::vector<CMTime> leadIns(const std::vector<CompositionSegment>& pieces);
    // The pre-skip an Ogg Opus copy states in its header (the lead-in before the kept start), or −1.
    int opusPreSkip() const { return opusPreSkip_; }
    // The plan of piece number `index` of `count`.
    PiecePlan plan(const CompositionSegment& piece, size_t index, size_t count);
    // Copies one piece; false on failure (error set) or cancellation.
    bool copyPiece(const PiecePlan& plan, const std::atomic<bool>& cancelled, Error* error);
    // Every track's edit list: one entry per piece, showing exactly its kept range.
    std::map<uint32_t, std::vector<Mp4Edit>> edits(const std::vector<CompositionSegment>& pieces) const;

private:
    // Copies one packet of a track as the plan says; false only when the writer fails.
    bool copyPacket(CopiedTrack& track, int index, PacketPtr out, const PiecePlan& plan, Error* error);
    // Without edit lists, the samples of an audio packet outside the kept range: cut off (PCM), made
    // into a frame of their own (FLAC), or marked for players to skip (the first and last packets of
    // an MP3 file).
    enum class Trimmed { Kept, Dropped, Failed };
    Trimmed trimAudio(CopiedTrack& track, PacketPtr& packet, const PiecePlan& plan, Error* error);
    // How long before a piece of an audio-only source its copy begins, so that the decoder is ready
    // when the kept samples begin: frames of an MP3 file's first piece, whose lead-in players skip. A
    // frame's data may begin up to 511 bytes back in the frames before it, and its first samples
    // overlap the previous frame's; the Info header's 12-bit delay allows three frames of 1,152
    // samples (seven of 576).
    CMTime audioLeadIn(size_t index) const;
    // Decoders give nothing for a Vorbis stream's first packet. A copy into Ogg begins with the packet
    // before the one that holds the kept start, timed to end at zero, so that the kept start's packet
    // plays whole from zero.
    void startAfterVorbisPrimer(PiecePlan& plan);

    const MediaAsset& asset_;
    AVFormatContext* input_;
    TimedPacketReader reader_;
    MediaWriter& writer_;
    std::map<int, CopiedTrack> tracks_; // by stream index
    int anchor_ = -1;                   // the video stream whose keyframes place each piece
    int audioRate_ = 0;
    CMTime outputEnd_ = kCMTimeZero; // the end of everything written
    MediaFileType fileType_;
    bool exactStarts_; // the container has edit lists, so each piece can show from its own start
    bool lastPiece_ = false;
    int opusPreSkip_ = -1;
    int64_t vorbisZero_ = AV_NOPTS_VALUE; // the source time (ticks) a Vorbis copy begins at
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
        if (fileType_ == MediaFileType::FLAC && stream->codecpar->codec_id == AV_CODEC_ID_FLAC)
            track.flac = std::make_unique<FlacReframer>(*stream->codecpar);
        const AVCodecID codec = stream->codecpar->codec_id;
        track.mp3 = fileType_ == MediaFileType::MP3 && codec == AV_CODEC_ID_MP3;
        track.pcmFrameBytes = pcmFrameBytes(*stream->codecpar);
        if (fileType_ == MediaFileType::Ogg && (codec == AV_CODEC_ID_OPUS || codec == AV_CODEC_ID_VORBIS))
            track.oggCodec = codec;
        // The copy's Opus packets are timed from its first decoded sample; the pre-skip is set at the end.
        if (track.oggCodec == AV_CODEC_ID_OPUS)
            writer_.setInitialPadding(track.input, 0);
        if (source->mediaType == MediaType::Video && anchor_ < 0)
            anchor_ = source->streamIndex;
        if (source->mediaType == MediaType::Audio)
            audioRate_ = std::max(audioRate_, source->sampleRate);
    }
    for (unsigned i = 0; i < input_->nb_streams; ++i)
        input_->streams[i]->discard = tracks_.count(int(i)) ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    // Attached files (the fonts of a Matroska file's subtitles) go with a copy into Matroska; they
    // have no packets.
    for (unsigned i = 0; i < input_->nb_streams && fileType_ == MediaFileType::Matroska && !tracks_.empty(); ++i)
        if (input_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT) {
            WriterInput* attachment = writer_.addStreamCopyInput(MediaType::Other, input_->streams[i]);
            attachment->markAsFinished(nullptr);
        }
    return !tracks_.empty();
}

PiecePlan Copy::plan(const CompositionSegment& piece, size_t index, size_t count)
{
    lastPiece_ = index + 1 == count;
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
        if (const auto keyframe = KeyframeSearch::find(reader_, anchor_, target)) {
            video.keyframePts = keyframe->pts;
            plan.seekFrom = keyframe->seekFrom;
            plan.keyShown = CMTimeMinimum(timeOf(keyframe->pts, video.timeBase), plan.start);
            plan.keyDecoded = timeOf(keyframe->dts, video.timeBase);
        }
        videoTick = timeOf(1, video.timeBase);
        if (video.lastDts != AV_NOPTS_VALUE)
            lastVideoDecode = timeOf(video.lastDts, video.timeBase); // output time
    }
    if (exactStarts_) {
        plan.copyStart = CMTimeSubtract(plan.keyShown, PassthroughPlan::kPreroll);
    } else {
        // Nothing hides a lead-in: the piece shows from its keyframe, all tracks together.
        plan.start = plan.keyShown;
        plan.copyStart = anchor_ >= 0 ? plan.keyShown : CMTimeMaximum(CMTimeSubtract(plan.start, audioLeadIn(index)), offset);
        if (anchor_ < 0 && index == 0)
            startAfterVorbisPrimer(plan);
    }
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

std::vector<CMTime> Copy::leadIns(const std::vector<CompositionSegment>& pieces)
{
    std::vector<CMTime> result(pieces.size(), kCMTimeZero);
    if (exactStarts_ || anchor_ < 0)
        return result;
    for (size_t p = 0; p < pieces.size(); ++p) {
        const CMTime start = CMTimeAdd(pieces[p].sourceRange.start, asset_.startOffset());
        result[p] = CMTimeSubtract(start, KeyframeSearch::shownAtOrBefore(reader_, anchor_, start));
    }
    return result;
}

CMTime Copy::audioLeadIn(size_t index) const
{
    for (const auto& [stream, track] : tracks_) {
        const AVCodecParameters& parameters = *input_->streams[stream]->codecpar;
        if (index != 0 || parameters.sample_rate <= 0)
            continue;
        if (track.mp3) {
            // As many whole frames as the delay can cover besides the part of the frame the start is in.
            const int frame = std::max(parameters.frame_size, 576);
            return CMTimeMake(int64_t((kMaxMp3Skip - frame + 1) / frame) * frame, parameters.sample_rate);
        }
        // Opus decoders settle within 80 ms.
        if (track.oggCodec == AV_CODEC_ID_OPUS)
            return CMTimeMake(80, 1000);
    }
    return kCMTimeZero;
}

void Copy::startAfterVorbisPrimer(PiecePlan& plan)
{
    const auto vorbis =
        std::find_if(tracks_.begin(), tracks_.end(), [](const auto& entry) { return entry.second.oggCodec == AV_CODEC_ID_VORBIS; });
    if (vorbis == tracks_.end())
        return;
    const int index = vorbis->first;
    const AVRational timeBase = vorbis->second.timeBase;
    const int64_t start = MediaInput::timestampFromTime(plan.start, timeBase);
    const int64_t from = MediaInput::timestampFromTime(CMTimeSubtract(plan.start, CMTimeMake(1, 1)), AV_TIME_BASE_Q);
    if (from <= 0 || reader_.seekFile(INT64_MIN, from, from) < 0)
        reader_.seekFile(INT64_MIN, INT64_MIN, INT64_MIN);
    PacketPtr packet = makePacket();
    int64_t previous = AV_NOPTS_VALUE;
    while (reader_.read(packet.get()) >= 0) {
        const int64_t pts = presentationTimestamp(*packet), end = pts + std::max<int64_t>(packet->duration, 0);
        const bool ours = packet->stream_index == index && pts != AV_NOPTS_VALUE;
        av_packet_unref(packet.get());
        if (!ours)
            continue;
        if (end > start) {
            if (previous != AV_NOPTS_VALUE) {
                plan.copyStart = timeOf(previous, timeBase);
                vorbisZero_ = pts;
            }
            return;
        }
        previous = pts;
    }
}

namespace {

int64_t sampleAt(CMTime time, int rate) { return av_rescale_rnd(time.value, rate, time.timescale, AV_ROUND_NEAR_INF); }

} // namespace

Copy::Trimmed Copy::trimAudio(CopiedTrack& track, PacketPtr& out, const PiecePlan& plan, Error* error)
{
    AVPacket& packet = *out;
    const AVCodecParameters& parameters = *input_->streams[packet.stream_index]->codecpar;
    const int rate = parameters.sample_rate;
    if (rate <= 0 || packet.pts == AV_NOPTS_VALUE)
        return Trimmed::Kept;
    const AVRational samples{1, rate};
    const int64_t first = av_rescale_q(packet.pts, track.timeBase, samples);
    const int64_t start = sampleAt(plan.start, rate), end = sampleAt(plan.end, rate);
    if (const int frameBytes = track.pcmFrameBytes; frameBytes > 0) {
        const int64_t count = packet.size / frameBytes;
        const PassthroughPlan::SampleTrim trim = PassthroughPlan::trimToRange(first, count, start, end);
        if (trim.front + trim.back >= count)
            return Trimmed::Dropped;
        packet.data += trim.front * frameBytes;
        packet.size = int((count - trim.front - trim.back) * frameBytes);
        packet.pts = packet.dts = av_rescale_q(first + trim.front, samples, track.timeBase);
        packet.duration = av_rescale_q(count - trim.front - trim.back, samples, track.timeBase);
        return Trimmed::Kept;
    }
    if (track.flac) {
        const int64_t count = FlacReframer::blockSize(packet.data, packet.size);
        const PassthroughPlan::SampleTrim trim = PassthroughPlan::trimToRange(first, count, start, end);
        if (count > 0 && trim.front + trim.back >= count)
            return Trimmed::Dropped;
        PacketPtr made = track.flac->frame(packet, trim.front, trim.back, error);
        if (!made)
            return Trimmed::Failed;
        made->pts = made->dts = av_rescale_q(first + trim.front, samples, track.timeBase);
        made->duration = av_rescale_q(count - trim.front - trim.back, samples, track.timeBase);
        made->stream_index = packet.stream_index;
        out = std::move(made);
        return Trimmed::Kept;
    }
    if (track.oggCodec != AV_CODEC_ID_NONE) {
        // Opus states the lead-in before the first kept sample as its pre-skip. (Vorbis has none, and
        // players trim a start before zero only within the first packet: a Vorbis copy begins with the
        // packet that holds the kept start, see startAfterVorbisPrimer.) The last packet ends at the
        // last kept sample, and so does the last granule position.
        const int64_t count = av_rescale_q(std::max<int64_t>(packet.duration, 0), track.timeBase, samples);
        if (track.firstDts == AV_NOPTS_VALUE && track.oggCodec == AV_CODEC_ID_OPUS)
            opusPreSkip_ = int(std::clamp<int64_t>(start - first, 0, 0xFFFF));
        if (lastPiece_ && first + count > end && end > first)
            packet.duration = av_rescale_q(end - first, samples, track.timeBase);
        return Trimmed::Kept;
    }
    if (track.mp3) {
        // Players that read the file's encoder delay and padding skip the lead-in before the first
        // kept sample and what follows the last one.
        const int64_t count = packet.duration > 0 ? av_rescale_q(packet.duration, track.timeBase, samples) : parameters.frame_size;
        // The lead-in may span several frames: the first frame's skip reaches the kept start.
        PassthroughPlan::SampleTrim trim;
        if (track.firstDts == AV_NOPTS_VALUE)
            trim.front = std::max<int64_t>(start - first, 0);
        if (lastPiece_)
            trim.back = std::max<int64_t>(first + count - end, 0);
        if (trim.front > 0 || trim.back > 0) {
            uint8_t* skip = av_packet_new_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, 10);
            if (skip) {
                AV_WL32(skip, uint32_t(trim.front));
                AV_WL32(skip + 4, uint32_t(trim.back));
            }
        }
    }
    return Trimmed::Kept;
}

bool Copy::copyPiece(const PiecePlan& plan, const std::atomic<bool>& cancelled, Error* error)
{
    const int64_t seekTo = plan.seekFrom == INT64_MIN ? MediaInput::timestampFromTime(plan.copyStart, AV_TIME_BASE_Q) : plan.seekFrom;
    if (seekTo == KeyframeSearch::kFromFileStart || reader_.seekFile(INT64_MIN, seekTo, seekTo) < 0)
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
    int64_t pts = presentationTimestamp(*out);
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
    int64_t duration = std::max<int64_t>(out->duration, 0);
    const CMTime shownAt = timeOf(pts, track.timeBase), shownUntil = timeOf(pts + duration, track.timeBase);
    if (CMTIME_IS_NUMERIC(shownUntil))
        track.reached = CMTimeMaximum(track.reached, CMTimeSubtract(shownUntil, asset_.startOffset()));
    const bool video = track.source.mediaType == MediaType::Video;
    Decision decision = video ? PassthroughPlan::videoPacket(shownAt, timeOf(dts, track.timeBase), plan.keyShown,
                                                             CMTIME_IS_NUMERIC(plan.keyDecoded) ? plan.keyDecoded : plan.keyShown, plan.end)
                              : PassthroughPlan::otherPacket(shownAt, shownUntil, plan.copyStart, plan.end);
    // Without edit lists every frame copied is shown: a B-frame shown before the end is kept also
    // when it decodes after it (the reference it follows is copied and shown too).
    if (!exactStarts_ && video && decision == Decision::TrackDone && CMTimeCompare(shownAt, plan.end) < 0)
        decision = Decision::Copy;
    track.done = decision == Decision::TrackDone;
    if (decision != Decision::Copy)
        return true;
    if (!exactStarts_ && track.source.mediaType == MediaType::Audio) {
        out->pts = pts;
        out->dts = dts;
        const Trimmed trimmed = trimAudio(track, out, plan, error);
        if (trimmed != Trimmed::Kept)
            return trimmed == Trimmed::Dropped;
        pts = out->pts;
        dts = out->dts;
        duration = std::max<int64_t>(out->duration, 0);
    }
    // Without edit lists a cue shows for as long as it lasts: it is held to the piece.
    if (!exactStarts_ && track.source.mediaType == MediaType::Subtitle && duration > 0) {
        const int64_t from = std::max(pts, ticksAtOrAfter(plan.copyStart, track.timeBase));
        const int64_t to = std::min(pts + duration, MediaInput::timestampFromTime(plan.end, track.timeBase));
        if (to <= from)
            return true;
        pts = dts = from;
        duration = out->duration = to - from;
    }
    // Without video to keep in step with, an audio piece cut to the packet begins with the packet
    // that holds its start: the piece moves on just far enough for that packet to follow the last one.
    if (!exactStarts_ && anchor_ < 0 && !track.startedPiece) {
        if (track.end != AV_NOPTS_VALUE && pts + track.shift < track.end)
            track.shift = track.end - pts;
        // A copy's first packet begins at zero.
        if (track.end == AV_NOPTS_VALUE)
            track.shift = track.oggCodec == AV_CODEC_ID_VORBIS && vorbisZero_ != AV_NOPTS_VALUE ? -vorbisZero_ : -pts;
    }
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
    const bool editLists = MediaFileTypes::hasEditLists(fileType_);
    Copy copy(*asset_, input.get(), writer, fileType_);
    if (composition_.tracks.empty() || !copy.addTracks(composition_)) {
        setError(error, mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("There is nothing to copy.")));
        return false;
    }
    const std::vector<CompositionSegment>& pieces = composition_.tracks.front().segments;
    writer.setMetadata(metadata_);
    if (!chapters_.empty() && !editLists) {
        // The chapters follow the pieces as they begin.
        std::vector<CMTime> durations;
        for (const CompositionSegment& piece : pieces)
            durations.push_back(piece.sourceRange.duration);
        writer.setChapters(PassthroughPlan::chaptersAfterLeadIns(chapters_, durations, copy.leadIns(pieces)));
    } else {
        writer.setChapters(chapters_);
    }
    if (editLists) {
        writer.setMuxerOption(QStringLiteral("use_editlist"), QStringLiteral("1"));
        writer.setMuxerOption(QStringLiteral("movie_timescale"), QString::number(copy.movieTimescale()));
    }
    if (!writer.startWriting(error))
        return false;
    for (size_t p = 0; p < pieces.size(); ++p) {
        if (!copy.copyPiece(copy.plan(pieces[p], p, pieces.size()), cancelled, error)) {
            writer.cancelWriting();
            return false;
        }
        progress(double(p + 1) / double(pieces.size()));
    }
    if (!writer.finishWriting(error))
        return false;
    if ((editLists && !writeEditLists(path_, copy.edits(pieces), error)) ||
        (copy.opusPreSkip() >= 0 && !OggOpusHead::setPreSkip(path_, copy.opusPreSkip(), error))) {
        QFile::remove(path_);
        return false;
    }
    return true;
}
