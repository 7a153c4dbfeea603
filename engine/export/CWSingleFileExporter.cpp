#include "CWSingleFileExporter.h"

std::shared_ptr<CWExporter> CWSingleFileExporter::exportAsset(std::shared_ptr<MediaAsset> asset, std::shared_ptr<CWPreset> preset,
                                                              const std::vector<std::shared_ptr<CWExcludedSegment>>& splits,
                                                              std::shared_ptr<CWProjectConfiguration> configuration)
{
    // Kept as it is when the project comes back without an error: then the cuts left nothing.
    Error error = nothingLeftToExport();
    auto project = CWExportProject::fromAsset(std::move(asset), splits, std::move(preset), std::move(configuration), &error);
    return exportForProject(project, project ? std::nullopt : std::optional<Error>(error));
}

std::shared_ptr<CWSingleFileExporter> CWSingleFileExporter::exportForProject(std::shared_ptr<CWExportProject> project,
                                                                             std::optional<Error> error)
{
    return std::make_shared<CWSingleFileExporter>(std::move(project), std::move(error));
}

void CWSingleFileExporter::exportProjectTo(const CWExportTarget& target)
{
    if (handleProjectCreationError())
        return;
    // An existing file at the target is replaced only when the new one is complete (the session's job).
    exportProjectToUrl(exportProject(), target);
}
