// Turns the frames of a FLAC stream copied piece by piece into one valid stream, exact to the sample.
// FLAC frames are independent and may hold any number of samples, so a frame only partly kept is
// decoded and its kept samples encoded (losslessly) as a frame of their own; every frame, copied or
// made, is numbered by its first sample in the output (a variable block size stream) with its
// checksums written anew. The stream description (STREAMINFO) is kept up to date with the block and
// frame sizes and the sample count written; its audio checksum is left unknown, as the samples differ
// from the source's.
//
// One thread (the copier's); owns its decoder and encoders. Failures carry the library's message.
#pragma once

#include "Error.h"
#include "FFmpegPtr.h"

#include <QByteArray>

class FlacReframer {
public:
    explicit FlacReframer(const AVCodecParameters& source);

    // The output frame for a source frame of which `front` samples at its start and `back` at its end
    // are left out; null with the error when it cannot be decoded or encoded. The packet carries the
    // updated stream description as new extradata, which the FLAC muxer writes at the end.
    PacketPtr frame(const AVPacket& source, int64_t front, int64_t back, Error* error);

    // The number of samples in a FLAC frame, from its header; 0 when the header cannot be read.
    static int64_t blockSize(const uint8_t* data, int size);
    // The frame with its header numbered by its first sample (variable block size) and both checksums
    // computed anew; empty when the header cannot be read.
    static QByteArray renumbered(const uint8_t* data, int size, int64_t firstSample);

private:
    PacketPtr encodeKept(const AVPacket& source, int64_t front, int64_t back, Error* error);
    void describe(AVPacket& packet, int64_t samples, int size);

    const AVCodecParameters& source_;
    CodecContextPtr decoder_;
    int64_t written_ = 0; // samples written so far: the next frame's number
    int minBlock_ = 0, maxBlock_ = 0;
    int minFrame_ = 0, maxFrame_ = 0;
};
