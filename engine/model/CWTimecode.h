// SMPTE timecode (HH:MM:SS:FF) at a video's frame rate, as edit decision lists count: whole frames at
// the rate's nominal count per second, with drop-frame numbering (HH:MM:SS;FF) for 29.97 and 59.94.
// Rates near 23.976, 29.97 and 59.94 are taken as exactly 24000/1001, 30000/1001 and 60000/1001; others
// as their nearest whole number. A value; any thread.
#pragma once

#include "CMTime.h"

#include <QString>

#include <optional>

class CWTimecode {
public:
    explicit CWTimecode(double frameRate);

    bool isDropFrame() const { return drop_ > 0; }
    // The frame shown at the time (the nearest frame start), and the time a frame starts.
    int64_t frameAt(CMTime time) const;
    CMTime timeOfFrame(int64_t frame) const;
    QString text(int64_t frame) const;
    // The frame of a timecode text; nullopt when it is none (or names a frame drop-frame skips).
    std::optional<int64_t> frameOf(const QString& text) const;

private:
    int nominal_ = 25;     // frames counted per second
    int64_t rateNum_ = 25; // exact frames per second: rateNum_ / rateDen_
    int64_t rateDen_ = 1;
    int drop_ = 0; // frame numbers skipped each minute but every tenth (2 at 29.97, 4 at 59.94)
};
