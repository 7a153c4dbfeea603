// Shows a player: the frame on screen scaled to fit with its aspect, black bars around it; an overlay
// area over the picture for content drawn on top of it (the audio document's metadata); a play/pause
// button below; Space toggles playing.
//
// Main thread. The player is not owned; the view lets go of it when it is destroyed.
#pragma once

#include <QWidget>

class Player;
class QToolButton;

class PlayerView : public QWidget {
    Q_OBJECT
public:
    explicit PlayerView(QWidget* parent = nullptr);
    void setPlayer(Player* player);
    Player* player() const { return player_; }
    // Covers the picture area; children added to it are drawn over the video.
    QWidget* overlayArea() const { return overlay_; }
    QToolButton* playPauseButton() const { return button_; }
    // Where the current frame is painted, in the view's coordinates.
    QRect videoRect() const;
    void togglePlaying();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QRect pictureArea() const; // everything above the control bar
    void updateButton();

    Player* player_ = nullptr;
    QWidget* overlay_;
    QToolButton* button_;
};
