#include "InterleavedTransfer.h"

#include "MediaWriter.h"

TransferEnd transferInterleaved(std::vector<std::pair<BufferPump, WriterInput*>>& pumps, const std::atomic<bool>& cancelled,
                                const std::function<void(CMTime)>& reached, Error* error)
{
    size_t finished = 0;
    while (finished < pumps.size()) {
        if (cancelled.load())
            return TransferEnd::Cancelled;
        WriterInput* waitFor = nullptr;
        bool progressed = false;
        for (auto& [pump, input] : pumps) {
            if (pump.isDone())
                continue;
            if (input && !input->isReadyForMoreMediaData()) {
                waitFor = waitFor ? waitFor : input;
                continue;
            }
            if (cancelled.load())
                return TransferEnd::Cancelled;
            progressed = true;
            switch (pump.step(error)) {
            case BufferPump::Step::Moved:
                if (reached)
                    reached(pump.reachedTime());
                break;
            case BufferPump::Step::Finished:
                ++finished;
                break;
            case BufferPump::Step::Failed:
                return TransferEnd::Failed;
            case BufferPump::Step::Cancelled:
                return TransferEnd::Cancelled;
            }
        }
        if (!progressed && waitFor)
            waitFor->waitUntilReady(cancelled);
    }
    return TransferEnd::Finished;
}
