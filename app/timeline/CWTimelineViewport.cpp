#include "CWTimelineViewport.h"

#include <algorithm>

namespace {
constexpr double kPageMargin = 0.05; // of the span, left before the time a page brings in
} // namespace

void CWTimelineViewport::setDuration(double seconds)
{
    duration_ = seconds > 0 ? seconds : 0;
    zoomToFit();
}

void CWTimelineViewport::zoomBy(double factor, double anchorSeconds, double anchorX, double width)
{
    if (!(duration_ > 0) || !(factor > 0) || !(width > 0))
        return;
    span_ = std::clamp(span_ / factor, std::min(kMinimumSpan, duration_), duration_);
    moveTo(anchorSeconds - anchorX / width * span_);
}

void CWTimelineViewport::moveTo(double seconds) { start_ = std::clamp(seconds, 0.0, std::max(0.0, duration_ - span_)); }

bool CWTimelineViewport::follow(double seconds)
{
    if (!isZoomed() || (seconds >= start_ && seconds <= end()))
        return false;
    const double before = start_;
    moveTo(seconds > end() ? seconds - kPageMargin * span_ : seconds - (1 - kPageMargin) * span_);
    return start_ != before;
}
