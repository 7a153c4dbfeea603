// The player's sound through Qt Multimedia: a QAudioSink on the default output device in pull mode,
// fed from the player's mix by a small QIODevice. When the mix has nothing ready (at a seek, or a
// stall) it plays silence rather than stopping, so the sink's clock, which drives the pictures, runs on;
// as much of the mix is skipped when it comes, so the sound stays at the clock's time.
// No device, or a sink that will not start, makes start() answer false (the player then keeps time by
// the system clock).
//
// The time heard is the sink's processed time: measured against what reaches a PulseAudio sink, it is
// the position being played (less the sink's own buffer it would lag by that buffer, 145 ms by
// default). The server reports it in steps some 30–100 ms apart; between reports the time runs on by
// the system clock, never more than kInterpolationLimit past the last report (so a stalled server
// holds the clock within that).
//
// An audio server's sink with no streams may sleep for its longest latency before it notices a new
// one: PulseAudio's null sink played 140 ms of a new stream and then waited 1–1.9 s. prepare() (when
// the player is ready) therefore opens a standby stream in the player's format and pauses it at once;
// held open while the output lives, it keeps the sink's latency at ours, and a stream started later
// plays at once (measured: 0.35–0.39 s to play 0.3 s, against 1.2–2.3 s without). A paused stream
// plays nothing and does not keep an idle sink from being suspended.
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
    void prepare(const PcmFormat& format) override;
    bool start(const PcmFormat& format, Pull pull) override;
    void stop() override;
    int64_t playedMicroseconds() const override;

    static constexpr int64_t kInterpolationLimit = 100000; // microseconds

private:
    std::unique_ptr<QAudioSink> sink_;
    std::unique_ptr<QIODevice> source_;
    std::unique_ptr<QIODevice> standbySource_; // destroyed after its sink
    std::unique_ptr<QAudioSink> standby_;
    QAudioFormat format_;
    mutable int64_t lastReport_ = -1;
    mutable QElapsedTimer sinceReport_;
};
