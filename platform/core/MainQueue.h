// Dispatch to the main thread: work posted from any thread runs on the thread of the Qt event loop
// (QCoreApplication's thread), in posting order, when that loop next runs. Without an application
// object (the program is ending) the work cannot run and is dropped quietly.
#pragma once

#include <functional>

namespace MainQueue {
void async(std::function<void()> work);
bool isMainThread();
} // namespace MainQueue
