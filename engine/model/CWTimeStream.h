// A cursor that walks a timeline at one fixed timescale (that of the duration it was made for) and
// hands out consecutive ranges. Every time given to it is first truncated toward zero to that
// timescale. It never clamps: a time before the cursor gives a negative range and moves the cursor
// back, and ranges may run past the end. The cursor and end are guarded by a lock; one owner at a time.
#pragma once

#include "CMTime.h"

#include <memory>
#include <mutex>

class CWTimeStream {
public:
    static std::shared_ptr<CWTimeStream> streamForDuration(CMTime duration);
    static std::shared_ptr<CWTimeStream> emptyStreamWithTimescale(CMTimeScale timescale);
    explicit CWTimeStream(CMTime duration);

    void skipUntil(CMTime time);
    void skipDuration(CMTime duration);
    CMTimeRange rangeWithDuration(CMTime duration);
    CMTimeRange rangeUntil(CMTime time);
    CMTimeRange rangeUntilEnd();
    CMTime currentTime() const;

    CMTime now() const { return currentTime(); }
    CMTime max() const;
    void setNow(CMTime now);
    void setMax(CMTime max);

private:
    CMTime converted(CMTime time) const;

    mutable std::mutex mutex_;
    CMTime now_;
    CMTime max_;
};
