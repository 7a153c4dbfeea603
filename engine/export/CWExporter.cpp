#include "CWExporter.h"

#include "CWExportNotifications.h"
#include "MainQueue.h"

CWExporter::CWExporter(std::shared_ptr<CWExportProject> project, std::optional<Error> error)
    : exportProject_(std::move(project)), error_(std::move(error))
{
}

void CWExporter::setProgressHandler(CWProgressHandler progress, CWCompletionHandler completion)
{
    progressHandler_ = std::move(progress);
    completionHandler_ = std::move(completion);
}

CMTime CWExporter::endTime() const { return exportProject_ ? exportProject_->endTime() : kCMTimeZero; }

Error CWExporter::nothingLeftToExport()
{
    return Error{QStringLiteral("CWExporter"),
                 NothingLeftToExport,
                 QStringLiteral("Nothing is left to export: the cuts remove the whole source."),
                 {},
                 {}};
}

bool CWExporter::handleProjectCreationError()
{
    if (exportProject_)
        return false;
    emit CWExportNotifications::instance().exportEnded();
    completionHandler_(error_ ? *error_ : nothingLeftToExport(), CWExportStatusFailed);
    return true;
}

void CWExporter::exportProjectToUrl(const std::shared_ptr<CWExportProject>& project, const CWExportTarget& target)
{
    Error error;
    // A source the preset cannot take is refused before anything is written, naming the presets that can.
    if (const QString refusal = project->preset()->incompatibilityWithAsset(*project->asset()); !refusal.isEmpty())
        error = Error{QStringLiteral("CWExporter"), PresetRefusesSource, refusal, {}, {}};
    else
        exportSession_ = CWExportSession::exportProject(project, target, project->preset(), &error);
    if (!exportSession_) {
        // Reported as the sessions do: once, on the main thread, after the start returned.
        CWCompletionHandler completion = completionHandler_;
        MainQueue::async([completion, error] { completion(error, CWExportStatusFailed); });
        return;
    }
    exportSession_->startExport(progressHandler_, completionHandler_);
}
