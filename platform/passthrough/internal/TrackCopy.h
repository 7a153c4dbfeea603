// One track of a pass-through copy: how its packets of each piece are chosen, trimmed, re-timed and
// written. The copier reads the source once per piece and hands each track the packets of its stream
// in file order; each kind of track has a strategy of its own, chosen when the copy is set up (video:
// smart rendering, keyframe starts or edit-list lead-ins; audio with the trim its codec and
// container allow; subtitle cues held to their piece).
//
// Output times: source (stream) time + the piece's shift. Every strategy writes in its source
// stream's time base through its writer input, whose guards keep decode times rising and stop
// overlaps.
//
// One thread (the copier's). take() and endPiece() fail only when writing, decoding or encoding fails.
#pragma once

#include "CMTime.h"
#include "Error.h"
#include "FFmpegPtr.h"
#include "MediaTypes.h"

#include <vector>

struct PlannedPiece;
class WriterInput;

// Where one piece goes in the output.
struct PiecePlacement {
    const PlannedPiece* piece = nullptr;
    size_t index = 0;
    bool last = false;
    CMTime sourceFrom;  // the stream time shown first (the start; copy only: the keyframe)
    CMTime outputStart; // where sourceFrom lands in the output
    CMTime shift;       // output time − source time, for every track
    CMTime copyStart;   // edit lists: where other tracks begin copying (a pre-roll before the keyframe)
};

class TrackCopy {
public:
    TrackCopy(const MediaTrack& track, const AVStream* source, WriterInput* input);
    virtual ~TrackCopy();

    int streamIndex() const { return track_.streamIndex; }
    const MediaTrack& track() const { return track_; }
    WriterInput* input() const { return input_; }

    // Where reading must begin (stream time) for this track's part of the piece.
    virtual CMTime readFrom(const PiecePlacement& placement) const { return placement.sourceFrom; }
    virtual void beginPiece(const PiecePlacement& placement);
    // A packet of the track, in file order.
    virtual bool take(PacketPtr packet, Error* error) = 0;
    // Whether the track has everything it needs of the piece.
    bool done() const { return done_; }
    // The piece's packets have all been read, or the file ended: write what is held.
    virtual bool endPiece(Error* error);

    // Stream time up to which the piece's packets reached: how far a cut-short file got.
    CMTime reached() const { return reached_; }
    // The output's extent so far: where its first packet decodes and where what is written ends.
    CMTime firstOutputDecode() const;
    CMTime firstOutputShown() const;
    CMTime outputEnd() const;
    bool wroteAnything() const { return firstDts_ != AV_NOPTS_VALUE; }

protected:
    // Writes a packet whose timestamps are already output times in the stream's time base.
    bool write(PacketPtr packet, Error* error);
    // Notes a packet read, for reached().
    void sawSourcePacket(int64_t pts, int64_t duration);
    CMTime timeOf(int64_t ticks) const;
    // `from`, or the piece's decode start (its keyframe) when that lies earlier: where a video track
    // reads from.
    CMTime fromDecodeStart(const PiecePlacement& placement, CMTime from) const;
    int64_t ticksOf(CMTime time) const; // rounded to the nearest tick
    int64_t shiftTicks() const { return shift_; }
    void setShiftTicks(int64_t ticks) { shift_ = ticks; }

    const AVStream* source_;
    AVRational timeBase_;
    PiecePlacement placement_;
    bool done_ = false;

private:
    MediaTrack track_;
    WriterInput* input_;
    int64_t shift_ = 0;
    CMTime reached_ = kCMTimeInvalid;
    int64_t firstDts_ = AV_NOPTS_VALUE, firstPts_ = AV_NOPTS_VALUE, end_ = AV_NOPTS_VALUE;
};
