// The video of an exact pass-through copy (smart rendering). A piece that begins at a clean keyframe
// is copied packet for packet; one that begins between keyframes has its pictures up to the next
// clean keyframe decoded and encoded anew (SpliceEncoder), and the rest copied. At the piece's end
// the pictures up to its end are copied; where some of them need a reference shown after the end
// (B-frames), those are encoded anew too, so nothing after the end is in the file. Every picture
// keeps its own time, moved by the piece's shift.
//
// Copied packets are held from one keyframe to the next, so that the end of a piece can still be
// decided after reading past it: memory stays within a group of pictures, whatever the number of
// pieces.
//
// One thread (the copier's). Fails with the decoder's, encoder's or writer's message.
#pragma once

#include "DecodeTimes.h"
#include "SpliceEncoder.h"
#include "StreamDecoder.h"
#include "TrackCopy.h"

#include <map>
#include <memory>

class VideoSmartCopy : public TrackCopy {
public:
    // Without an encoder (a codec whose every picture is a keyframe) pictures are only copied.
    VideoSmartCopy(const MediaTrack& track, const AVStream* source, WriterInput* input, std::unique_ptr<SpliceEncoder> encoder,
                   DecodeTimes decodeTimes);

    CMTime readFrom(const PiecePlacement& placement) const override;
    void beginPiece(const PiecePlacement& placement) override;
    bool take(PacketPtr packet, Error* error) override;
    bool endPiece(Error* error) override;

private:
    bool kept(int64_t pts, int64_t duration) const;
    int64_t durationOf(const AVPacket& packet) const;
    // Decodes for the pictures before the copy start; encodes the kept ones.
    bool feedHead(const AVPacket& packet, Error* error);
    bool drainHead(Error* error);
    bool finishHead(Error* error);
    // Encodes a decoded picture of the source (its own time) as an output picture.
    bool encodePicture(const AVFrame& frame, Error* error);
    bool finishRun(Error* error);
    bool writeCopied(PacketPtr packet, Error* error);
    bool writePending(Error* error);
    // The earliest time a picture may be shown at: after every one written, and not before the file.
    int64_t earliestPts() const;
    // Writes a packet in decode order, with its decode time.
    bool writeInOrder(PacketPtr packet, Error* error);
    // The end of the piece: the held pictures, and those after the first one not kept that are.
    bool resolveEnd(Error* error);

    std::unique_ptr<SpliceEncoder> encoder_;
    int64_t nominalDuration_;
    // The piece, in stream ticks.
    int64_t start_ = 0, end_ = 0;
    int64_t decodePts_ = AV_NOPTS_VALUE; // the keyframe decoding begins with
    int64_t copyPts_ = AV_NOPTS_VALUE;   // the keyframe copying begins with
    bool reachedKeyframe_ = false;
    int64_t readInPiece_ = 0;
    // The pictures before the copy start.
    std::unique_ptr<StreamDecoder> head_;
    bool headDone_ = true;
    int64_t headEnd_ = 0;
    bool encoding_ = false; // a run is open in the encoder
    // Copied packets not yet written, from the last keyframe on; packets after the first that is not kept.
    bool copying_ = false;
    bool pastEnd_ = false;
    bool copiedInPiece_ = false;
    int64_t copyLater_ = 0; // how much later than planned the piece's copied pictures are shown
    std::vector<PacketPtr> pending_;
    std::vector<PacketPtr> lookahead_;
    std::map<int64_t, int64_t> durations_; // of the pictures fed to decoders, by presentation time
    int64_t lastOutputPts_ = AV_NOPTS_VALUE;
    DecodeTimes decodeTimes_;
};
