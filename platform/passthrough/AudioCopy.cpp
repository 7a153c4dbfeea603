#include "AudioCopy.h"

#include "CopyPlan.h"
#include "MediaInput.h"
#include "PacketTime.h"

#include <algorithm>

AudioCopy::AudioCopy(const MediaTrack& track, const AVStream* source, WriterInput* input, std::unique_ptr<AudioTrim> trim)
    : TrackCopy(track, source, input), trim_(std::move(trim))
{
    // Counted in samples, so that packets laid one after another stay exact however long the copy.
    if (source->codecpar->sample_rate > 0)
        timeBase_ = AVRational{1, source->codecpar->sample_rate};
}

int64_t AudioCopy::samples(int64_t ticks) const
{
    return av_rescale_q(ticks, timeBase_, AVRational{1, std::max(source_->codecpar->sample_rate, 1)});
}

int64_t AudioCopy::durationOf(const AVPacket& packet) const
{
    // The codec's own count where its packets say it (containers that keep milliseconds round it);
    // else the container's; else the codec's usual frame. In samples.
    const AVCodecParameters& parameters = *source_->codecpar;
    if (const int samples = av_get_audio_frame_duration2(const_cast<AVCodecParameters*>(&parameters), packet.size); samples > 0)
        return samples;
    if (packet.duration > 0)
        return packet.duration;
    return std::max(parameters.frame_size, 1);
}

CMTime AudioCopy::readFrom(const PiecePlacement& placement) const
{
    // Enough before the start for the lead-in, the primer and the packet before the start.
    const int rate = std::max(source_->codecpar->sample_rate, 1);
    const int64_t margin = trim_->leadInSamples() + 2 * std::max(source_->codecpar->frame_size, 1152) + rate / 10;
    return CMTimeSubtract(placement.sourceFrom, CMTimeMake(margin, rate));
}

void AudioCopy::beginPiece(const PiecePlacement& placement)
{
    TrackCopy::beginPiece(placement);
    const CMTime length = CMTimeSubtract(placement.piece->end, placement.sourceFrom);
    target_ = outputEnd_ == AV_NOPTS_VALUE ? ticksOf(placement.outputStart) : outputEnd_;
    pieceEnd_ = ticksOf(CMTimeAdd(placement.outputStart, length)) + early_;
    setShiftTicks(shiftTicks() + early_);
    started_ = false;
    candidate_.reset();
}

bool AudioCopy::take(PacketPtr packet, Error* error)
{
    if (presentationTimestamp(*packet) == AV_NOPTS_VALUE || done_)
        return true;
    av_packet_rescale_ts(packet.get(), source_->time_base, timeBase_);
    packet->duration = durationOf(*packet);
    sawSourcePacket(presentationTimestamp(*packet), packet->duration);
    return started_ ? follow(std::move(packet), error) : begin(std::move(packet), error);
}

bool AudioCopy::follow(PacketPtr packet, Error* error)
{
    const int64_t pts = presentationTimestamp(*packet), duration = packet->duration;
    const int64_t mapped = pts + shiftTicks();
    if (trim_->cutsToTheSample()) {
        if (mapped >= pieceEnd_) {
            done_ = true;
            return true;
        }
        const int64_t back = samples(std::max<int64_t>(mapped + duration - pieceEnd_, 0));
        const AudioTrim::Cut cut = trim_->cut(packet, 0, back, error);
        if (cut == AudioTrim::Cut::Failed)
            return false;
        if (cut == AudioTrim::Cut::Dropped)
            return true;
        packet->duration = duration - (back > 0 ? av_rescale_q(back, AVRational{1, source_->codecpar->sample_rate}, timeBase_) : 0);
    } else {
        // The last piece takes every packet that begins before its end where the end can be hidden;
        // otherwise a piece takes the packets more than half of which lie before its end.
        const bool belongs = placement_.last && trim_->hidesEnd() ? mapped < pieceEnd_ : mapped + duration / 2 < pieceEnd_;
        if (!belongs) {
            done_ = true;
            return true;
        }
    }
    // Packets follow each other while that keeps them within half a packet of where the piece puts
    // them: a gap in the source stays a gap, and audio that ran ahead leaves a packet out.
    if (outputEnd_ - mapped > duration / 2 && !trim_->cutsToTheSample())
        return true;
    const int64_t at = mapped - outputEnd_ > duration / 2 ? mapped : outputEnd_;
    return place(std::move(packet), at, error);
}

bool AudioCopy::begin(PacketPtr packet, Error* error)
{
    const int64_t pts = presentationTimestamp(*packet), duration = packet->duration;
    const int64_t start = target_ - shiftTicks(); // the piece's start in source ticks
    const int64_t mapped = pts + shiftTicks();
    if (trim_->cutsToTheSample()) {
        if (pts + duration <= start)
            return true;
        const int64_t front = samples(std::max<int64_t>(start - pts, 0));
        const int64_t back = samples(std::max<int64_t>(mapped + duration - pieceEnd_, 0));
        if (mapped >= pieceEnd_) {
            done_ = true;
            return true;
        }
        const AudioTrim::Cut cut = trim_->cut(packet, front, back, error);
        if (cut == AudioTrim::Cut::Failed)
            return false;
        if (cut == AudioTrim::Cut::Dropped)
            return true;
        const AVRational rate{1, source_->codecpar->sample_rate};
        packet->duration = duration - av_rescale_q(front + back, rate, timeBase_);
        started_ = true;
        return place(std::move(packet), std::max(target_, mapped), error);
    }
    const int64_t leadIn =
        firstOfFile_ ? av_rescale_q(trim_->leadInSamples(), AVRational{1, std::max(source_->codecpar->sample_rate, 1)}, timeBase_) : 0;
    if (leadIn > 0) {
        // The copy's first piece begins with the packet that holds the start of its lead-in; the
        // lead-in is hidden.
        if (pts + duration <= start - leadIn)
            return true;
        started_ = true;
        if (pts >= start)
            return place(std::move(packet), mapped, error);
        if (trim_->leadInBeforeZero())
            return place(std::move(packet), mapped, error);
        trim_->hideStart(*packet, samples(start - pts));
        beginsEarly(start - pts);
        return place(std::move(packet), target_, error);
    }
    if (firstOfFile_ && trim_->beginsWithPrimer()) {
        // The packet before the one that holds the start goes first; decoders use it up.
        if (pts + duration <= start) {
            candidate_ = std::move(packet);
            return true;
        }
        started_ = true;
        if (candidate_) {
            const int64_t primer = candidate_->duration;
            if (!place(std::move(candidate_), target_ - primer, error))
                return false;
        }
        beginsEarly(std::max<int64_t>(start - pts, 0));
        return place(std::move(packet), target_, error);
    }
    // The packet whose start is nearest the piece's start.
    if (pts < start) {
        candidate_ = std::move(packet);
        return true;
    }
    started_ = true;
    if (candidate_ && start - candidate_->pts < pts - start) {
        const int64_t candidateMapped = candidate_->pts + shiftTicks();
        if (!place(std::move(candidate_), std::max(target_, candidateMapped), error))
            return false;
        return follow(std::move(packet), error);
    }
    candidate_.reset();
    if (mapped >= pieceEnd_) {
        done_ = true;
        return true;
    }
    // A track that begins well after the piece keeps its own start.
    return place(std::move(packet), mapped - target_ > duration / 2 ? mapped : target_, error);
}

void AudioCopy::beginsEarly(int64_t ticks)
{
    // The written stream begins this much before the kept start (a lead-in its format hides, or the
    // part of a first packet that cannot be left out): everything after lies that much later.
    early_ = ticks;
    setShiftTicks(shiftTicks() + early_);
    pieceEnd_ += early_;
}

bool AudioCopy::place(PacketPtr packet, int64_t outputPts, Error* error)
{
    packet->pts = packet->dts = outputPts;
    outputEnd_ = outputPts + std::max<int64_t>(packet->duration, 1);
    firstOfFile_ = false;
    if (!(placement_.last && trim_->hidesEnd()))
        return write(std::move(packet), error);
    // The last packet of the copy may reach beyond its end: held until the next shows it is not the last.
    if (!flushHeld(error))
        return false;
    held_ = std::move(packet);
    return true;
}

bool AudioCopy::flushHeld(Error* error) { return !held_ || write(std::move(held_), error); }

bool AudioCopy::endPiece(Error* error)
{
    candidate_.reset();
    if (held_ && placement_.last) {
        const int64_t overhang = held_->pts + held_->duration - pieceEnd_;
        if (overhang > 0)
            trim_->hideEnd(*held_, samples(overhang));
    }
    return flushHeld(error);
}
