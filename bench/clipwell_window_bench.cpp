// The editing window measured in-process, for bench/window.sh:
//   open FILE            ms from the start of the program to the window showing the first frame, and to
//                        the project's 30 timeline thumbnails
//   repaint FILE N       median ms of N repaints of a 1920 × 120 strip with 50 segments, as while
//                        playing and with the segments drawn again
//   play FILE SECONDS    frames shown and dropped while playing with the strip redrawn every 0.1 s, and
//                        the median ms of the strip's repaints at 1920 × 120 meanwhile
//   waveform FILE        ms until an audio strip's bars are finished, and the longest the main thread
//                        went without running a 5 ms timer meanwhile
// Runs on the display the script provides (Xvfb), without sound (the system clock drives playback).
#include "CWAudioSplitView.h"
#include "CWBaseDocument.h"
#include "CWBaseSplitView.h"
#include "CWDocumentController.h"
#include "CWDocumentWindowController.h"
#include "CWExcludedSegment.h"
#include "CWPreset.h"
#include "CWProject.h"
#include "Player.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

CWDocumentWindowController* openWindow(CWDocumentController& controller, const QString& path)
{
    Error error;
    CWBaseDocument* document = controller.openDocumentWithContentsOfURL(path, &error);
    if (!document) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(path), qPrintable(error.describe()));
        return nullptr;
    }
    return document->windowControllers().front();
}

} // namespace

int main(int argc, char** argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("clipwell_window_bench"));
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3)
        return 2;
    CWPreset::registerStandardPresets();
    CWDocumentController controller;
    controller.setQuitHandler([] {});
    const QString command = arguments[1];
    CWDocumentWindowController* window = openWindow(controller, arguments[2]);
    if (!window)
        return 1;
    Player* player = window->player();

    if (command == QLatin1String("open")) {
        if (!waitUntil([&] { return window->isVisible() && !player->currentFrame().image.isNull(); }, 60000))
            return 1;
        const qint64 shown = sinceStart.elapsed();
        const bool complete = waitUntil([&] { return window->project()->thumbnails().size() >= 30; }, 60000);
        std::printf("open %lld thumbnails %lld%s\n", static_cast<long long>(shown), static_cast<long long>(sinceStart.elapsed()),
                    complete ? "" : " (incomplete)");
        return 0;
    }
    if (!waitUntil([&] { return player->status() == Player::Status::ReadyToPlay; }, 60000))
        return 1;
    if (command == QLatin1String("repaint")) {
        const double seconds = CMTimeGetSeconds(window->project()->duration());
        const int segments = arguments.value(4, QStringLiteral("50")).toInt();
        for (int i = 0; i < segments; ++i) {
            const double start = seconds * (i + 0.2) / 50;
            window->project()->addSplit(
                CWExcludedSegment::startingAt(CMTimeMakeWithSeconds(start, 600), CMTimeMakeWithSeconds(start + seconds * 0.5 / 50, 600)));
        }
        CWBaseSplitView* strip = window->splitView();
        strip->setFixedSize(1920, 120);
        QImage canvas(1920, 120, QImage::Format_ARGB32_Premultiplied);
        std::vector<double> times;
        const int count = arguments.value(3, QStringLiteral("200")).toInt();
        for (int i = 0; i < count; ++i) {
            QElapsedTimer timer;
            timer.start();
            strip->render(&canvas);
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        // The same with the boxes drawn again each time (the strip's width alternates by a pixel), as
        // after an edit or when the playhead enters or leaves a segment.
        std::vector<double> redrawn;
        for (int i = 0; i < count; ++i) {
            strip->setFixedSize(1920 - i % 2, 120);
            QElapsedTimer timer;
            timer.start();
            strip->render(&canvas);
            redrawn.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::sort(redrawn.begin(), redrawn.end());
        std::printf("repaint %.3f redrawn %.3f\n", times[times.size() / 2], redrawn[redrawn.size() / 2]);
        return 0;
    }
    if (command == QLatin1String("waveform")) {
        auto* strip = qobject_cast<CWAudioSplitView*>(window->splitView());
        if (!strip)
            return 1;
        QElapsedTimer probe;
        qint64 longest = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { longest = std::max(longest, probe.restart()); });
        QElapsedTimer timer;
        timer.start();
        if (strip->waveformData().empty() && !strip->isGeneratingWaveform())
            strip->generateWaveformData();
        probe.start();
        ticker.start(5);
        waitUntil([&] { return !strip->isGeneratingWaveform(); }, 600000);
        std::printf("waveform %lld bars %zu stall %lld\n", static_cast<long long>(timer.elapsed()), strip->waveformData().size(),
                    static_cast<long long>(longest));
        return strip->waveformData().empty() ? 1 : 0;
    }
    if (command == QLatin1String("play")) {
        const int seconds = arguments.value(3, QStringLiteral("30")).toInt();
        window->show();
        int frames = 0;
        QObject::connect(player, &Player::frameChanged, [&] { ++frames; });
        CWBaseSplitView* strip = window->splitView();
        strip->setFixedSize(1920, 120);
        window->resize(1960, 700);
        std::vector<double> repaints;
        QTimer painter;
        QObject::connect(&painter, &QTimer::timeout, [&] {
            QElapsedTimer timed;
            timed.start();
            strip->repaint();
            repaints.push_back(double(timed.nsecsElapsed()) / 1e6);
        });
        painter.start(100);
        player->play();
        QElapsedTimer timer;
        timer.start();
        waitUntil([&] { return timer.elapsed() > seconds * 1000 || player->rate() == 0.0f; }, seconds * 1000 + 5000);
        player->pause();
        std::sort(repaints.begin(), repaints.end());
        std::printf("play shown %d dropped %d repaint %.3f\n", frames, player->droppedFrameCount(),
                    repaints.empty() ? 0.0 : repaints[repaints.size() / 2]);
        return 0;
    }
    return 2;
}
