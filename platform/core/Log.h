// The process's log: one line per call on standard error, with a time stamp and the process id, the
// stand-in for the platform log call. Thread-safe (one lock around the write); never fails.
#pragma once

#include <QString>

void CWLog(const QString& message);
