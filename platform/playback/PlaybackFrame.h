// A picture as the player shows it: upright, with square pixels, as RGB32, and the stretch of source
// time it is shown for. A plain value.
#pragma once

#include "CMTime.h"

#include <QImage>

struct PlaybackFrame {
    QImage image;
    CMTime time = kCMTimeInvalid;
    CMTime duration = kCMTimeInvalid;
    // A stand-in shown while a scrubbing seek decodes on to its exact frame (the keyframe before it).
    bool preview = false;
    // The stretch of time the frame is shown for contains t.
    bool shows(CMTime t) const
    {
        return CMTimeCompare(time, t) <= 0 && (!CMTIME_IS_NUMERIC(duration) || CMTimeCompare(t, CMTimeAdd(time, duration)) < 0);
    }
};
