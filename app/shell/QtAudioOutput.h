// The player's sound through Qt Multimedia: a QAudioSink on the default output device in pull mode,
// fed from the player's mix by a small QIODevice. When the mix has nothing ready (at a seek, or a
// stall) it plays silence rather than stopping, so the sink's clock, which drives the pictures, runs on.
// No device, or a sink that will not start, makes start() answer false (the player then keeps time by
// the system clock).
//
// Main thread; QAudioSink pulls on the thread that started it.
#pragma once

#include "AudioOutput.h"

#include <QAudioFormat>

#include <memory>

class QAudioSink;
class QIODevice;

class QtAudioOutput : public AudioOutput {
public:
    QtAudioOutput();
    ~QtAudioOutput() override;
    PcmFormat formatFor(int sampleRate, int channelCount) const override;
    bool start(const PcmFormat& format, Pull pull) override;
    void stop() override;
    int64_t playedMicroseconds() const override;

private:
    std::unique_ptr<QAudioSink> sink_;
    std::unique_ptr<QIODevice> source_;
    QAudioFormat format_;
};
