// Frame-accurate reports for the document window: which frame of the source is shown at a time, how
// many frames the source has, and how many the export keeps. Built once from the frame timing of the
// source's first video track, condensed into a chain of runs (consecutive frames sharing one
// duration); queries walk the runs, never the frames. Each run owns the next; the first stands for
// the chain. Immutable after building, so any thread may query it.
#pragma once

#include "CMTime.h"
#include "FrameTiming.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CWExcludedSegment;
class MediaAsset;

class CWFrameInformation {
public:
    // The first run of the chain for frames in presentation order; null when there are none.
    static std::shared_ptr<CWFrameInformation> withFrameSamples(const std::vector<FrameSample>& samples);
    // The information of the asset's first video track; null for audio, for sources of more than
    // 100,000 frames (reading their timing would hold up the window) and when the timing cannot be read.
    static std::shared_ptr<CWFrameInformation> forAsset(const MediaAsset& asset);

    // Calls the block with this run and each following one until it returns false.
    void iterateFrameInformationsAndDo(const std::function<bool(const CWFrameInformation&)>& block) const;
    uint64_t totalFrameCount() const;
    // The 1-based number of the frame shown at the time; after the last frame, the total + 1.
    uint64_t frameNumberAtTime(CMTime time) const;
    // The start of the frame after (before) the one shown at the time; a time before the first frame
    // steps to the first frame, and stepping beyond the last (first) frame stays there.
    CMTime nextFrameTime(CMTime time) const;
    CMTime previousFrameTime(CMTime time) const;
    // "Frame %1 / %2\nTarget: %3 frames", with "(in cut)" when the time lies strictly inside a cut.
    QString frameReportForTime(CMTime time, const std::vector<std::shared_ptr<CWExcludedSegment>>& splits) const;

    uint64_t frameCount() const { return frameCount_; }
    const CWFrameInformation* next() const { return next_.get(); }
    CMTime startTime() const { return startTime_; }
    CMTime endTime() const { return endTime_; }
    CMTime sampleDuration() const { return sampleDuration_; }

private:
    uint64_t frameCount_ = 0;
    std::shared_ptr<CWFrameInformation> next_;
    CMTime endTime_ = kCMTimeInvalid;   // presentation time of the run's last frame (its start)
    CMTime startTime_ = kCMTimeInvalid; // presentation time of the run's first frame
    CMTime sampleDuration_ = kCMTimeInvalid;
};
