#include "ReaderOutput.h"

std::shared_ptr<SampleBuffer> ReaderOutput::copyNextSampleBuffer()
{
    if (status_ != Status::Reading)
        return nullptr;
    if (isCancelled()) {
        status_ = Status::Cancelled;
        return nullptr;
    }
    std::shared_ptr<SampleBuffer> buffer;
    if (!readNext(buffer, &error_))
        status_ = Status::Failed;
    else if (!buffer)
        status_ = isCancelled() ? Status::Cancelled : Status::Completed;
    return buffer;
}
