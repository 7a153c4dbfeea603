// Writes one file per kept piece into a folder, one piece after another, each through a single-file
// exporter of its own, presented as one export: one progress range (each piece maps its 0…1 onto its
// share) and one completion (completed after the last piece, or the first piece's failure or
// cancellation; pieces already written stay). Pieces are named "<source> - part N - <suffix>.<ext>".
#pragma once

#include "CWSingleFileExporter.h"

class CWMultiFileExporter : public CWExporter {
public:
    using CWExporter::CWExporter;
    static std::shared_ptr<CWExporter> exportAsset(std::shared_ptr<MediaAsset> asset, std::shared_ptr<CWPreset> preset,
                                                   const std::vector<std::shared_ptr<CWExcludedSegment>>& splits,
                                                   std::shared_ptr<CWProjectConfiguration> configuration);
    void exportProjectTo(const CWExportTarget& folder) override;
    // How many pieces have been written; read once the completion has been delivered.
    int64_t exportedPieces() const { return exportedSlices_; }

    // The file name of piece `number` (from 1) of the source at `sourcePath`, whose name without extension is `base`.
    static QString pieceFileName(const CWPreset& preset, const MediaAsset& source, const QString& base, int64_t number);
    // Empty when every name an export writes fits the file system of its folder, else what is too long:
    // the file's own name, or for pieces (into the folder `target`) the name of the last of at most
    // `pieces` pieces, whose number is the longest. Asks the file system (pathconf).
    static QString nameLengthProblem(const CWPreset& preset, const MediaAsset& source, const QString& target, int64_t pieces);

private:
    void scheduleExportNextTo(const CWExportTarget& folder);

    std::shared_ptr<CWSingleFileExporter> subExporter_;
    CWSliceList slicesToExport_;
    double progressScale_ = 1;
    int64_t exportedSlices_ = 0;
};
