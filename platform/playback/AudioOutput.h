// Where the player's sound goes: a device that pulls interleaved 32-bit float samples and says how
// much of them has been heard. The desktop application provides one over Qt Multimedia's QAudioSink;
// tests provide their own. A player without an output, or whose output cannot start (no device),
// keeps time by the system clock instead.
//
// Used on the main thread; the pull callback may be called on the output's own thread.
#pragma once

#include "SampleBuffer.h"

#include <cstdint>
#include <functional>
#include <memory>

class AudioOutput {
public:
    // Copies up to maxBytes of samples into data and returns how many it copied (0: none ready).
    using Pull = std::function<int64_t(char* data, int64_t maxBytes)>;

    virtual ~AudioOutput() = default;
    // The format the output plays a source of the given rate and channel count in (float samples).
    virtual PcmFormat formatFor(int sampleRate, int channelCount) const = 0;
    // The player will play this format: the output may get ready for it now (nothing plays), so a
    // later start() begins without delay. Optional.
    virtual void prepare(const PcmFormat&) {}
    // False when there is no device to play on.
    virtual bool start(const PcmFormat& format, Pull pull) = 0;
    virtual void stop() = 0;
    // Microseconds of sound heard since start().
    virtual int64_t playedMicroseconds() const = 0;
};

using AudioOutputFactory = std::function<std::unique_ptr<AudioOutput>()>;
