#include "ReaderOutput.h"

std::shared_ptr<SampleBuffer> ReaderOutput::copyNextSampleBuffer()
{
    if (status_ != Status::Reading)
        return nullptr;
    if (isCancelled()) {
        status_ = Status::Cancelled;
        return nullptr;
    }
    bool failed = false;
    std::shared_ptr<SampleBuffer> buffer = readNext(&error_, failed);
    if (failed)
        status_ = Status::Failed;
    else if (!buffer)
        status_ = isCancelled() ? Status::Cancelled : Status::Completed;
    return buffer;
}
