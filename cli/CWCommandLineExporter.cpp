#include "CWCommandLineExporter.h"

#include "CWCutList.h"
#include "CWExporter.h"
#include "CWExportProject.h"
#include "CWFrameSnapshot.h"
#include "CWMultiFileExporter.h"
#include "CWPreset.h"
#include "CWProject.h"
#include "CWProjectExporter.h"
#include "CWUtility.h"
#include "MediaAsset.h"
#include "PassthroughContainer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {
const QString kTag = QStringLiteral("CWCommandLineExporter");
void debug(const QString& message) { CWUtility::debugLog(kTag, message); }
} // namespace

std::unique_ptr<CWCommandLineExporter> CWCommandLineExporter::exporterWithParser(std::shared_ptr<CWCommandLineParser> parser)
{
    return std::make_unique<CWCommandLineExporter>(std::move(parser));
}

CWCommandLineExporter::CWCommandLineExporter(std::shared_ptr<CWCommandLineParser> parser)
    : parser_(std::move(parser)), isTTY_(isatty(STDOUT_FILENO))
{
}

QByteArray CWCommandLineExporter::jsonLine(const QJsonObject& message)
{
    // JSON has "/" only inside strings, so escaping every one is safe.
    return QJsonDocument(message).toJson(QJsonDocument::Compact).replace("/", "\\/");
}

void CWCommandLineExporter::printJsonMessage(const QJsonObject& message)
{
    const QByteArray line = jsonLine(message);
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void CWCommandLineExporter::printError(const QString& text)
{
    closeProgressLine();
    if (parser_->jsonOutput()) {
        printJsonMessage(QJsonObject{{QStringLiteral("type"), QStringLiteral("error")}, {QStringLiteral("message"), text}});
    } else {
        std::printf("Error: %s\n", qPrintable(text));
        std::fflush(stdout);
    }
}

void CWCommandLineExporter::printProgress(double progress)
{
    if (parser_->jsonOutput()) {
        printJsonMessage(QJsonObject{{QStringLiteral("type"), QStringLiteral("progress")},
                                     {QStringLiteral("file"), parser_->inputFileURL()},
                                     {QStringLiteral("percentage"), progress * 100.0}});
        return;
    }
    if (isTTY_) {
        std::printf("\x1b[2K\rProgress: %.1f%%", progress * 100.0);
        progressLineOpen_ = true;
    } else {
        const double step = std::floor(progress * 10.0) * 10.0;
        if (step == lastStep_)
            return;
        lastStep_ = step;
        std::printf("Progress: %.0f%%\n", step);
    }
    std::fflush(stdout);
}

void CWCommandLineExporter::closeProgressLine()
{
    if (progressLineOpen_)
        std::printf("\n");
    progressLineOpen_ = false;
}

void CWCommandLineExporter::terminate(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    QCoreApplication::exit(status);
}

void CWCommandLineExporter::exportProject()
{
    // Files are read and written through `input` and `output`; messages name them as the user did.
    const MediaSource input = parser_->inputSource();
    const CWExportTarget output = parser_->outputTarget();
    debug(QStringLiteral(" Starting export"));
    debug(QStringLiteral(" inputURL=%1, outputURL=%2").arg(input.path(), output.path()));
    if (input.isEmpty()) {
        debug(QStringLiteral(" No input URL - terminating"));
        printError(QStringLiteral("No input file specified"));
        return terminate(Failure);
    }
    const QString written = output.isEmpty() ? parser_->saveCutsFileURL() : parser_->outputFileURL(); // a cut list alone
    if (written.isEmpty() && !parser_->listTracks()) {
        debug(QStringLiteral("No output URL - terminating"));
        printError(QStringLiteral("No output file specified"));
        return terminate(Failure);
    }
    debug(QStringLiteral("Both URLs valid, continuing"));
    if (parser_->listTracks()) {
        // Only the tracks are printed.
    } else if (parser_->jsonOutput()) {
        printJsonMessage(QJsonObject{{QStringLiteral("type"), QStringLiteral("started")},
                                     {QStringLiteral("input_file"), parser_->inputFileURL()},
                                     {QStringLiteral("output_file"), written}});
    } else {
        std::printf("Starting export: %s -> %s\n", qPrintable(parser_->inputFileURL()), qPrintable(written));
        std::fflush(stdout);
    }
    debug(QStringLiteral("Checking file access"));
    if (!input.isHeld() && access(QFile::encodeName(input.path()).constData(), R_OK) != 0) {
        debug(QStringLiteral("Cannot access input file - terminating"));
        printError(QStringLiteral("Missing access to input file!"));
        return terminate(Failure);
    }
    debug(QStringLiteral("Opening the media file"));
    Error error;
    auto asset = MediaAsset::open(input, &error);
    const size_t videoTracks = asset ? asset->tracksWithMediaType(MediaType::Video).size() : 0;
    const size_t audioTracks = asset ? asset->tracksWithMediaType(MediaType::Audio).size() : 0;
    debug(QStringLiteral("Found %1 video tracks, %2 audio tracks").arg(videoTracks).arg(audioTracks));
    if (!asset && cancelRequested()) { // the signal broke off the opening
        printError(QStringLiteral("Export cancelled"));
        return terminate(Cancelled);
    }
    if (!asset) {
        printError(QStringLiteral("Cannot read the input file: %1").arg(error.message));
        return terminate(Failure);
    }
    if (!videoTracks && !audioTracks) {
        debug(QStringLiteral("No valid tracks found - terminating"));
        printError(QStringLiteral("File is neither video nor audio"));
        return terminate(Failure);
    }
    if (!(CMTimeGetSeconds(asset->duration()) > 0)) {
        printError(QStringLiteral("The input has no playable length (a still picture or an empty stream)."));
        return terminate(Failure);
    }
    if (parser_->listTracks())
        return printTracks(*asset);
    if (!parser_->snapshotTimes().empty())
        return saveSnapshots(asset, output);
    debug(QStringLiteral("Creating CWProject from asset"));
    // The tool shows no thumbnails and no frame report, so the project computes neither.
    auto project = CWProject::forAVAsset(asset, CWProject::Options{false});
    debug(QStringLiteral("Configuring project"));
    const bool configured = parser_->configureProject(*project, &error);
    // The edits run on the project's own queue: they are all in before anything reads them, and
    // none is still running when the tool ends.
    project->waitForQueuedWork();
    if (!configured) {
        debug(QStringLiteral("failed to apply project configuration"));
        printError(error.message);
        return terminate(Failure);
    }
    if (cancelRequested()) { // a signal while the edits were applied
        printError(QStringLiteral("Export cancelled"));
        return terminate(Cancelled);
    }
    if (!parser_->saveCutsFileURL().isEmpty()) {
        const CWExportTarget list = parser_->saveCutsTarget();
        const QByteArray text = CWCutList::write(CWCutList::formatForName(list.path()), project->edits(), project->cutListSource());
        if (!list.writeWhole(text, &error)) {
            printError(QStringLiteral("Cannot write the cut list: %1").arg(error.message));
            return terminate(Failure);
        }
        if (parser_->jsonOutput())
            printJsonMessage(
                QJsonObject{{QStringLiteral("type"), QStringLiteral("cut_list")}, {QStringLiteral("output_file"), list.path()}});
        else
            std::printf("Saved the cut list: %s\n", qPrintable(list.path()));
        std::fflush(stdout);
        if (output.isEmpty())
            return terminate(Success);
    }
    debug(QStringLiteral("Project configured - preset: %1").arg(project->preset() ? project->preset()->identifier() : QString()));
    if (!project->preset()) {
        debug(QStringLiteral("Cannot export - no preset"));
        printError(QStringLiteral("Cannot export with current configuration"));
        return terminate(Failure);
    }
    debug(QStringLiteral("Export check passed"));
    // From here on the source is what the export reads: without the tracks --tracks leaves out.
    const std::shared_ptr<MediaAsset> exported = project->exportAsset();
    const QString description = project->preset()->descriptionForSource(*exported);
    if (parser_->jsonOutput()) {
        printJsonMessage(QJsonObject{{QStringLiteral("type"), QStringLiteral("preset")},
                                     {QStringLiteral("preset"), project->preset()->identifier()},
                                     {QStringLiteral("description"), description}});
    } else {
        std::printf("Preset: %s (%s)\n", qPrintable(project->preset()->presetName()), qPrintable(description));
        std::fflush(stdout);
    }
    // Only QuickTime (©aut) and FLAC (an AUTHOR comment) have a place for an author; elsewhere it is said, not lost silently.
    const MediaFileType fileType = project->preset()->fileTypeForSource(*exported);
    if (parser_->customMetadata().count(QStringLiteral("author")) && fileType != MediaFileType::QuickTimeMovie &&
        fileType != MediaFileType::FLAC) {
        std::fprintf(stderr, "Warning: %s files have no author field; --meta-author is left out.\n",
                     qPrintable(MediaFileTypes::extension(fileType).toUpper()));
        std::fflush(stderr);
    }
    // Every name the export will write, checked before hours of encoding rather than at the end.
    if (const QString problem = CWMultiFileExporter::nameLengthProblem(
            *project->preset(), *exported, output.path(), parser_->useMultipleFiles() ? int64_t(project->splits().size()) + 1 : 0);
        !problem.isEmpty()) {
        printError(problem);
        return terminate(Failure);
    }
    if (parser_->useMultipleFiles()) {
        debug(QStringLiteral("Starting multi-file export"));
        exportMultipleFiles(project, output);
    } else {
        debug(QStringLiteral("Starting single-file export"));
        exportSingleFile(project, output);
    }
}

void CWCommandLineExporter::printTracks(const MediaAsset& asset)
{
    const std::vector<MediaTrack>& tracks = asset.tracks();
    for (size_t index = 0; index < tracks.size(); ++index) {
        const MediaTrack& track = tracks[index];
        if (parser_->jsonOutput()) {
            printJsonMessage(QJsonObject{{QStringLiteral("type"), QStringLiteral("track")},
                                         {QStringLiteral("index"), qint64(index)},
                                         {QStringLiteral("kind"), mediaTypeName(track.mediaType)},
                                         {QStringLiteral("codec"), track.codecName},
                                         {QStringLiteral("language"), track.languageCode},
                                         {QStringLiteral("title"), track.title},
                                         {QStringLiteral("channels"), track.channelCount}});
            continue;
        }
        const QString line = QStringLiteral("%1  %2  %3  %4")
                                 .arg(index)
                                 .arg(mediaTypeName(track.mediaType), -8)
                                 .arg(track.codecName, -10)
                                 .arg(trackFacts(track).join(QStringLiteral("  ")));
        std::printf("%s\n", qPrintable(line.trimmed()));
    }
    std::fflush(stdout);
    terminate(Success);
}

void CWCommandLineExporter::saveSnapshots(const std::shared_ptr<MediaAsset>& asset, const CWExportTarget& output)
{
    const std::vector<CMTime>& times = parser_->snapshotTimes();
    if (CWFrameSnapshot::formatForName(output.path()).isEmpty()) {
        printError(QStringLiteral("\"%1\" names no picture file: end it in .png, .jpg or .jpeg.").arg(output.fileName()));
        return terminate(Failure);
    }
    for (const CMTime time : times) {
        if (cancelRequested()) {
            printError(QStringLiteral("Export cancelled"));
            return terminate(Cancelled);
        }
        // One frame goes to the output itself; several go beside it, each named by its time.
        const CWExportTarget target =
            times.size() == 1 ? output : output.sibling(CWFrameSnapshot::fileName(output.path(), time, QFileInfo(output.path()).suffix()));
        Error error;
        const std::optional<QImage> image = CWFrameSnapshot::frameAt(asset, time, &error);
        if (!image || !CWFrameSnapshot::save(*image, target, &error)) {
            printError(QStringLiteral("Cannot save the frame at %1: %2").arg(CWFrameSnapshot::timeLabel(time), error.message));
            return terminate(Failure);
        }
        if (parser_->jsonOutput())
            printJsonMessage(QJsonObject{{QStringLiteral("type"), QStringLiteral("snapshot")},
                                         {QStringLiteral("time"), CMTimeGetSeconds(time)},
                                         {QStringLiteral("output_file"), target.path()},
                                         {QStringLiteral("width"), image->width()},
                                         {QStringLiteral("height"), image->height()}});
        else
            std::printf("Saved the frame at %s (%d × %d): %s\n", qPrintable(CWFrameSnapshot::timeLabel(time)), image->width(),
                        image->height(), qPrintable(target.path()));
        std::fflush(stdout);
    }
    terminate(Success);
}

void CWCommandLineExporter::exportSingleFile(const std::shared_ptr<CWProject>& project, const CWExportTarget& output)
{
    // A name that does not say what the file holds misleads every program that goes by the name.
    const std::shared_ptr<MediaAsset> exported = project->exportAsset();
    const MediaAsset& source = *exported;
    const QString needed = project->preset()->defaultFileExtensionForSource(source);
    const QString given = QFileInfo(output.path()).suffix();
    if (given.compare(needed, Qt::CaseInsensitive) != 0 &&
        !PassthroughContainer::isExtensionOf(given, project->preset()->fileTypeForSource(source))) {
        std::fprintf(stderr, "Warning: \"%s\" will be written as a %s file; its name should end in \".%s\".\n",
                     qPrintable(output.fileName()), qPrintable(needed.toUpper()), qPrintable(needed));
        std::fflush(stderr);
    }
    debug(QStringLiteral("About to create the exporter"));
    start(CWProjectExporter::singleFile(*project), output, false);
}

void CWCommandLineExporter::exportMultipleFiles(const std::shared_ptr<CWProject>& project, const CWExportTarget& output)
{
    // A held folder was opened as a folder when it was checked.
    if (!output.isHeld() && !QDir(output.path()).exists()) {
        printError((QFileInfo::exists(output.path()) ? QStringLiteral("The output folder \"%1\" is not a folder.")
                                                     : QStringLiteral("The output folder \"%1\" does not exist."))
                       .arg(parser_->outputFileURL()));
        return terminate(Failure);
    }
    start(CWProjectExporter::filePerPiece(*project), output, true);
}

void CWCommandLineExporter::start(std::shared_ptr<CWExporter> exporter, const CWExportTarget& output, bool multiFile)
{
    if (cancelRequested()) { // interrupted while the input was being opened
        printError(QStringLiteral("Export cancelled"));
        return terminate(Cancelled);
    }
    exporter_ = std::move(exporter);
    // What the copy will do that the user should know, from the plan it follows.
    if (const std::shared_ptr<CWExportProject>& project = exporter_->exportProject()) {
        Error error;
        for (const QString& note : project->copyNotes(&error) + project->artworkNotes())
            std::fprintf(stderr, "Note: %s\n", qPrintable(note));
        std::fflush(stderr);
    }
    exporter_->setProgressHandler(
        [this](double progress, CMTime) {
            printProgress(progress);
            return !cancelRequested();
        },
        [this, multiFile](const std::optional<Error>& error, int64_t status) {
            debug(QStringLiteral("Export completed with status: %1, error: %2")
                      .arg(status)
                      .arg(error ? error->message : QStringLiteral("(null)")));
            handleExportCompletion(error, status, parser_->outputFileURL(), multiFile);
        });
    debug(QStringLiteral("About to call exportProjectTo: %1").arg(output.path()));
    exporter_->exportProjectTo(output);
}

void CWCommandLineExporter::handleExportCompletion(const std::optional<Error>& error, int64_t status, const QString& outputUrl,
                                                   bool isMultiFile)
{
    // A failure caused by the signal itself (an interrupted call) is the cancellation it asked for.
    if ((status == CWExportStatusCancelled && !error) || (error && cancelRequested())) {
        printError(QStringLiteral("Export cancelled"));
        return terminate(Cancelled);
    }
    if (error) {
        printError(QStringLiteral("Export failed: %1").arg(error->message));
        return terminate(status == CWExportStatusCancelled ? Cancelled : Failure);
    }
    if (status != CWExportStatusCompleted) {
        printError(QStringLiteral("Export ended unexpectedly: %1").arg(status));
        return terminate(Failure);
    }
    if (parser_->jsonOutput()) {
        printJsonMessage(QJsonObject{{QStringLiteral("type"), QStringLiteral("completed")},
                                     {isMultiFile ? QStringLiteral("output_path") : QStringLiteral("output_file"), outputUrl}});
    } else {
        closeProgressLine();
        std::printf(isMultiFile ? "Export completed successfully to: %s\n" : "Export completed successfully: %s\n", qPrintable(outputUrl));
    }
    terminate(Success);
}
