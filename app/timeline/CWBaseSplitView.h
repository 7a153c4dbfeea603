// The timeline strip under the player: the whole source from its start (left edge) to its end (right
// edge), or, zoomed in, the stretch its viewport shows, with the project's excluded segments as hatched
// rounded boxes and the playhead at the player's current time. A click or drag seeks there exactly (a
// drag over video showing the keyframe before each spot until its exact frame is decoded), a
// horizontal scroll (or Shift with the wheel) scrubs, and the keys "x" (split), "a" (cut), "s" (remove
// cut) and the arrows (±1/30 s) edit and step at the playhead; with Ctrl held the keys are left to the
// menus. Ctrl with the wheel zooms around the pointer (the window's View menu zooms around the
// playhead). Zoomed in, the view pages along when the playhead leaves it, and an overview along the
// bottom edge shows the whole source with the visible stretch marked; a click or drag there moves the
// view without seeking. A busy indicator shows until the player is ready (the audio and video strips
// keep it until their background is ready).
//
// Subclasses draw their background in drawBackground(); the segments and the playhead come on top.
// The two hatch fills are made once per process and shared by every strip; the boxes are drawn into
// a layer of their own, drawn again only when they or the active one change.
//
// Main thread. The player and the project are not owned; the strip redraws on project changes, player
// status changes, new frames and after every seek it starts. Before the player is ready, clicks and
// scrolls do nothing while the keys already act on the project.
#pragma once

#include "CMTime.h"
#include "CWTimelineViewport.h"

#include <QBrush>
#include <QImage>
#include <QWidget>

#include <memory>
#include <vector>

class CWExcludedSegment;
class CWProject;
class Player;
class PlayerView;
class QKeyEvent;
class QProgressBar;

class CWBaseSplitView : public QWidget {
    Q_OBJECT
public:
    explicit CWBaseSplitView(QWidget* parent = nullptr);
    ~CWBaseSplitView() override;

    void usePlayer(Player* player, std::shared_ptr<CWProject> project, PlayerView* playerView);
    void releasePlayerItem();
    Player* player() const { return player_; }
    const std::shared_ptr<CWProject>& project() const { return project_; }

    // x(t) = seconds(t) / seconds(D) × W zoomed out, (seconds(t) − start) / span × W zoomed in; 0 without
    // a player or a valid duration.
    double timeToPixel(CMTime time) const;
    // The time at x in the duration's timescale; zero without a player or a valid duration.
    CMTime pixelToTime(double x) const;

    // Zooming. A factor above 1 shows more detail. zoomAt keeps the time at x where it is;
    // zoomAroundPlayhead keeps the playhead where it is, or brings it to the middle when it is out of view.
    const CWTimelineViewport& viewport() const { return viewport_; }
    bool isZoomed() const { return viewport_.isZoomed(); }
    void zoomAt(double factor, double x);
    void zoomAroundPlayhead(double factor);
    void zoomToFit();
    // The band along the bottom edge that shows the whole source while zoomed in.
    static constexpr int kOverviewHeight = 6;

    // The timeline keys; true when the key was one of them (also when the project refused the edit).
    virtual bool handleKey(QKeyEvent* event);
    // The strip is busy (the audio strip computing its waveform): the window's edit commands wait.
    virtual bool blocksEditing() const { return false; }
    // A click or drag puts the playhead at the start of the frame it shows (video strips), not at the
    // exact moment under the pointer (audio strips).
    virtual bool seeksToFrameStarts() const { return false; }
    void seekByTime(CMTime delta);

    void showProgressSpinner();
    void hideProgressSpinner();
    QProgressBar* progressSpinner() const { return progressSpinner_; }

    // The segment fills: 45-degree stripes 25 units wide, alternating the colour at full and half opacity.
    static QBrush patternImageWithColor(const QColor& color);
    QColor activeStrokeColor() const;
    QColor inactiveStrokeColor() const;
    QBrush activeFillColor() const;
    QBrush inactiveFillColor() const;

signals:
    void editingBlockedChanged();
    // The visible stretch changed (zoom, a page, a move in the overview).
    void viewChanged();

protected:
    virtual void drawBackground(QPainter& painter);
    void drawSplits(QPainter& painter);
    // One segment's box; a split point (a segment of no length) is widened to 2 units.
    void displaySplit(QPainter& painter, QRectF box, bool splitPoint, bool active);
    void drawCurrentPosition(QPainter& painter);
    void drawOverview(QPainter& painter);
    // Every redraw starts here: the view takes the source's duration and pages to a playhead that moved
    // out of it.
    void prepareView();
    // Zoomed in, the whole source laid out at the view's scale is this wide, and the view starts this far
    // into it; layouts made for the whole source are drawn shifted by −viewOffset().
    double wholeWidth() const;
    double viewOffset() const;
    // The player is ready: hides the spinner unless a subclass waits for more.
    virtual void playerBecameReady();
    bool isReadyToPlay() const;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // A drag scrubs: in video strips the keyframe shows at once and the exact frame follows.
    void seekToTimeForX(double x, bool dragging = false);
    void placeSpinner();
    void moveViewToOverviewX(double x);
    void setViewport(const CWTimelineViewport& viewport);

    struct LayerBox {
        QRectF rect;
        bool active;
        bool splitPoint;
        bool operator==(const LayerBox&) const = default;
    };
    Player* player_ = nullptr;
    std::shared_ptr<CWProject> project_;
    QImage segmentLayer_; // the boxes as last drawn, over transparency
    std::vector<LayerBox> layerBoxes_;
    bool layerDark_ = false;
    PlayerView* playerView_ = nullptr;
    QProgressBar* progressSpinner_;
    QMetaObject::Connection projectConnection_;
    CWTimelineViewport viewport_;
    CMTime followedTime_ = kCMTimeInvalid; // the playhead when the view last checked it
    bool draggingOverview_ = false;
};
