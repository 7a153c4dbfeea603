// Cut lists that travel between programs: a source's edits written as, and read from,
//   - plain times, one per line, paired as the tool's --cut options pair (a cut from the first time of
//     a pair to the second; a pair of one time twice is a split point);
//   - CSV ("kept_start,kept_end,label" or "cut_start,cut_end,label" as the header, seconds);
//   - a CMX 3600 EDL: the kept pieces as cut events, in timecode at the source's frame rate (drop-frame
//     for 29.97 and 59.94);
//   - a chapter list as video sites take it in a description ("0:00 Part 1"): where each kept piece
//     starts in the exported file; read back as split points.
// Written lists name the kept pieces "Part N"; labels read from a list are not kept. Reading checks the
// whole list before anything is used and says on which line what is wrong.
//
// Plain functions over values; any thread.
#pragma once

#include "CMTime.h"
#include "Error.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace CWCutList {

enum class Format { Times, Csv, Edl, Chapters };
inline const QString kErrorDomain = QStringLiteral("CWCutList");
enum ErrorCode { Unreadable = 1, OutsideTheSource = 2, Overlapping = 3 };

// One edit: a stretch cut out (start < stop) or a split point (start == stop), in source time.
struct Edit {
    CMTime start;
    CMTime stop;
};
// What a list needs to know of its source.
struct Source {
    CMTime duration = kCMTimeInvalid;
    double frameRate = 0; // the video's nominal rate; 0 without video (an EDL then counts 25 frames a second)
    QString fileName;     // the source's file name, for an EDL's title and clip names
};

// By the name: ".csv", ".edl", ".chapters.txt" (or ".chapters"), anything else plain times.
Format formatForName(const QString& fileName);
// The list of the edits (in order, not overlapping) in the format.
QByteArray write(Format format, const std::vector<Edit>& edits, const Source& source);
// The edits of a list in any of the formats, told by its content; nullopt, with "Line N: why", when a
// line cannot be read, a time lies outside the source or pieces overlap.
std::optional<std::vector<Edit>> read(const QByteArray& list, const Source& source, Error* error);
// Seconds ("90.5"), minutes and seconds ("1:30.5") or hours, minutes and seconds ("00:01:30.500"), at
// the timescale; invalid for anything else (seconds and minutes count to 59 after a larger unit).
CMTime parseTime(const QString& text, int32_t timescale = 1000000);
// The format of a list, told by its first line that is not blank: an EDL's title, mode or event, a CSV
// header, a chapter ("0:00 Intro"); anything else is taken for plain times.
Format formatOf(const QByteArray& list);

// The kept pieces between the edits, and the edits that keep exactly the given pieces (sorted, apart or
// touching; pieces that touch divide at a split point).
std::vector<Edit> keptPieces(const std::vector<Edit>& edits, CMTime duration);
std::vector<Edit> editsKeeping(const std::vector<Edit>& pieces, CMTime duration);

} // namespace CWCutList
