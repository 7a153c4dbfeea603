// Moves the buffers of one reader output into a sink, one step at a time: each step pulls the next
// buffer and hands it to the sink; at the end of the output it calls the finisher (an encoder's drain,
// an input's markAsFinished) once. The caller decides when to step (when its writer input is ready)
// and checks its own cancellation between steps. This is the one place that tells a reader's end from
// its failure and its cancellation.
//
// One thread at a time; the output and the callbacks outlive the pump. Failed carries the error of the
// reader, the sink or the finisher.
#pragma once

#include "CMTime.h"
#include "Error.h"

#include <functional>

class ReaderOutput;
class SampleBuffer;

class BufferPump {
public:
    enum class Step { Moved, Finished, Failed, Cancelled };
    using Sink = std::function<bool(SampleBuffer& buffer, Error* error)>;
    using Finisher = std::function<bool(Error* error)>;

    BufferPump(ReaderOutput& output, Sink sink, Finisher finisher = {});
    Step step(Error* error);
    bool isDone() const { return done_; }
    // The end of the last buffer moved (composition time); zero before the first.
    CMTime reachedTime() const { return reached_; }

private:
    ReaderOutput& output_;
    Sink sink_;
    Finisher finisher_;
    CMTime reached_ = kCMTimeZero;
    bool done_ = false;
};
