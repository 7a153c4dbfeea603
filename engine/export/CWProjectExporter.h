// Exporters for what a project holds now: its file without the tracks left out, its preset, its kept
// pieces and its settings (with the file's own tags, CWProject::configurationForExport). Main thread,
// like the project's edits; the exporter runs on its own from there.
#pragma once

#include <memory>

class CWExporter;
class CWProject;

namespace CWProjectExporter {
// One file of every kept piece.
std::shared_ptr<CWExporter> singleFile(CWProject& project);
// One file per kept piece.
std::shared_ptr<CWExporter> filePerPiece(CWProject& project);
} // namespace CWProjectExporter
