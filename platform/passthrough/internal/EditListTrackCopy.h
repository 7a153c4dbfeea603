// A track of an MPEG-4 pass-through in edit-list mode: each piece is copied from the keyframe at or
// before its start (other tracks from a pre-roll before it) through the pictures its last shown ones
// need, all tracks moved by one amount; the file's edit lists (one entry per piece and track) then
// show exactly the kept material in players that honour them, and players that do not show each
// piece from its keyframe, still in sync.
//
// One thread (the copier's). Fails only when writing fails.
#pragma once

#include "Mp4EditList.h"
#include "TrackCopy.h"

class EditListTrackCopy : public TrackCopy {
public:
    using TrackCopy::TrackCopy;
    CMTime readFrom(const PiecePlacement& placement) const override;
    void beginPiece(const PiecePlacement& placement) override;
    bool take(PacketPtr packet, Error* error) override;
    // The track's edits: one per piece, showing exactly its kept range.
    std::vector<Mp4Edit> edits(const std::vector<CMTime>& durations) const;
    // The last decode time written (output time), invalid before the first packet.
    CMTime lastOutputDecode() const { return lastDts_ == AV_NOPTS_VALUE ? kCMTimeInvalid : timeOf(lastDts_); }

private:
    std::vector<std::pair<CMTime, CMTime>> pieces_; // per piece: its start (stream time) and shift
    int64_t keyframePts_ = AV_NOPTS_VALUE;
    bool startedPiece_ = false;
    int64_t readInPiece_ = 0;
    int64_t lastDts_ = AV_NOPTS_VALUE;
};
