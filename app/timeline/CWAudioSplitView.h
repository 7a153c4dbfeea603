// The audio document's strip: the waveform of the whole file behind the segments and the playhead.
// The file's first channel is read once in the background (in chunks of at most 32 MiB of float
// samples, the reader never waiting for the main thread) and reduced on the main thread to one bar per
// two units of the combined width of all screens (CWWaveformAccumulator); the bars are drawn scaled to
// the strip's width, centred vertically, 2H × value / peak high. The computation starts on the first
// redraw once the player is ready; "Generating waveform..." and a progress bar show meanwhile, and
// clicks, scrolls, the timeline keys and the window's edit commands are blocked. A failure is only
// logged; the next redraw tries again. Closing the strip stops the reading.
//
// Zoomed in, each pixel column shows the peak of the bars that fall into its stretch of time. Where
// the whole file's bars are wider than a pixel, the visible stretch (and half a view either side) is
// read again once the view has stood still for a moment, into one bar per pixel column (the mean
// absolute value of its samples, as above, drawn against the same peak); until it arrives, and outside
// it, the whole file's bars are drawn. That reading never blocks input.
//
// Main thread (the readings run on the view's own threads and hand their results over by queued calls;
// destroying the view stops them and waits for them).
#pragma once

#include "CWBaseSplitView.h"

#include <QColor>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <memory>
#include <vector>

class CWWaveformAccumulator;
class QLabel;
class QProgressBar;

class CWAudioSplitView : public CWBaseSplitView {
    Q_OBJECT
public:
    explicit CWAudioSplitView(QWidget* parent = nullptr);
    ~CWAudioSplitView() override;

    bool isGeneratingWaveform() const { return generating_; }
    const std::vector<float>& waveformData() const { return waveformData_; }
    float maxSample() const { return maxSample_; }
    void generateWaveformData();
    bool blocksEditing() const override { return generating_; }
    bool handleKey(QKeyEvent* event) override;

    // The combined width of all screens, never less than 1920 (the width the bars are computed for).
    static double totalScreenWidth();
    QColor waveformColor() const;
    QColor waveformBackgroundColor() const;
    QLabel* progressLabel() const { return progressLabel_; }
    QProgressBar* progressBar() const { return progressBar_; }

    // The bars of a stretch read for a zoomed-in view: bars[i] covers start + i × secondsPerBar onwards.
    struct Detail {
        double start = 0;
        double secondsPerBar = 0;
        std::vector<float> bars;
        double end() const { return start + secondsPerBar * double(bars.size()); }
    };
    const Detail& detail() const { return detail_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void drawWaveform(QPainter& painter);
    void playerBecameReady() override {} // the progress display stays until the waveform is there
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void drawZoomedWaveform(QPainter& painter);
    // Reads the stretch the view needs when neither the whole file's bars nor the detail in hand or
    // on its way serve it.
    void requestDetail();

    void showProgressDisplay();
    void hideProgressDisplay();
    void setGenerating(bool generating);

    bool generating_ = false;
    std::vector<float> waveformData_;
    float maxSample_ = 0.0f;
    std::unique_ptr<CWWaveformAccumulator> accumulator_;
    std::shared_ptr<std::atomic<bool>> cancel_; // the running reader's stop flag
    Detail detail_;
    Detail detailComing_; // start and bar length of the stretch being read; no bars
    std::shared_ptr<std::atomic<bool>> detailCancel_;
    QTimer detailTimer_; // a view that stood still this long reads its stretch
    QLabel* progressLabel_;
    QProgressBar* progressBar_;
    // The readers' threads; destroyed first, it waits for them (their stop flags set, each ends at its
    // next chunk).
    QThreadPool readers_;
};
