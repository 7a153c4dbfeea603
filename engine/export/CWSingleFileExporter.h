// Writes all kept material of a project into one file through one session.
#pragma once

#include "CWExporter.h"

class CWSingleFileExporter : public CWExporter {
public:
    using CWExporter::CWExporter;
    static std::shared_ptr<CWExporter> exportAsset(std::shared_ptr<MediaAsset> asset, std::shared_ptr<CWPreset> preset,
                                                   const std::vector<std::shared_ptr<CWExcludedSegment>>& splits,
                                                   std::shared_ptr<CWProjectConfiguration> configuration);
    static std::shared_ptr<CWSingleFileExporter> exportForProject(std::shared_ptr<CWExportProject> project, std::optional<Error> error);
    void exportProjectTo(const CWExportTarget& target) override;
};
