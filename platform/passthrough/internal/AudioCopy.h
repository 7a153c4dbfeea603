// The audio of a pass-through copy that has no edit lists (exact and copy-only modes). The output is
// one unbroken run of packets: each piece's audio follows the last piece's directly, beginning with
// the packet whose start is nearest the piece's start (or, where packets are cut to the sample,
// exactly at it), so that the audio is never more than half a packet from the picture and the error
// never adds up from piece to piece. A track that begins later than the piece (late audio) keeps its
// own start. The copy's first start and last end are as exact as the container and codec allow
// (AudioTrim).
//
// One thread (the copier's). Fails only when writing or a FLAC frame fails.
#pragma once

#include "AudioTrim.h"
#include "TrackCopy.h"

#include <memory>

class AudioCopy : public TrackCopy {
public:
    AudioCopy(const MediaTrack& track, const AVStream* source, WriterInput* input, std::unique_ptr<AudioTrim> trim);

    CMTime readFrom(const PiecePlacement& placement) const override;
    void beginPiece(const PiecePlacement& placement) override;
    bool take(PacketPtr packet, Error* error) override;
    bool endPiece(Error* error) override;
    // After the last piece, with the file complete.
    bool finish(const QString& path, Error* error) { return trim_->finish(path, error); }

private:
    int64_t durationOf(const AVPacket& packet) const;
    int64_t samples(int64_t ticks) const;
    // The piece's first packet: chosen, trimmed and placed; false only on failure. Packets in samples.
    bool begin(PacketPtr packet, Error* error);
    // A packet after the piece's first.
    bool follow(PacketPtr packet, Error* error);
    bool place(PacketPtr packet, int64_t outputPts, Error* error);
    bool flushHeld(Error* error);
    void beginsEarly(int64_t ticks);

    std::unique_ptr<AudioTrim> trim_;
    int pcmFrameSamples_ = 0;
    int64_t outputEnd_ = AV_NOPTS_VALUE; // where the written audio ends (output ticks)
    // The piece.
    int64_t target_ = 0;   // where its audio is to begin (output ticks)
    int64_t pieceEnd_ = 0; // where it ends (output ticks)
    bool started_ = false;
    PacketPtr candidate_; // the packet before the start, until the next tells which is nearer
    PacketPtr held_;      // the last piece's last packet so far, whose end may be hidden
    bool firstOfFile_ = true;
    int64_t early_ = 0; // how much before the kept start the written stream begins
};
