// What a container and a codec allow an audio copy at its start, its end and its joins, one policy
// per kind, chosen when the copy is set up:
//   PCM (any container):        packets sliced to the sample, at every start and end.
//   FLAC into FLAC:             frames cut to the sample and renumbered (FlacReframer).
//   MP3 into MP3:               a lead-in of whole frames, hidden with the end's overhang as the
//                               file's encoder delay and padding (skip samples for the Info header).
//   Opus into Ogg:              an 80 ms lead-in hidden as the pre-skip; the last granule is exact.
//   Vorbis into Ogg:            begins with the packet before the one that holds the start (decoders
//                               give nothing for a first packet); the last granule is exact.
//   anything into MPEG-4:       one packet of lead-in, hidden with the end by the track's single edit.
//   anything else:              whole packets, the one nearest each cut.
// Joins between pieces are to the packet nearest the exact time except where packets are cut to the
// sample.
//
// One thread (the copier's). cut() fails with the FLAC decoder's or encoder's message.
#pragma once

#include "CMTime.h"
#include "Error.h"
#include "FFmpegPtr.h"
#include "MediaFileType.h"

#include <QString>

#include <memory>

class AudioTrim {
public:
    static std::unique_ptr<AudioTrim> make(MediaFileType fileType, const AVCodecParameters& parameters, AVRational timeBase);
    virtual ~AudioTrim() = default;

    // Samples are counted at the stream's rate.
    // Packets are cut to the sample at every start and end (they need no lead-in or hiding).
    virtual bool cutsToTheSample() const { return false; }
    enum class Cut { Kept, Dropped, Failed };
    // Leaves `front` samples at the packet's start and `back` at its end out.
    virtual Cut cut(PacketPtr& packet, int64_t front, int64_t back, Error* error);

    // How far before the kept start the copy begins (none: the piece begins with the packet nearest
    // its start); the lead-in begins with the packet that holds that time.
    virtual int64_t leadInSamples() const { return 0; }
    // Whether the copy begins with a packet before the lead-in that decoders use up (Vorbis).
    virtual bool beginsWithPrimer() const { return false; }
    // The lead-in lies before the output's time zero (an edit list hides it) rather than being
    // hidden by hideStart().
    virtual bool leadInBeforeZero() const { return false; }
    // Hides `samples` at the start of the copy's first packet from players.
    virtual void hideStart(AVPacket&, int64_t /*samples*/) {}
    // Whether the copy's end can be hidden within a packet (hideEnd(), or an edit list): then the last
    // piece takes every packet that begins before its end.
    virtual bool hidesEnd() const { return false; }
    virtual void hideEnd(AVPacket&, int64_t /*samples*/) {}
    // After the file is complete.
    virtual bool finish(const QString& /*path*/, Error*) { return true; }
};
