// One audio track of a composition as interleaved PCM in a given format (32-bit float or 16-bit
// integer samples), exact to the sample: each composition segment yields exactly its duration in output samples, placed at its
// target time, with silence where the track has no media (gaps, a track that starts late or ends
// early; timestamp jitter under 5 ms is not a gap).
// Decodes with a TrackDecoder and converts with libswresample. One thread at a time. A source that
// ends well before its stated length (a truncated file) fails with an error.
#pragma once

#include "Composition.h"
#include "FFmpegPtr.h"
#include "SampleBuffer.h"
#include "TrackDecoder.h"

#include <vector>

class AudioTrackReader {
public:
    bool open(std::shared_ptr<const MediaAsset> asset, const CompositionTrack& track, const PcmFormat& format, Error* error);
    // Appends up to maxFrames frames (their bytes) to out; returns how many, 0 at the end, -1 on failure.
    int read(std::vector<uint8_t>& out, int maxFrames, Error* error);

private:
    bool produce(Error* error); // adds converted samples to pending_, or finishes a segment
    bool beginSegment(Error* error);
    void endSegment();
    void flushResampler(); // drains what the resampler holds into pending_ and starts afresh
    bool convert(const AVFrame* frame, int first, int count, Error* error);
    int64_t framesAt(CMTime time) const;

    TrackDecoder decoder_;
    std::vector<CompositionSegment> segments_;
    PcmFormat format_;
    ChannelLayout outLayout_;
    SwrContextPtr resampler_;
    int resamplerFormat_ = -1, resamplerRate_ = 0;
    ChannelLayout resamplerLayout_;
    size_t segment_ = 0;
    bool inSegment_ = false;
    int64_t produced_ = 0;                 // output frames made so far, silence included
    CMTime expectedNext_ = kCMTimeInvalid; // time of the next input sample, for frames without a timestamp
    size_t frameBytes() const { return size_t(format_.bytesPerFrame()); }
    // Silence is owed, not made at once (an hour-long gap must not become one buffer): it is made a
    // second at a time as reads need it, and nothing is added to pending_ while some is owed.
    void appendSilence(int64_t frames) { silenceOwed_ += frames; }
    bool payOwedSilence(); // makes up to one chunk of what is owed; false when nothing was
    int64_t silenceOwed_ = 0;
    // A frame that comes after owed silence: converted once the silence is made.
    struct HeldFrame {
        FramePtr frame;
        int first = 0, count = 0;
        bool endsSegment = false;
    } held_;

    std::vector<uint8_t> pending_; // converted frames not yet read, from pendingHead_ on
    size_t pendingHead_ = 0;
};
