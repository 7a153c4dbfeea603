// One stretch of the source that is cut out of the export; a segment whose stop equals its start is a
// split point, which removes nothing but divides the kept material there. Segments are held by
// shared_ptr in the project's list and in undo steps. Their times and thumbnail are guarded by the
// segment's own lock (each read or write copies the whole value), so any thread may read them.
// Invalid input is refused through the Boolean results and a null from startingAt(); nothing throws.
#pragma once

#include "CMTime.h"
#include "CWThumbnail.h"
#include "Locked.h"

#include <memory>

class CWExcludedSegment {
public:
    // A segment from start to end, or null when end is not a possible end (before start, or invalid).
    static std::shared_ptr<CWExcludedSegment> startingAt(CMTime start, CMTime end);

    CMTime start() const { return start_.get(); }
    CMTime stop() const { return stop_.get(); }
    void setStop(CMTime stop) { stop_.set(stop); } // no check either
    std::shared_ptr<CWThumbnail> startThumbnail() const { return startThumbnail_.get(); }
    void useStartThumbnail(std::shared_ptr<CWThumbnail> thumbnail) { startThumbnail_.set(std::move(thumbnail)); }

    // time ≥ start, compared exactly; equal times are possible ends, invalid times are not.
    bool isPossibleEnd(CMTime time) const;
    // Moves the stop (either way) when the time is a possible end.
    bool endAt(CMTime time);
    // The segment begins at or before the time.
    bool isBefore(CMTime time) const;
    // Both ends included for a cut; only its own time for a split point.
    bool includesTime(CMTime time) const;
    CMTime duration() const;
    bool isSplitPoint() const { return CMTimeCompare(start(), stop()) == 0; }
    // Extends this segment over `other` when other starts exactly where this one stops.
    bool tryMergeWith(const CWExcludedSegment& other);
    // Same times, same (shared) thumbnail.
    std::shared_ptr<CWExcludedSegment> copy() const;

    CWExcludedSegment(CMTime start, CMTime stop) : start_(start), stop_(stop) {}

private:
    Locked<CMTime> start_;
    Locked<CMTime> stop_;
    Locked<std::shared_ptr<CWThumbnail>> startThumbnail_;
};
