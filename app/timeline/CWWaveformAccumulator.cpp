#include "CWWaveformAccumulator.h"

#include <algorithm>
#include <cmath>

uint64_t CWWaveformAccumulator::barCountForWidth(double totalScreenWidth)
{
    constexpr double kLineWidth = 1.0, kSpacing = 1.0;
    return uint64_t(std::trunc(std::trunc(std::max(totalScreenWidth, 1920.0)) / (kSpacing + kLineWidth)));
}

void CWWaveformAccumulator::addChunk(const float* samples, int64_t frames, double progress)
{
    if (samplesPerBucket_ == 0) {
        samplesPerBucket_ = uint64_t(double(frames) / (progress / 100.0)) / barCount_;
        if (samplesPerBucket_ == 0)
            samplesPerBucket_ = 1;
    }
    for (int64_t i = 0; i < frames; ++i) {
        const float a = std::fabs(samples[i]);
        sum_ += a;
        ++inBucket_;
        peak_ = std::max(peak_, a);
        ++seen_;
        if (seen_ % samplesPerBucket_ == 0 || (i == frames - 1 && emitted_ + 1 == barCount_)) {
            bars_.push_back(inBucket_ ? sum_ / float(inBucket_) : 0.0f);
            sum_ = 0.0f;
            inBucket_ = 0;
            if (++emitted_ >= barCount_)
                break;
        }
    }
}

void CWWaveformAccumulator::finish()
{
    if (inBucket_ > 0 && emitted_ < barCount_)
        bars_.push_back(sum_ / float(inBucket_));
}
