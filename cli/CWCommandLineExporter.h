// The export run of clipwell_cli: opens the input, makes and configures a project, exports one file
// or one file per piece, prints progress and the result as text or as one JSON object per line, and
// ends the run loop with the exit status: 0 only when the export completed, 1 when it failed, 2 when
// it was cancelled (Ctrl+C, SIGTERM). Main thread; the exporter is kept until its completion has run.
#pragma once

#include "CWCommandLineParser.h"

#include <QJsonObject>

#include <atomic>
#include <functional>
#include <memory>

class CWExporter;
class CWProject;
class MediaAsset;

class CWCommandLineExporter {
public:
    enum ExitStatus { Success = 0, Failure = 1, Cancelled = 2 };

    static std::unique_ptr<CWCommandLineExporter> exporterWithParser(std::shared_ptr<CWCommandLineParser> parser);
    explicit CWCommandLineExporter(std::shared_ptr<CWCommandLineParser> parser);

    void exportProject();
    // Asks the running export to stop (from a signal's notifier on the main thread).
    void cancel() { cancelRequested_ = true; }
    // A flag (set from a signal handler) that counts as a cancellation request too.
    void cancelWhenSet(const std::atomic<bool>* flag) { externalCancel_ = flag; }
    bool cancelRequested() const { return cancelRequested_.load() || (externalCancel_ && externalCancel_->load()); }

    // Applied to every error message before it is shown (to name files by their real paths).

    void printProgress(double progress);
    void printJsonMessage(const QJsonObject& message);
    void printError(const QString& message);
    void handleExportCompletion(const std::optional<Error>& error, int64_t status, const QString& outputUrl, bool isMultiFile);

    // Compact JSON with "/" written as "\/", as one line.
    static QByteArray jsonLine(const QJsonObject& message);

private:
    // Prints the input's tracks instead of exporting, and ends the run.
    void printTracks(const MediaAsset& asset);
    // Saves the frames of --snapshot instead of exporting, and ends the run.
    void saveSnapshots(const std::shared_ptr<MediaAsset>& asset, const CWExportTarget& output);
    void exportSingleFile(const std::shared_ptr<CWProject>& project, const CWExportTarget& output);
    void exportMultipleFiles(const std::shared_ptr<CWProject>& project, const CWExportTarget& output);
    // Says which pieces a copy without edit lists begins at a keyframe before their start, and by how much.
    void start(std::shared_ptr<CWExporter> exporter, const CWExportTarget& output, bool multiFile);
    void terminate(int status);
    // Ends the terminal's progress line (rewritten in place) so that what follows starts on a line of its own.
    void closeProgressLine();

    std::shared_ptr<CWCommandLineParser> parser_;
    bool isTTY_ = false;
    bool progressLineOpen_ = false;
    double lastStep_ = -1.0;
    std::atomic<bool> cancelRequested_{false};
    const std::atomic<bool>* externalCancel_ = nullptr;
    std::shared_ptr<CWExporter> exporter_;
};
