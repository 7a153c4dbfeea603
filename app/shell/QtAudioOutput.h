// The player's sound through Qt Multimedia: a QAudioSink on the default output device in pull mode,
// fed from the player's mix by a small QIODevice. When the mix has nothing ready (at a seek, or a
// stall) it plays silence rather than stopping, so the sink's clock, which drives the pictures, runs on.
// No device, or a sink that will not start, makes start() answer false (the player then keeps time by
// the system clock).
//
// The time heard is the sink's processed time: measured against what reaches a PulseAudio sink, it is
// the position being played (less the sink's own buffer it would lag by that buffer, 145 ms by
// default). The server reports it in steps some 30–100 ms apart; between reports the time runs on by
// the system clock, never more than kInterpolationLimit past the last report (so a stalled server
// holds the clock within that).
//
// Main thread; QAudioSink pulls on the thread that started it.
#pragma once

#include "AudioOutput.h"

#include <QAudioFormat>
#include <QElapsedTimer>

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

    static constexpr int64_t kInterpolationLimit = 100000; // microseconds

private:
    std::unique_ptr<QAudioSink> sink_;
    std::unique_ptr<QIODevice> source_;
    QAudioFormat format_;
    mutable int64_t lastReport_ = -1;
    mutable QElapsedTimer sinceReport_;
};
