#include "CWProjectExporter.h"

#include "CWMultiFileExporter.h"
#include "CWProject.h"
#include "CWSingleFileExporter.h"

namespace CWProjectExporter {

std::shared_ptr<CWExporter> singleFile(CWProject& project)
{
    const auto configuration = project.configurationForExport();
    return CWSingleFileExporter::exportAsset(project.exportAsset(), project.preset(), project.splits(), configuration);
}

std::shared_ptr<CWExporter> filePerPiece(CWProject& project)
{
    const auto configuration = project.configurationForExport();
    return CWMultiFileExporter::exportAsset(project.exportAsset(), project.preset(), project.splits(), configuration);
}

} // namespace CWProjectExporter
