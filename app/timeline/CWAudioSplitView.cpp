#include "CWAudioSplitView.h"

#include "AudioFile.h"
#include "CWColors.h"
#include "CWProject.h"
#include "CWWaveformAccumulator.h"
#include "Log.h"
#include "MainQueue.h"
#include "MediaAsset.h"
#include "Player.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPaintEvent>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {
constexpr double kLineWidth = 1.0;
constexpr double kSpacing = 1.0;
constexpr int64_t kChunkBytes = 33554432; // 32 MiB of float samples across all channels
} // namespace

CWAudioSplitView::CWAudioSplitView(QWidget* parent)
    : CWBaseSplitView(parent), progressLabel_(new QLabel(tr("Generating waveform..."), this)), progressBar_(new QProgressBar(this))
{
    setObjectName(QStringLiteral("audioSplitView"));
    setAttribute(Qt::WA_OpaquePaintEvent, false); // its background is translucent over the window's
    progressLabel_->setObjectName(QStringLiteral("progressLabel"));
    QFont font = progressLabel_->font();
    font.setPointSize(14);
    progressLabel_->setFont(font);
    QPalette text = progressLabel_->palette();
    text.setColor(QPalette::WindowText, waveformColor());
    progressLabel_->setPalette(text);
    progressLabel_->adjustSize();
    progressBar_->setObjectName(QStringLiteral("progressBar"));
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    progressBar_->setFixedSize(200, 10);
    showProgressDisplay(); // a new strip shows it from the start
    detailTimer_.setSingleShot(true);
    detailTimer_.setInterval(100);
    connect(&detailTimer_, &QTimer::timeout, this, &CWAudioSplitView::requestDetail);
    connect(this, &CWBaseSplitView::viewChanged, &detailTimer_, qOverload<>(&QTimer::start));
}

CWAudioSplitView::~CWAudioSplitView()
{
    for (const auto& cancel : {cancel_, detailCancel_})
        if (cancel)
            cancel->store(true);
}

double CWAudioSplitView::totalScreenWidth()
{
    double width = 0;
    for (const QScreen* screen : QGuiApplication::screens())
        width += screen->geometry().width();
    return std::max(width, 1920.0);
}

QColor CWAudioSplitView::waveformColor() const { return CWColors::waveformForeground(palette()); }

QColor CWAudioSplitView::waveformBackgroundColor() const { return CWColors::waveformBackground(palette()); }

// ---- computing

void CWAudioSplitView::setGenerating(bool generating)
{
    if (generating_ == generating)
        return;
    generating_ = generating;
    emit editingBlockedChanged();
}

void CWAudioSplitView::generateWaveformData()
{
    if (generating_)
        return;
    waveformData_.clear();
    maxSample_ = 0.0f;
    if (!project() || !project()->avAsset())
        return;
    setGenerating(true);
    showProgressDisplay();
    const QString path = project()->avAsset()->path();
    if (path.isEmpty()) {
        CWLog(QStringLiteral("Cannot get URL from AVAsset for AVFAudio processing"));
        setGenerating(false);
        hideProgressDisplay();
        return;
    }
    accumulator_ = std::make_unique<CWWaveformAccumulator>(CWWaveformAccumulator::barCountForWidth(totalScreenWidth()));
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancel;
    QPointer<CWAudioSplitView> self(this);
    const auto finish = [self, cancel](std::optional<Error> error) {
        MainQueue::async([self, cancel, error] {
            if (!self || cancel->load())
                return;
            self->setGenerating(false);
            self->hideProgressDisplay();
            if (error) {
                CWLog(QStringLiteral("Error processing audio: %1").arg(error->describe()));
                self->accumulator_.reset();
                return;
            }
            self->accumulator_->finish();
            self->maxSample_ = self->accumulator_->maxSample();
            self->waveformData_ = self->accumulator_->bars();
            self->accumulator_.reset();
            self->detailTimer_.start(); // a view zoomed in meanwhile reads its stretch
            self->update();
        });
    };
    // Qt's queue hands each chunk to the main thread, but ThreadSanitizer cannot see into Qt; without a
    // lock it sees, it would take every sample of a long file for a race of its own and check each one
    // against all the others (for a minute of sound, longer than any test may run).
    auto handover = std::make_shared<std::mutex>();
    readers_.start([self, cancel, path, finish, handover] {
        Error error;
        std::unique_ptr<AudioFile> file = AudioFile::openForReading(path, &error);
        if (!file) {
            CWLog(QStringLiteral("Error reading audio file: %1").arg(error.describe()));
            return finish(error);
        }
        const int64_t length = file->length();
        const int channels = std::max(1, file->channelCount());
        const int64_t chunkFrames = kChunkBytes / (4 * channels);
        std::vector<float> interleaved;
        for (int64_t position = 0; position < length && !cancel->load();) {
            const int64_t frames = file->read(interleaved, std::min(length - position, chunkFrames), &error);
            if (frames < 0) {
                CWLog(QStringLiteral("Error reading chunk at position %1: %2").arg(position).arg(error.describe()));
                return finish(error);
            }
            if (frames == 0)
                break; // the track ends before its stated length; what was read is the waveform
            // Only the first channel is handed over.
            auto first = std::make_shared<std::vector<float>>(size_t(frames));
            {
                std::lock_guard lock(*handover);
                for (int64_t i = 0; i < frames; ++i)
                    (*first)[size_t(i)] = interleaved[size_t(i * channels)];
            }
            position += frames;
            const double progress = double(position) / double(length) * 100.0;
            MainQueue::async([self, cancel, first, progress, handover] {
                if (!self || cancel->load() || !self->accumulator_)
                    return;
                self->progressBar_->setValue(int(progress));
                std::lock_guard lock(*handover);
                self->accumulator_->addChunk(first->data(), int64_t(first->size()), progress);
            });
        }
        finish(std::nullopt);
    });
}

void CWAudioSplitView::requestDetail()
{
    if (!isReadyToPlay() || !isZoomed() || generating_ || waveformData_.empty() || !project() || !project()->avAsset())
        return;
    const CWTimelineViewport& view = viewport();
    const double columns = std::ceil(width() * devicePixelRatioF());
    const double wanted = view.span() / columns; // seconds per pixel column
    if ((kLineWidth + kSpacing) / totalScreenWidth() * view.duration() <= wanted)
        return; // the whole file's bars are fine enough
    const auto serves = [&](const Detail& detail) {
        return detail.secondsPerBar > 0 && detail.start <= view.start() && detail.end() >= std::min(view.end(), view.duration() - wanted) &&
               detail.secondsPerBar <= wanted * 1.5 && detail.secondsPerBar >= wanted / 1.5;
    };
    if (serves(detail_) || serves(detailComing_))
        return;
    const auto tracks = project()->avAsset()->tracksWithMediaType(MediaType::Audio);
    const int32_t rate = tracks.empty() ? 0 : tracks.front().sampleRate;
    if (rate <= 0)
        return;
    if (detailCancel_)
        detailCancel_->store(true);
    const double start = std::max(0.0, view.start() - view.span() / 2);
    const double end = std::min(view.duration(), view.end() + view.span() / 2);
    const QString path = project()->avAsset()->path();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    detailCancel_ = cancel;
    QPointer<CWAudioSplitView> self(this);
    // Counted in samples, so bar i starts exactly i × perBar samples into the range.
    const int64_t perBar = std::max<int64_t>(1, std::llround(wanted * rate));
    const CMTimeRange range = CMTimeRangeFromTimeToTime(CMTimeMakeWithSeconds(start, rate), CMTimeMakeWithSeconds(end, rate));
    detailComing_ = Detail{CMTimeGetSeconds(range.start), double(perBar) / rate, {}};
    readers_.start([self, cancel, path, range, perBar, detail = detailComing_]() mutable {
        Error error;
        std::unique_ptr<AudioFile> file = AudioFile::openForReading(path, range, &error);
        const int channels = file ? std::max(1, file->channelCount()) : 1;
        std::vector<float> interleaved;
        double sum = 0;
        int64_t inBar = 0;
        while (file && !cancel->load()) {
            const int64_t frames = file->read(interleaved, 1 << 16, &error);
            if (frames < 0)
                file.reset();
            if (frames <= 0)
                break;
            for (int64_t i = 0; i < frames; ++i) {
                sum += std::abs(interleaved[size_t(i * channels)]);
                if (++inBar == perBar) {
                    detail.bars.push_back(float(sum / double(perBar)));
                    sum = 0;
                    inBar = 0;
                }
            }
        }
        if (inBar > 0)
            detail.bars.push_back(float(sum / double(inBar)));
        if (!file && !cancel->load())
            CWLog(QStringLiteral("Error reading the waveform's detail: %1").arg(error.describe()));
        MainQueue::async([self, cancel, detail = std::move(detail), failed = !file] {
            if (!self || cancel->load())
                return;
            self->detailComing_ = Detail{};
            if (failed)
                return;
            self->detail_ = detail;
            self->update();
        });
    });
}

// ---- drawing

void CWAudioSplitView::paintEvent(QPaintEvent* event)
{
    prepareView();
    QPainter painter(this);
    painter.fillRect(event->rect(), waveformBackgroundColor());
    if (!isReadyToPlay())
        return;
    drawWaveform(painter);
    if (waveformData_.empty() || generating_)
        return;
    drawSplits(painter);
    drawCurrentPosition(painter);
    drawOverview(painter);
}

void CWAudioSplitView::drawWaveform(QPainter& painter)
{
    if (waveformData_.empty()) {
        if (!generating_)
            generateWaveformData();
        return;
    }
    if (isZoomed()) {
        drawZoomedWaveform(painter);
        return;
    }
    const double w = width(), h = height();
    const double r = w / totalScreenWidth();
    const auto barHeight = [&](float value) { return maxSample_ > 0 ? 2 * h * double(value) / double(maxSample_) : 0.0; };
    const double ratio = devicePixelRatioF();
    if (kLineWidth * r * ratio >= 1.0) {
        // Bars at least a pixel wide: each drawn where it lies, the spacing between them showing.
        for (size_t i = 0; i < waveformData_.size(); ++i) {
            const double x = r * (kLineWidth + kSpacing) * double(i);
            if (x + kLineWidth * r > w)
                break;
            const double height = barHeight(waveformData_[i]);
            painter.fillRect(QRectF(x, h / 2 - height / 2, kLineWidth * r, height), waveformColor());
        }
        return;
    }
    // Narrower bars would fall between pixels: each pixel column shows the peak of the bars whose
    // stretch (bar and spacing) lies in it, so a steady sound draws a steady band at any width.
    const double pitch = r * (kLineWidth + kSpacing) * ratio; // device pixels a bar's stretch takes
    const size_t bars = std::min(waveformData_.size(), size_t(std::floor(w * ratio / pitch)));
    const int columns = int(std::ceil(double(bars) * pitch));
    for (int column = 0; column < columns; ++column) {
        const size_t first = size_t(std::floor(column / pitch));
        const size_t last = std::min(bars, size_t(std::ceil((column + 1) / pitch)));
        float peak = 0;
        for (size_t i = first; i < last; ++i)
            peak = std::max(peak, waveformData_[i]);
        const double height = barHeight(peak);
        painter.fillRect(QRectF(column / ratio, h / 2 - height / 2, 1 / ratio, height), waveformColor());
    }
}

void CWAudioSplitView::drawZoomedWaveform(QPainter& painter)
{
    const CWTimelineViewport& view = viewport();
    const double h = height(), ratio = devicePixelRatioF(), w = width();
    // Bar i of the whole file stands for the stretch its bar and spacing take zoomed out.
    const double wholeBar = (kLineWidth + kSpacing) / totalScreenWidth() * view.duration();
    const auto peak = [](const std::vector<float>& bars, double first, double last) {
        float value = 0;
        const size_t from = size_t(std::max(0.0, std::floor(first)));
        const size_t to = std::min(bars.size(), size_t(std::max(0.0, std::ceil(last))));
        for (size_t i = from; i < to; ++i)
            value = std::max(value, bars[i]);
        return value;
    };
    const int columns = int(std::ceil(w * ratio));
    for (int column = 0; column < columns; ++column) {
        const double from = view.secondsForX(column / ratio, w), to = view.secondsForX((column + 1) / ratio, w);
        if (from >= view.duration())
            break;
        const bool detailed = detail_.secondsPerBar > 0 && from >= detail_.start && std::min(to, view.duration()) <= detail_.end();
        const float value =
            detailed ? peak(detail_.bars, (from - detail_.start) / detail_.secondsPerBar, (to - detail_.start) / detail_.secondsPerBar)
                     : peak(waveformData_, from / wholeBar, to / wholeBar);
        const double height = maxSample_ > 0 ? 2 * h * double(value) / double(maxSample_) : 0.0;
        painter.fillRect(QRectF(column / ratio, h / 2 - height / 2, 1 / ratio, height), waveformColor());
    }
}

// ---- progress display and guards

void CWAudioSplitView::showProgressDisplay()
{
    hideProgressSpinner();
    progressLabel_->show();
    progressBar_->show();
}

void CWAudioSplitView::hideProgressDisplay()
{
    hideProgressSpinner();
    progressLabel_->hide();
    progressBar_->hide();
}

void CWAudioSplitView::resizeEvent(QResizeEvent* event)
{
    CWBaseSplitView::resizeEvent(event);
    // The label's centre 15 units above the strip's, the bar 8 units under the label, both centred.
    const int labelTop = height() / 2 - 15 - progressLabel_->height() / 2;
    progressLabel_->move((width() - progressLabel_->width()) / 2, labelTop);
    progressBar_->move((width() - progressBar_->width()) / 2, labelTop + progressLabel_->height() + 8);
    if (isZoomed())
        detailTimer_.start();
}

void CWAudioSplitView::mousePressEvent(QMouseEvent* event)
{
    if (!generating_)
        CWBaseSplitView::mousePressEvent(event);
}

void CWAudioSplitView::mouseMoveEvent(QMouseEvent* event)
{
    if (!generating_)
        CWBaseSplitView::mouseMoveEvent(event);
}

void CWAudioSplitView::wheelEvent(QWheelEvent* event)
{
    if (!generating_)
        CWBaseSplitView::wheelEvent(event);
}

bool CWAudioSplitView::handleKey(QKeyEvent* event) { return generating_ ? false : CWBaseSplitView::handleKey(event); }
