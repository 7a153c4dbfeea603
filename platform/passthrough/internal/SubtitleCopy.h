// The subtitles of a pass-through copy without edit lists: a cue shows for as long as it lasts, so
// each is held to its piece (cut where the piece begins or ends) and moved with it. Cues without a
// duration are kept when they begin within the piece.
//
// One thread (the copier's). Fails only when writing fails.
#pragma once

#include "TrackCopy.h"

class SubtitleCopy : public TrackCopy {
public:
    using TrackCopy::TrackCopy;
    bool take(PacketPtr packet, Error* error) override;
};
