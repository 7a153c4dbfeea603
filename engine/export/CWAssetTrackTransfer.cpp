#include "CWAssetTrackTransfer.h"

#include "MainQueue.h"
#include "TrackOutput.h"

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
        if (const auto* copied = dynamic_cast<const TrackOutput*>(output_.get()))
            input_ = writer.addPacketInput(*copied);
}

bool CWAssetTrackTransfer::processSampleBuffer(SampleBuffer& buffer, Error* error) { return writeBufferToInput(buffer, error); }

bool CWAssetTrackTransfer::writeBufferToInput(SampleBuffer& buffer, Error* error)
{
    if (!input_->append(buffer, error))
        return false;
    ++samplesWritten_;
    return true;
}

void CWAssetTrackTransfer::transferBuffers()
{
    while (!complete_) {
        if (cancelled_) {
            notifyTransferComplete(true, std::nullopt);
            return;
        }
        if (!input_->waitUntilReady(cancelled_))
            continue; // cancelled, or the writer stopped: the next append says which
        std::shared_ptr<SampleBuffer> buffer = output_->copyNextSampleBuffer();
        Error error;
        if (!buffer) {
            if (output_->status() == ReaderOutput::Status::Cancelled) {
                notifyTransferComplete(true, std::nullopt);
            } else if (output_->status() == ReaderOutput::Status::Failed) {
                notifyTransferComplete(false, output_->error());
            } else if (!finishTransfer(&error) || !input_->markAsFinished(&error)) {
                notifyTransferComplete(false, error);
            } else {
                notifyTransferComplete(false, std::nullopt);
            }
            return;
        }
        ++samplesRead_;
        if (!processSampleBuffer(*buffer, &error)) {
            notifyTransferComplete(cancelled_.load(), cancelled_ ? std::nullopt : std::optional<Error>(error));
            return;
        }
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
