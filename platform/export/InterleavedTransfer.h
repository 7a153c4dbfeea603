// Feeds several reader outputs into their writer inputs on one thread: each round steps every pump
// whose input is ready, so the writer's interleaving stays bounded; when no input is ready it waits
// for the first. Ends when every pump has finished (true), or at the first failure or cancellation
// (false; a failure fills the error). `reached` hears the end time of each buffer moved.
#pragma once

#include "BufferPump.h"

#include <atomic>
#include <functional>
#include <utility>
#include <vector>

class WriterInput;

bool transferInterleaved(std::vector<std::pair<BufferPump, WriterInput*>>& pumps, const std::atomic<bool>& cancelled,
                         const std::function<void(CMTime)>& reached, Error* error);
