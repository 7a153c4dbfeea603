// What the audio document shows where a video would be: the file's title (else its name without
// extension), "Artist: …" and "Album: …" (each hidden when empty) and the cover art, scaled down
// proportionally and centred, over the waveform background colour; without cover art a 400 × 300 image
// of that colour fills the area. The tags are read on a thread of the overlay's own (a later item of a
// kind wins over an earlier one) and shown when they arrive; the overlay waits for that read when destroyed.
//
// Main thread. A child of the player view's overlay area, filling it, for the life of the window.
#pragma once

#include <QImage>
#include <QThreadPool>
#include <QWidget>

class PlayerView;
class QLabel;

class CWAudioMetadataOverlay : public QWidget {
    Q_OBJECT
public:
    static CWAudioMetadataOverlay* overlayForPlayerView(PlayerView* playerView, const QString& path);

    void showWithAutoHide(bool autoHide);
    void hide();
    bool isShown() const { return visible_; }
    // Whether the tags have been read and shown.
    bool hasLoaded() const { return loaded_; }
    const QString& mediaTitle() const { return title_; }
    const QImage& mediaCoverArt() const { return coverArt_; }
    QLabel* mediaTitleLabel() const { return titleLabel_; }
    QLabel* mediaArtistLabel() const { return artistLabel_; }
    QLabel* mediaAlbumLabel() const { return albumLabel_; }
    static QImage generateBackgroundImageForFilename(const QString& filename, const QPalette& palette);

signals:
    void metadataLoaded();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CWAudioMetadataOverlay(PlayerView* playerView, const QString& path);
    void loadMetadataFromURL(const QString& path);
    void updateDisplay();

    QString filename_, title_, album_, artist_;
    QImage coverArt_;
    QImage background_;
    QLabel* titleLabel_;
    QLabel* artistLabel_;
    QLabel* albumLabel_;
    bool visible_ = false;
    bool loaded_ = false;
    QThreadPool loader_; // reads the tags; destroyed first, it waits for the read
};
