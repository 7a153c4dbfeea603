// The one driver from reader outputs to their sinks, on the calling thread: each round steps every pump
// whose writer input is ready (a pump without an input, whose sink is not a writer, always is), so the
// writer's interleaving stays bounded; when none is ready it waits for the first unfinished one. Ends
// when every pump has finished, at the first failure (the error is filled), or when the flag is set
// or a reader was cancelled. `reached` hears the end time of each buffer moved.
//
// Used by the media layer's export session (all tracks on one thread), by the engine's track
// transfers (one track per worker) and by its own encoders' sessions (one audio pump, no writer).
#pragma once

#include "BufferPump.h"

#include <atomic>
#include <functional>
#include <utility>
#include <vector>

class WriterInput;

enum class TransferEnd { Finished, Cancelled, Failed };

TransferEnd transferInterleaved(std::vector<std::pair<BufferPump, WriterInput*>>& pumps, const std::atomic<bool>& cancelled,
                                const std::function<void(CMTime)>& reached, Error* error);
