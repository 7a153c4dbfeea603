// The timeline strip under the player: the whole source from its start (left edge) to its end (right
// edge), never zoomed, with the project's excluded segments as hatched rounded boxes and the playhead
// at the player's current time. A click or drag seeks there exactly (a drag over video showing the
// keyframe before each spot until its exact frame is decoded), a horizontal scroll (or Shift with
// the wheel) scrubs, and the keys "x" (split), "a" (cut), "s" (remove cut) and the arrows (±1/30 s) edit
// and step at the playhead; with Ctrl held the keys are left to the menus. A busy indicator shows until
// the player is ready (the audio and video strips keep it until their background is ready).
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

    // x(t) = seconds(t) / seconds(D) × W; 0 without a player or a valid duration.
    double timeToPixel(CMTime time) const;
    // The time at x in the duration's timescale; zero without a player or a valid duration.
    CMTime pixelToTime(double x) const;

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

protected:
    virtual void drawBackground(QPainter& painter);
    void drawSplits(QPainter& painter);
    // One segment's box; a split point (a segment of no length) is widened to 2 units.
    void displaySplit(QPainter& painter, QRectF box, bool splitPoint, bool active);
    void drawCurrentPosition(QPainter& painter);
    // The player is ready: hides the spinner unless a subclass waits for more.
    virtual void playerBecameReady();
    bool isReadyToPlay() const;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // A drag scrubs: in video strips the keyframe shows at once and the exact frame follows.
    void seekToTimeForX(double x, bool dragging = false);
    void placeSpinner();

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
};
