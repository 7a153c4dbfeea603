// The system beep with which the window refuses an impossible edit or export. Tests (and anything else
// that wants to know) install a hook that is called instead. Main thread.
#pragma once

#include <functional>

namespace SystemBeep {
void beep();
// Replaces the beep; an empty function restores it.
void setHook(std::function<void()> hook);
} // namespace SystemBeep
