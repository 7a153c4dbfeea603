#include "CWFrameInformation.h"

#include "CWExcludedSegment.h"
#include "CWUtility.h"
#include "MediaAsset.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

// ⌊(time − start) / duration⌋ for numeric times, exactly; 0 when the duration is not positive.
uint64_t wholeFramesBetween(CMTime start, CMTime time, CMTime duration)
{
    const CMTime offset = CMTimeSubtract(time, start);
    if (!CMTIME_IS_NUMERIC(offset) || !CMTIME_IS_NUMERIC(duration) || duration.value <= 0 || offset.value <= 0)
        return 0;
    const __int128 numerator = static_cast<__int128>(offset.value) * duration.timescale;
    const __int128 denominator = static_cast<__int128>(offset.timescale) * duration.value;
    return uint64_t(numerator / denominator);
}

} // namespace

std::shared_ptr<CWFrameInformation> CWFrameInformation::withFrameSamples(const std::vector<FrameSample>& samples)
{
    if (samples.empty())
        return nullptr;
    auto first = std::make_shared<CWFrameInformation>();
    first->startTime_ = samples.front().presentationTime;
    first->sampleDuration_ = samples.front().duration;
    CWFrameInformation* current = first.get();
    for (const FrameSample& sample : samples) {
        if (CMTimeCompare(sample.duration, current->sampleDuration_) != 0) {
            current->next_ = std::make_shared<CWFrameInformation>();
            current = current->next_.get();
            current->startTime_ = sample.presentationTime;
            current->sampleDuration_ = sample.duration;
        }
        // Every frame is counted once, so the total is the track's frame count.
        ++current->frameCount_;
        current->endTime_ = sample.presentationTime;
    }
    return first;
}

void CWFrameInformation::iterateFrameInformationsAndDo(const std::function<bool(const CWFrameInformation&)>& block) const
{
    for (const CWFrameInformation* run = this; run; run = run->next_.get())
        if (!block(*run))
            return;
}

uint64_t CWFrameInformation::totalFrameCount() const
{
    uint64_t total = 0;
    iterateFrameInformationsAndDo([&](const CWFrameInformation& run) {
        total += run.frameCount_;
        return true;
    });
    return total;
}

uint64_t CWFrameInformation::frameNumberAtTime(CMTime time) const
{
    uint64_t count = 0;
    iterateFrameInformationsAndDo([&](const CWFrameInformation& run) {
        if (CMTimeCompare(time, run.startTime_) < 0)
            return false;
        // The run's last frame stays on screen until its duration has passed, not only at its start.
        if (CMTimeCompare(time, CMTimeAdd(run.endTime_, run.sampleDuration_)) >= 0) {
            count += run.frameCount_;
            return true;
        }
        count += std::min(wholeFramesBetween(run.startTime_, time, run.sampleDuration_), run.frameCount_ - 1);
        return false;
    });
    return count + 1;
}

namespace {
// The start of the frame with the 1-based number, or of the last frame when there are fewer.
CMTime frameStart(const CWFrameInformation& first, uint64_t number)
{
    uint64_t before = 0;
    CMTime found = kCMTimeInvalid;
    first.iterateFrameInformationsAndDo([&](const CWFrameInformation& run) {
        if (run.frameCount() == 0)
            return true;
        const uint64_t index = std::min(number - 1 - std::min(number - 1, before), run.frameCount() - 1);
        found = CMTimeAdd(run.startTime(), CMTimeMultiply(run.sampleDuration(), int32_t(index)));
        before += run.frameCount();
        return before < number;
    });
    return found;
}
} // namespace

CMTime CWFrameInformation::nextFrameTime(CMTime time) const
{
    // The frame on screen is the number frameNumberAtTime() counts; its successor is one further.
    return frameStart(*this, frameNumberAtTime(time) + (CMTimeCompare(time, startTime_) < 0 ? 0 : 1));
}

CMTime CWFrameInformation::previousFrameTime(CMTime time) const
{
    const uint64_t shown = frameNumberAtTime(time);
    return frameStart(*this, shown > 1 ? shown - 1 : 1);
}

QString CWFrameInformation::frameReportForTime(CMTime time, const std::vector<std::shared_ptr<CWExcludedSegment>>& splits) const
{
    const uint64_t total = totalFrameCount();
    const uint64_t current = frameNumberAtTime(time);
    uint64_t removed = 0;
    bool inCut = false;
    for (const auto& segment : splits) {
        const CMTime start = segment->start(), stop = segment->stop();
        const uint64_t a = frameNumberAtTime(start), b = frameNumberAtTime(stop);
        removed += b > a ? b - a : 0;
        inCut = inCut || (CMTimeCompare(start, time) < 0 && CMTimeCompare(time, stop) < 0);
    }
    const uint64_t kept = removed > total ? 0 : total - removed;
    const char* format = inCut ? "Frame %llu / %llu (in cut)\nTarget: %llu frames" : "Frame %llu / %llu\nTarget: %llu frames";
    return QString::asprintf(qPrintable(QCoreApplication::translate("CWFrameInformation", format)),
                             static_cast<unsigned long long>(current), static_cast<unsigned long long>(total),
                             static_cast<unsigned long long>(kept));
}

std::shared_ptr<CWFrameInformation> CWFrameInformation::forAsset(const MediaAsset& asset)
{
    constexpr double kMaximumFrames = 100000.0;
    const auto video = asset.tracksWithMediaType(MediaType::Video);
    if (video.empty())
        return nullptr;
    const double rate = video.front().nominalFrameRate;
    const double seconds = CMTimeGetSeconds(asset.duration());
    if (!(rate > 0) || !(seconds * rate <= kMaximumFrames))
        return nullptr;
    Error error;
    const auto samples = FrameTiming::read(asset, video.front().trackID, &error);
    if (!samples) {
        CWUtility::debugLog(QStringLiteral("FrameInformation"), error.message);
        return nullptr;
    }
    return withFrameSamples(*samples);
}
