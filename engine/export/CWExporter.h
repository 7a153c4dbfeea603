// Turns a project's asset, preset, segments and configuration into output files by driving export
// sessions. The caller creates an exporter, sets its two handlers and calls exportProjectTo(); the
// caller keeps it until the completion handler has run (once, on the main thread). Main thread.
#pragma once

#include "CWExportProject.h"
#include "CWExportSession.h"
#include "CWExportStatus.h"

#include <memory>
#include <optional>

class CWExporter : public std::enable_shared_from_this<CWExporter> {
public:
    enum ErrorCode { NothingLeftToExport = 2, PresetRefusesSource = 3 };
    CWExporter(std::shared_ptr<CWExportProject> project, std::optional<Error> error);
    virtual ~CWExporter() = default;

    void setProgressHandler(CWProgressHandler progress, CWCompletionHandler completion);
    virtual void exportProjectTo(const CWExportTarget& target) = 0;

    const std::shared_ptr<CWExportProject>& exportProject() const { return exportProject_; }
    const std::optional<Error>& error() const { return error_; }
    // The failure of an export whose cuts left nothing: what a missing export project without an error means.
    static Error nothingLeftToExport();
    // The source end of the last kept piece; zero without an export project.
    CMTime endTime() const;

protected:
    // True (after reporting the failure) when there is no export project to export.
    bool handleProjectCreationError();
    void exportProjectToUrl(const std::shared_ptr<CWExportProject>& project, const CWExportTarget& target);

    CWProgressHandler progressHandler_ = [](double, CMTime) { return true; };
    CWCompletionHandler completionHandler_ = [](const std::optional<Error>&, int64_t) {};

private:
    std::shared_ptr<CWExportProject> exportProject_;
    std::optional<Error> error_;
    std::shared_ptr<CWExportSession> exportSession_;
};
