#include "BufferPump.h"

#include "ReaderOutput.h"

BufferPump::BufferPump(ReaderOutput& output, Sink sink, Finisher finisher)
    : output_(output), sink_(std::move(sink)), finisher_(std::move(finisher))
{
}

BufferPump::Step BufferPump::step(Error* error)
{
    if (done_)
        return Step::Finished;
    const std::shared_ptr<SampleBuffer> buffer = output_.copyNextSampleBuffer();
    if (!buffer) {
        done_ = true;
        switch (output_.status()) {
        case ReaderOutput::Status::Failed:
            setError(error, output_.error());
            return Step::Failed;
        case ReaderOutput::Status::Cancelled:
            return Step::Cancelled;
        default:
            return !finisher_ || finisher_(error) ? Step::Finished : Step::Failed;
        }
    }
    if (!sink_(*buffer, error)) {
        done_ = true;
        return Step::Failed;
    }
    if (CMTIME_IS_NUMERIC(buffer->presentationTime))
        reached_ = CMTIME_IS_NUMERIC(buffer->duration) ? CMTimeAdd(buffer->presentationTime, buffer->duration) : buffer->presentationTime;
    return Step::Moved;
}
