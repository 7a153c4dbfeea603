// Export outcomes and the handlers every session and exporter uses.
//   progress handler: (fraction 0…1, time reached) → false asks the export to stop; may run on any thread.
//   completion handler: (error or none, status) → called exactly once, on the main thread.
#pragma once

#include "CMTime.h"
#include "Error.h"

#include <cstdint>
#include <functional>
#include <optional>

enum CWExportStatus : int64_t {
    CWExportStatusExporting = 2,
    CWExportStatusCompleted = 3,
    CWExportStatusFailed = 4,
    CWExportStatusCancelled = 5,
};

using CWProgressHandler = std::function<bool(double progress, CMTime time)>;
using CWCompletionHandler = std::function<void(const std::optional<Error>& error, int64_t status)>;
