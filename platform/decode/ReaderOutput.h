// One output of a composition reader: pulled for its next buffer by one thread at a time. An output
// ends with a null buffer: at the end of the composition (status Completed), on failure (Failed, with
// the error) or after the reader was cancelled (Cancelled). Each output reads the file with its own
// demuxer, so outputs pulled on different threads never wait for each other.
#pragma once

#include "Error.h"
#include "SampleBuffer.h"

#include <atomic>
#include <memory>

class ReaderOutput {
public:
    enum class Status { Unknown, Reading, Completed, Failed, Cancelled };

    virtual ~ReaderOutput() = default;
    virtual bool start(Error* error) = 0;
    std::shared_ptr<SampleBuffer> copyNextSampleBuffer();

    Status status() const { return status_; }
    const Error& error() const { return error_; }
    void setCancelFlag(std::shared_ptr<const std::atomic<bool>> cancelled) { cancelled_ = std::move(cancelled); }

protected:
    // Sets next to the next buffer, or to null at the end; false on failure, with the error set.
    virtual bool readNext(std::shared_ptr<SampleBuffer>& next, Error* error) = 0;
    bool isCancelled() const { return cancelled_ && cancelled_->load(); }

private:
    std::atomic<Status> status_{Status::Reading};
    Error error_;
    std::shared_ptr<const std::atomic<bool>> cancelled_;
};
