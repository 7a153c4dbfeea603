#include "QtAudioOutput.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
// Hands the mix to the sink. Where the mix has nothing ready it hands out silence, and the same length
// of the mix is skipped once it comes: the sink's clock counts that silence as played, so the sound
// must stay where the clock says it is (else a stall at the start would leave the sound behind the
// pictures for good).
class PullDevice : public QIODevice {
public:
    explicit PullDevice(AudioOutput::Pull pull, int frameBytes) : pull_(std::move(pull)), frameBytes_(frameBytes) {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return 1 << 16; }

protected:
    qint64 readData(char* data, qint64 maxBytes) override
    {
        maxBytes = maxBytes / frameBytes_ * frameBytes_;
        while (owed_ > 0) {
            scratch_.resize(size_t(std::min<int64_t>(owed_, 1 << 16)));
            const int64_t skipped = pull_(scratch_.data(), int64_t(scratch_.size()));
            if (skipped <= 0)
                break;
            owed_ -= skipped;
        }
        const qint64 got = owed_ > 0 ? 0 : pull_(data, maxBytes);
        memset(data + got, 0, size_t(maxBytes - got));
        owed_ += maxBytes - got;
        return maxBytes;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    AudioOutput::Pull pull_;
    int frameBytes_;
    int64_t owed_ = 0; // bytes of the mix still to skip
    std::vector<char> scratch_;
};
// Float samples at the format's rate and channel count: what the mix hands over.
QAudioFormat floatFormat(int sampleRate, int channelCount)
{
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(channelCount);
    format.setSampleFormat(QAudioFormat::Float);
    return format;
}
} // namespace

QtAudioOutput::QtAudioOutput() = default;

QtAudioOutput::~QtAudioOutput()
{
    stop();
    if (standby_)
        standby_->stop();
}

void QtAudioOutput::prepare(const PcmFormat& format)
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return;
    const QAudioFormat wanted = floatFormat(format.sampleRate, format.channelCount);
    if (standby_ && standby_->format() == wanted)
        return;
    if (standby_)
        standby_->stop();
    standby_ = std::make_unique<QAudioSink>(device, wanted);
    standbySource_ = std::make_unique<PullDevice>([](char*, int64_t) { return int64_t(0); }, format.bytesPerFrame()); // silence
    standbySource_->open(QIODevice::ReadOnly);
    standby_->start(standbySource_.get());
    standby_->suspend();
    if (standby_->error() != QAudio::NoError)
        standby_.reset();
}

PcmFormat QtAudioOutput::formatFor(int sampleRate, int channelCount) const
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    QAudioFormat format = floatFormat(sampleRate, channelCount);
    if (!device.isNull() && !device.isFormatSupported(format)) {
        // The device's own rate and channels; the mix converts to them.
        const QAudioFormat preferred = device.preferredFormat();
        format.setSampleRate(preferred.sampleRate());
        format.setChannelCount(std::min(channelCount, preferred.channelCount()));
    }
    return PcmFormat{format.sampleRate(), format.channelCount(), 0, PcmFormat::Sample::Float32};
}

bool QtAudioOutput::start(const PcmFormat& format, Pull pull)
{
    stop();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return false;
    format_ = floatFormat(format.sampleRate, format.channelCount);
    sink_ = std::make_unique<QAudioSink>(device, format_);
    source_ = std::make_unique<PullDevice>(std::move(pull), format.bytesPerFrame());
    source_->open(QIODevice::ReadOnly);
    sink_->start(source_.get());
    if (sink_->error() != QAudio::NoError) {
        stop();
        return false;
    }
    return true;
}

void QtAudioOutput::stop()
{
    if (sink_)
        sink_->stop();
    sink_.reset();
    source_.reset();
    lastReport_ = -1;
}

int64_t QtAudioOutput::playedMicroseconds() const
{
    if (!sink_)
        return 0;
    const int64_t reported = std::max<int64_t>(sink_->processedUSecs(), 0);
    if (reported != lastReport_) {
        lastReport_ = reported;
        sinceReport_.start();
    }
    if (reported == 0)
        return 0; // nothing played yet: the server has not started the stream
    return reported + std::min<int64_t>(sinceReport_.nsecsElapsed() / 1000, kInterpolationLimit);
}
