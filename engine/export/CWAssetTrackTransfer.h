// Pumps the buffers of one reader output into one writer input on a worker of its own ("Export-Queue"):
// while the input is ready, take the next buffer and process it (audio and copied tracks: append as
// it is; video: encode, then append what the encoder emits). At the end of the output the transfer
// finishes (flushing an encoder) and marks the input finished. A refused append or a reading failure
// ends the transfer as failed with the error. The completion block runs once, on the main thread.
#pragma once

#include "Composition.h"
#include "Error.h"
#include "MediaWriter.h"
#include "ReaderOutput.h"
#include "SerialQueue.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class CWAssetTrackTransfer : public std::enable_shared_from_this<CWAssetTrackTransfer> {
public:
    // (cancelled, error): error is set when the transfer failed.
    using Completion = std::function<void(bool cancelled, const std::optional<Error>& error)>;

    CWAssetTrackTransfer(std::shared_ptr<ReaderOutput> output, WriterInput* input, int32_t trackID);
    virtual ~CWAssetTrackTransfer();

    void startAsyncTransfer(Completion completion);
    // Stops at the next buffer; the completion then reports cancelled.
    void cancelTransfer() { cancelled_ = true; }
    bool isComplete() const { return complete_; }
    // A copying transfer made before its codec was known gets its writer input now.
    void connectInputIfMissing(MediaWriter& writer);
    QString description() const;

protected:
    // Where each buffer goes and what ends the track: the writer input as it is, by default.
    virtual bool processSampleBuffer(SampleBuffer& buffer, Error* error) { return input_->append(buffer, error); }
    virtual bool finishTransfer(Error* error) { return input_->markAsFinished(error); }

    std::shared_ptr<ReaderOutput> output_;
    WriterInput* input_;

private:
    void transferBuffers();
    void notifyTransferComplete(bool cancelled, std::optional<Error> error);

    int32_t trackID_;
    std::atomic<bool> complete_{false};
    std::atomic<bool> cancelled_{false};
    std::atomic<uint64_t> samplesRead_{0}, samplesWritten_{0};
    Completion completion_;
    std::unique_ptr<SerialQueue> queue_;
};
