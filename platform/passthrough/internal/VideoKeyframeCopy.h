// The video of a copy-only pass-through: each piece is copied from the keyframe at or before its
// start through the pictures shown before its end (with B-frames, also the reference picture they
// need, which is shown once after them). Nothing is decoded.
//
// One thread (the copier's). Fails only when writing fails.
#pragma once

#include "DecodeTimes.h"
#include "TrackCopy.h"

class VideoKeyframeCopy : public TrackCopy {
public:
    VideoKeyframeCopy(const MediaTrack& track, const AVStream* source, WriterInput* input, DecodeTimes decodeTimes);
    CMTime readFrom(const PiecePlacement& placement) const override;
    void beginPiece(const PiecePlacement& placement) override;
    bool take(PacketPtr packet, Error* error) override;

private:
    int64_t keyframePts_ = AV_NOPTS_VALUE;
    int64_t keyframeDts_ = AV_NOPTS_VALUE;
    bool reachedKeyframe_ = false;
    bool startedPiece_ = false;
    int64_t readInPiece_ = 0;
    DecodeTimes decodeTimes_;
};
