#include "AudioTrackReader.h"

#include "EarlyEnd.h"
#include "MediaAsset.h"
#include "Resampler.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <cmath>

bool AudioTrackReader::open(std::shared_ptr<const MediaAsset> asset, const CompositionTrack& track, const PcmFormat& format, Error* error)
{
    segments_ = track.segments;
    format_ = format;
    assignChannelLayout(outLayout_, format_);
    if (segments_.empty())
        return true;
    return decoder_.open(std::move(asset), segments_.front().sourceTrackID, error);
}

int64_t AudioTrackReader::framesAt(CMTime time) const { return int64_t(std::llround(CMTimeGetSeconds(time) * format_.sampleRate)); }

bool AudioTrackReader::beginSegment(Error* error)
{
    const CompositionSegment& segment = segments_[segment_];
    // Silence up to the segment's place, when the track has a gap there.
    const int64_t start = framesAt(segment.targetStart);
    if (produced_ < start) {
        appendSilence(start - produced_);
        produced_ = start;
    }
    inSegment_ = true;
    expectedNext_ = kCMTimeInvalid;
    return decoder_.seek(segment.sourceRange.start, error);
}

void AudioTrackReader::flushResampler()
{
    if (resampler_) {
        const int64_t delayed = swr_get_delay(resampler_.get(), format_.sampleRate) + 16;
        const size_t before = pending_.size();
        pending_.resize(before + size_t(delayed) * frameBytes());
        uint8_t* out = pending_.data() + before;
        const int got = swr_convert(resampler_.get(), &out, int(delayed), nullptr, 0);
        pending_.resize(before + size_t(std::max(got, 0)) * frameBytes());
        produced_ += std::max(got, 0);
        resampler_.reset();
    }
}

void AudioTrackReader::endSegment()
{
    flushResampler(); // what the resampler still holds belongs to this segment
    // Exactly the segment's length: pad with silence, or drop what the rounding of frames added.
    const CompositionSegment& segment = segments_[segment_];
    const int64_t end = framesAt(CMTimeRangeGetEnd(segment.targetRange()));
    if (produced_ < end) {
        appendSilence(end - produced_);
    } else if (produced_ > end) {
        // The tail goes: owed silence first (it comes last), then made frames.
        const int64_t fromOwed = std::min(produced_ - end, silenceOwed_);
        silenceOwed_ -= fromOwed;
        const size_t drop = size_t(produced_ - end - fromOwed) * frameBytes();
        pending_.resize(pending_.size() - std::min(pending_.size() - pendingHead_, drop));
    }
    produced_ = end;
    inSegment_ = false;
    ++segment_;
}

bool AudioTrackReader::convert(const AVFrame* frame, int first, int count, Error* error)
{
    const bool changed = !resampler_ || resamplerFormat_ != frame->format || resamplerRate_ != frame->sample_rate ||
                         av_channel_layout_compare(&resamplerLayout_.layout, &frame->ch_layout) != 0;
    if (changed) {
        resampler_ = makeResampler(outLayout_.layout, sampleFormat(format_.sample), format_.sampleRate, frame->ch_layout,
                                   AVSampleFormat(frame->format), frame->sample_rate, QStringLiteral("Cannot convert the audio"), error);
        if (!resampler_)
            return false;
        resamplerFormat_ = frame->format;
        resamplerRate_ = frame->sample_rate;
        resamplerLayout_.assign(frame->ch_layout);
    }
    // Point at the first wanted sample of every plane (or of the one interleaved plane).
    const bool planar = av_sample_fmt_is_planar(AVSampleFormat(frame->format));
    const int bytes = av_get_bytes_per_sample(AVSampleFormat(frame->format));
    const int channels = frame->ch_layout.nb_channels;
    std::vector<const uint8_t*> in(planar ? channels : 1);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = frame->extended_data[i] + size_t(first) * bytes * (planar ? 1 : channels);
    // Converted straight onto the end of what is pending.
    const int capacity = std::max(swr_get_out_samples(resampler_.get(), count), 0);
    const size_t before = pending_.size();
    pending_.resize(before + size_t(capacity) * frameBytes());
    uint8_t* outData = pending_.data() + before;
    const int got = swr_convert(resampler_.get(), &outData, capacity, in.data(), count);
    if (got < 0) {
        pending_.resize(before);
        setError(error, mediaError(got, QStringLiteral("Cannot convert the audio")));
        return false;
    }
    pending_.resize(before + size_t(got) * frameBytes());
    produced_ += got;
    return true;
}

bool AudioTrackReader::payOwedSilence()
{
    if (silenceOwed_ <= 0)
        return false;
    const int64_t chunk = std::min<int64_t>(silenceOwed_, std::max(format_.sampleRate, 1));
    pending_.insert(pending_.end(), size_t(chunk) * frameBytes(), 0);
    silenceOwed_ -= chunk;
    return true;
}

bool AudioTrackReader::produce(Error* error)
{
    if (payOwedSilence())
        return true;
    if (held_.frame) {
        const HeldFrame held = std::exchange(held_, HeldFrame{});
        if (!convert(held.frame.get(), held.first, held.count, error))
            return false;
        if (held.endsSegment)
            endSegment();
        return true;
    }
    if (!inSegment_)
        return beginSegment(error);
    const CompositionSegment& segment = segments_[segment_];
    const CMTime start = segment.sourceRange.start;
    const CMTime end = CMTimeRangeGetEnd(segment.sourceRange);
    FramePtr frame = decoder_.nextFrame(error);
    if (!frame) {
        if (decoder_.failed())
            return false;
        // The media ran out: fine at the track's end, a damaged file well before it.
        const CMTime reached = CMTIME_IS_VALID(expectedNext_) ? expectedNext_ : start;
        if (!checkTrackReachedEnd(decoder_.asset(), decoder_.track(), reached, end, error))
            return false;
        endSegment();
        return true;
    }
    CMTime frameStart = decoder_.frameTime(frame.get());
    if (!CMTIME_IS_NUMERIC(frameStart))
        frameStart = CMTIME_IS_VALID(expectedNext_) ? expectedNext_ : start;
    const int rate = frame->sample_rate;
    const CMTime frameEnd = CMTimeAdd(frameStart, CMTimeMake(frame->nb_samples, rate));
    expectedNext_ = frameEnd;
    // The samples of this frame inside [start, end).
    auto index = [&](CMTime t) {
        const double offset = CMTimeGetSeconds(CMTimeSubtract(t, frameStart)) * rate;
        return int(std::clamp<double>(std::llround(offset), 0, frame->nb_samples));
    };
    const int first = index(start), last = index(end);
    if (last > first) {
        // Where the track has no samples yet (audio that starts after the video, or a hole in it)
        // it is silent, so that what follows keeps its place beside the other tracks.
        const CMTime from = CMTimeMaximum(frameStart, start);
        const int64_t due = framesAt(CMTimeAdd(segment.targetStart, CMTimeSubtract(from, start)));
        const int64_t queued = produced_ + (resampler_ ? swr_get_delay(resampler_.get(), format_.sampleRate) : 0);
        if (due - queued > format_.sampleRate / 200) {
            flushResampler();
            appendSilence(std::max<int64_t>(due - produced_, 0));
            produced_ = std::max(due, produced_);
            if (silenceOwed_ > 0) { // the frame follows the silence
                held_ = HeldFrame{std::move(frame), first, last - first, CMTimeCompare(frameEnd, end) >= 0};
                return true;
            }
        }
        if (!convert(frame.get(), first, last - first, error))
            return false;
    }
    if (CMTimeCompare(frameEnd, end) >= 0)
        endSegment();
    return true;
}

int AudioTrackReader::read(std::vector<uint8_t>& out, int maxFrames, Error* error)
{
    const size_t wanted = size_t(maxFrames) * frameBytes();
    while (pending_.size() - pendingHead_ < wanted && (segment_ < segments_.size() || silenceOwed_ > 0 || held_.frame))
        if (!produce(error))
            return -1;
    const size_t taken = std::min(wanted, pending_.size() - pendingHead_);
    out.insert(out.end(), pending_.begin() + std::ptrdiff_t(pendingHead_), pending_.begin() + std::ptrdiff_t(pendingHead_ + taken));
    pendingHead_ += taken;
    // Drop what was read once it is most of the buffer, so the buffer stays about one read long.
    if (pendingHead_ > pending_.size() / 2) {
        pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(pendingHead_));
        pendingHead_ = 0;
    }
    return int(taken / frameBytes());
}
