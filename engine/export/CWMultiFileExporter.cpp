#include "CWMultiFileExporter.h"

#include "MainQueue.h"
#include "MediaAsset.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

std::shared_ptr<CWExporter> CWMultiFileExporter::exportAsset(std::shared_ptr<MediaAsset> asset, std::shared_ptr<CWPreset> preset,
                                                             const std::vector<std::shared_ptr<CWExcludedSegment>>& splits,
                                                             std::shared_ptr<CWProjectConfiguration> configuration)
{
    // Kept as it is when the project comes back without an error: then the cuts left nothing.
    Error error = nothingLeftToExport();
    auto project = CWExportProject::fromAsset(std::move(asset), splits, std::move(preset), std::move(configuration), &error);
    return std::make_shared<CWMultiFileExporter>(project, project ? std::nullopt : std::optional<Error>(error));
}

QString CWMultiFileExporter::pieceFileName(const CWPreset& preset, const MediaAsset& source, const QString& base, int64_t number)
{
    // The stem is complete as it is: a dot in the source's name must not cut the part number off.
    // The extension is the one of the file type the piece is written as (a QuickTime source's pieces
    // are QuickTime files).
    const QString stem = QStringLiteral("%1 - part %2").arg(base).arg(number);
    return stem + QStringLiteral(" - ") + preset.defaultFileSuffix() + QLatin1Char('.') + preset.defaultFileExtensionForSource(source);
}

QString CWMultiFileExporter::nameLengthProblem(const CWPreset& preset, const MediaAsset& source, const QString& target, int64_t pieces)
{
    const QString folder = pieces > 0 ? target : QFileInfo(target).absolutePath();
    const long limit = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    const qsizetype longest = limit > 0 ? qsizetype(limit) : 255;
    const QString name =
        pieces > 0 ? pieceFileName(preset, source, QFileInfo(source.path()).completeBaseName(), pieces) : QFileInfo(target).fileName();
    const qsizetype length = QFile::encodeName(name).size();
    if (length <= longest)
        return {};
    return (pieces > 0
                ? QStringLiteral("The pieces would be named like \"%1\": %2 bytes, more than the %3 a name may have here. "
                                 "Rename the source to a shorter name.")
                : QStringLiteral("The output name \"%1\" has %2 bytes, more than the %3 a name may have here. Choose a shorter name."))
        .arg(name)
        .arg(length)
        .arg(longest);
}

void CWMultiFileExporter::exportProjectTo(const CWExportTarget& folder)
{
    if (handleProjectCreationError())
        return;
    exportProject()->setupForMultiFileExport();
    slicesToExport_ = exportProject()->slices();
    exportedSlices_ = 0;
    progressScale_ = 1.0 / double(slicesToExport_.size());
    scheduleExportNextTo(folder);
}

void CWMultiFileExporter::scheduleExportNextTo(const CWExportTarget& folder)
{
    if (slicesToExport_.empty()) {
        completionHandler_(std::nullopt, CWExportStatusCompleted);
        return;
    }
    const std::shared_ptr<CWCompositionSlice> slice = slicesToExport_.front();
    slicesToExport_.erase(slicesToExport_.begin());
    Error error = nothingLeftToExport();
    auto pieceProject = exportProject()->copyForSlice(slice, &error);
    subExporter_ = CWSingleFileExporter::exportForProject(pieceProject, pieceProject ? std::nullopt : std::optional<Error>(error));
    const double base = progressScale_ * double(exportedSlices_);
    const CMTime pieceEnd = subExporter_->endTime();
    std::weak_ptr<CWExporter> weak = weak_from_this();
    subExporter_->setProgressHandler(
        [weak, base](double p, CMTime t) {
            auto self = std::static_pointer_cast<CWMultiFileExporter>(weak.lock());
            return !self || self->progressHandler_(base + p * self->progressScale_, t);
        },
        [weak, base, pieceEnd, folder](const std::optional<Error>& e, int64_t status) {
            auto self = std::static_pointer_cast<CWMultiFileExporter>(weak.lock());
            if (!self)
                return;
            if (status != CWExportStatusCompleted) {
                self->completionHandler_(e, status);
                return;
            }
            self->progressHandler_(base + self->progressScale_, pieceEnd);
            ++self->exportedSlices_;
            MainQueue::async([weak, folder] {
                if (auto again = std::static_pointer_cast<CWMultiFileExporter>(weak.lock()))
                    again->scheduleExportNextTo(folder);
            });
        });
    const QString name =
        pieceFileName(*exportProject()->preset(), *exportProject()->asset(), exportProject()->baseFilename(), exportedSlices_ + 1);
    subExporter_->exportProjectTo(folder.fileNamed(name));
}
