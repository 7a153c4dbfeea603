// Encodes the pictures a copy cannot take over as they are: those between a cut and the next clean
// keyframe (and, with B-frames, those at a piece's end that need a reference shown after it). Each
// run is closed: it begins with a keyframe and refers to nothing outside itself; it has no B-frames
// (MPEG-4 Part 2 excepted, whose stream headers say whether B-frames may come and must be the
// source's). Packets come in decode order; their writer gives them decode times (DecodeTimes). The encoded pictures match the copied
// stream: size, pixel format and bit depth, sample aspect ratio, colour description, field order, the times each picture had, a profile
// compatible with the source's and a level no higher. Their parameter sets sit beside the source's in the stream's configuration record
// under identifiers of their own (x264's sps-id; HEVC's rewritten, HevcIdRewriter), so one stream description serves both kinds of picture.
//
// Quality: x264 and x265 "veryfast" tuned for PSNR at CRF 9 and 10, without the tree that starves
// the run's last pictures of bits; libvpx at CRF 5 (VP8) and 8 (VP9), libaom at CRF 18, MPEG-4 Part 2
// at quantiser 2: at least 45 dB against the source's pictures also on grainy pictures, for a run of
// at most one group of pictures.
//
// One thread (the copier's). create() says why a stream cannot be spliced (no encoder for its codec, a format
// the encoder cannot match); encoding failures carry the library's message.
#pragma once

#include "Error.h"
#include "FFmpegPtr.h"
#include "PictureFormat.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <map>
#include <memory>

class SpliceEncoder {
public:
    using PacketHandler = std::function<bool(PacketPtr packet, Error* error)>;

    // Null, with the reason as the end of a sentence ("Clipwell does not encode CINEPAK pictures"), when the
    // stream's pictures cannot be encoded to match it.
    static std::unique_ptr<SpliceEncoder> create(const AVStream& source, const PictureFormat& pictures, QString* why);
    // Why pictures of the codec (the media library's name for it) cannot be encoded anew here, before
    // anything is decoded ("Clipwell does not encode CINEPAK pictures"); empty when they can, or when every
    // picture is a keyframe and none needs to be.
    static QString unavailableFor(const QString& codecName);
    ~SpliceEncoder();

    // The output stream's codec parameters: the source's, with the encoder's parameter sets added to
    // its configuration record.
    const AVCodecParameters& outputParameters() const { return *output_; }

    // A picture of the run, stamped with its output time and duration (ticks of the source stream's
    // time base). A run begins with the first picture after construction or after finishRun().
    bool encode(const AVFrame& picture, int64_t pts, int64_t duration, const PacketHandler& handler, Error* error);
    // Ends the run: everything the encoder holds is handed out.
    bool finishRun(const PacketHandler& handler, Error* error);

private:
    SpliceEncoder() = default;
    bool openEncoder(Error* error);
    bool handOut(const PacketHandler& handler, Error* error);
    // The encoder's packet as the output stream carries it: length-prefixed units, ids rewritten.
    bool convert(AVPacket& packet, Error* error) const;

    struct Codec;
    std::unique_ptr<Codec> codec_;
    const AVStream* source_ = nullptr;
    PictureFormat pictures_;
    std::shared_ptr<AVCodecParameters> output_;
    CodecContextPtr encoder_;
    SwsContextPtr scaler_;
    QByteArray encoderHeaders_; // the first encoder's parameter sets: every later one must give the same
    std::map<int64_t, int64_t> durations_;
    int64_t lastPts_ = AV_NOPTS_VALUE;
};
