#include "InterleavedTransfer.h"

#include "MediaWriter.h"

bool transferInterleaved(std::vector<std::pair<BufferPump, WriterInput*>>& pumps, const std::atomic<bool>& cancelled,
                         const std::function<void(CMTime)>& reached, Error* error)
{
    size_t finished = 0;
    while (finished < pumps.size()) {
        bool progressed = false;
        for (auto& [pump, input] : pumps) {
            if (pump.isDone() || !input->isReadyForMoreMediaData())
                continue;
            if (cancelled.load())
                return false;
            progressed = true;
            switch (pump.step(error)) {
            case BufferPump::Step::Moved:
                reached(pump.reachedTime());
                break;
            case BufferPump::Step::Finished:
                ++finished;
                break;
            case BufferPump::Step::Failed:
            case BufferPump::Step::Cancelled:
                return false;
            }
        }
        if (!progressed)
            pumps.front().second->waitUntilReady(cancelled);
    }
    return true;
}
