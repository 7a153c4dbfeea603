// Engine-level helpers shared by the test programs above the media layer: an export project of a file
// with cuts given in seconds and a preset given by its identifier (the standard presets registered),
// and running one export session to its end. Main thread only; failures fail the current test.
#pragma once

#include "CWExportProject.h"

#include <QString>

#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>

namespace EngineFixtures {
std::shared_ptr<CWExportProject> exportProject(const QString& path, std::initializer_list<std::pair<double, double>> cuts,
                                               const char* presetIdentifier = "passthrough");

struct SessionOutcome {
    int64_t status = 0; // 0 when the session never completed
    std::optional<Error> error;
};
// Creates the session the project's preset names, runs it into `path` and waits for its completion.
SessionOutcome runSession(const std::shared_ptr<CWExportProject>& project, const QString& path, int timeoutMs = 120000);
} // namespace EngineFixtures
