// Which stretch of the source the timeline strip shows: the whole source (zoomed out, the strip as it
// always was) or a part of it, from start() for span() seconds, mapped onto the strip's width. Zooming
// keeps the time under an anchor (the pointer, or the playhead) where it is; the view never reaches
// before the source's start or past its end and never shows less than kMinimumSpan seconds (or the
// whole source, when that is shorter). follow() pages the view forward or back so a time is in it,
// as editors do while playing.
//
// Plain value; the strip owns one and uses it on the main thread.
#pragma once

class CWTimelineViewport {
public:
    static constexpr double kMinimumSpan = 0.1; // seconds across the whole strip, at the closest

    // A new duration shows the whole source.
    void setDuration(double seconds);
    double duration() const { return duration_; }
    double start() const { return start_; }
    double span() const { return span_; }
    double end() const { return start_ + span_; }
    bool isZoomed() const { return duration_ > 0 && span_ < duration_; }

    double xForSeconds(double seconds, double width) const { return span_ > 0 ? (seconds - start_) / span_ * width : 0.0; }
    double secondsForX(double x, double width) const { return width > 0 ? start_ + x / width * span_ : 0.0; }

    // Shows factor times as much detail (below 1, less), the time anchorSeconds staying at anchorX.
    void zoomBy(double factor, double anchorSeconds, double anchorX, double width);
    void zoomToFit() { start_ = 0, span_ = duration_; }
    // Moves the view (keeping its span) so that it starts at seconds, within the source.
    void moveTo(double seconds);
    // Pages the view so that seconds is in it: forward so the time sits near the left edge, back so it
    // sits near the right one. True when the view moved.
    bool follow(double seconds);

private:
    double duration_ = 0;
    double start_ = 0;
    double span_ = 0;
};
