#include "CWAssetTrackTransfer.h"

#include "BufferPump.h"
#include "CopiedTrackInput.h"
#include "InterleavedTransfer.h"
#include "MainQueue.h"

CWAssetTrackTransfer::CWAssetTrackTransfer(std::shared_ptr<ReaderOutput> output, WriterInput* input, int32_t trackID)
    : output_(std::move(output)), input_(input), trackID_(trackID)
{
}

CWAssetTrackTransfer::~CWAssetTrackTransfer() { cancelled_ = true; }

void CWAssetTrackTransfer::startAsyncTransfer(Completion completion)
{
    completion_ = std::move(completion);
    queue_ = std::make_unique<SerialQueue>(QStringLiteral("Export-Queue"));
    queue_->async([self = shared_from_this()]() mutable {
        self->transferBuffers();
        // The last reference goes back to the main thread: a transfer never ends on its own worker.
        MainQueue::async([done = std::move(self)] {});
    });
}

QString CWAssetTrackTransfer::description() const
{
    return QStringLiteral("Track-Transfer[%1] \tread: %2 \twritten: %3").arg(trackID_).arg(samplesRead_.load()).arg(samplesWritten_.load());
}

void CWAssetTrackTransfer::connectInputIfMissing(MediaWriter& writer)
{
    if (!input_)
        input_ = CopiedTrackInput::add(writer, *output_);
}

void CWAssetTrackTransfer::transferBuffers()
{
    BufferPump pump(
        *output_,
        [this](SampleBuffer& buffer, Error* error) {
            ++samplesRead_;
            if (!processSampleBuffer(buffer, error))
                return false;
            ++samplesWritten_;
            return true;
        },
        [this](Error* error) { return finishTransfer(error); });
    std::vector<std::pair<BufferPump, WriterInput*>> pumps;
    pumps.emplace_back(std::move(pump), input_);
    Error error;
    switch (transferInterleaved(pumps, cancelled_, {}, &error)) {
    case TransferEnd::Finished:
        return notifyTransferComplete(false, std::nullopt);
    case TransferEnd::Cancelled:
        return notifyTransferComplete(true, std::nullopt);
    case TransferEnd::Failed:
        // A failure after cancellation is the cancellation's doing.
        return notifyTransferComplete(cancelled_.load(), cancelled_ ? std::nullopt : std::optional<Error>(error));
    }
}

void CWAssetTrackTransfer::notifyTransferComplete(bool cancelled, std::optional<Error> error)
{
    complete_ = true;
    auto self = shared_from_this();
    MainQueue::async([self, cancelled, error] {
        if (self->completion_)
            self->completion_(cancelled, error);
    });
}
