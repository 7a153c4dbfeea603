// The plan of a pass-through copy, made once before anything is written and used by the copy itself
// and by whoever tells people what the copy will do (the tool's notes): which mode is carried out
// (Exact falls back where the video cannot be encoded to match it), and for every piece where its
// video is decoded from, where copying begins and whether pictures before that are encoded anew.
//
// A picture belongs to a piece when the middle of its display time lies in the kept range, so a cut
// within half a picture of a picture's start is taken as being at it.
//
// make() reads the video track's packets around each piece's start (no decoding); it runs on the
// caller's thread with the reader it is given, or opens one of its own. It fails only when the file
// cannot be opened or read.
#pragma once

#include "CMTime.h"
#include "Error.h"
#include "KeyframeSearch.h"
#include "MediaFileType.h"
#include "PassthroughMode.h"
#include "PictureFormat.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class MediaAsset;
class TimedPacketReader;

struct PlannedPiece {
    CMTime start, end; // the kept range, in stream time (source time plus the asset's start offset)
    CMTime statedEnd;  // end as asked; `end` lies a day later for the last piece of a file, which takes all there is
    // The video: the clean keyframe decoding begins with (at or before the first kept picture), the
    // clean keyframe copying begins with (none: the piece's pictures are all encoded anew), and
    // whether kept pictures come before it (they are encoded anew). Stream ticks of the video track.
    std::optional<KeyframeSearch::Keyframe> decodeFrom;
    std::optional<KeyframeSearch::Keyframe> copyFrom;
    bool encodesHead = false;
    CMTime copyFromTime = kCMTimeInvalid; // copyFrom's presentation, in stream time
    // Where the piece's output begins in stream time: its start, or (copy only) its keyframe.
    CMTime shownFrom;
};

struct CopyPlan {
    PassthroughMode mode = PassthroughMode::Exact; // as carried out
    MediaFileType fileType = MediaFileType::MPEG4;
    int videoStream = -1;             // the video track that places pieces (stream index), or −1
    QString fallback;                 // why the requested mode is not carried out, as a clause; empty when it is
    int reorderDepth = 0;             // how many video pictures may be decoded before one shown earlier (B-frames)
    CMTime startOffset = kCMTimeZero; // stream time of the source's time zero
    PictureFormat pictures;           // of the video track, when pictures are encoded anew
    std::vector<PlannedPiece> pieces;

    // What people are told, each a sentence without its "Note: ": pieces that begin earlier than
    // asked, pictures encoded anew, fallbacks. Times in source time.
    QStringList notes() const;
};

namespace CopyPlanner {
// Kept ranges in source time (zero at the asset's start).
CopyPlan make(const MediaAsset& asset, TimedPacketReader& reader, const std::vector<CMTimeRange>& kept, MediaFileType fileType,
              PassthroughMode requested, Error* error);
// The same with a reader of its own; empty plan (no pieces) with the error when the file cannot be read.
CopyPlan make(const MediaAsset& asset, const std::vector<CMTimeRange>& kept, MediaFileType fileType, PassthroughMode requested,
              Error* error);
} // namespace CopyPlanner
