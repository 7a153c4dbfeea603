// The base of every export session: one export project into one output file. Subclasses do the work
// in startExport() and end through finish(), which is where the output appears: sessions write to an
// unnamed file in the target's folder (or, where the file system has none, a short hidden one; see
// CWWorkingFile), and only a completed export names it and renames it over the target (an existing file there stays
// untouched on failure, cancellation or a crash). finish() calls the completion
// handler exactly once, on the main thread. Created and started on the main thread; owned by its
// exporter until the completion has run, and always deleted on the main thread (a worker that drops
// the last reference hands the deletion over), so a program that quits lets the main thread run
// until liveSessionCount() is zero. An output folder moved out of the folder set with
// keepOutputsBeneath() during the export fails the export instead of receiving the file.
#pragma once

#include "CWExportProject.h"
#include "CWExportStatus.h"
#include "CWExportTarget.h"
#include "CWPreset.h"

#include <QString>

#include <atomic>
#include <memory>

class CWWorkingFile;

class CWExportSession : public std::enable_shared_from_this<CWExportSession> {
public:
    // Codes of the "CWExportSession" domain besides the system's own (errno) for the folder and the move.
    enum ErrorCode { NoSessionForPreset = 1 };
    // A session of the class the preset names; null (with an error) when this build has none.
    static std::shared_ptr<CWExportSession> exportProject(std::shared_ptr<CWExportProject> project, const CWExportTarget& target,
                                                          std::shared_ptr<CWPreset> preset, Error* error);

    CWExportSession(std::shared_ptr<CWExportProject> project, CWExportTarget target, std::shared_ptr<CWPreset> preset);
    virtual ~CWExportSession();

    virtual void startExport(CWProgressHandler progress, CWCompletionHandler completion) = 0;

    // Sessions not yet deleted, in the whole program.
    static int liveSessionCount();
    // From now on, in the whole program, a finished file is named only while its folder still lies
    // beneath this folder (the descriptor's folder, however it is named then): a folder moved out
    // during an export gets nothing. Call once, on the main thread, before any export.
    static void keepOutputsBeneath(int folderFd);

    const std::shared_ptr<CWExportProject>& project() const { return project_; }
    const QString& outputUrl() const { return outputUrl_; }
    MediaFileType fileType() const { return fileType_; }
    const std::shared_ptr<CWPreset>& preset() const { return preset_; }
    std::shared_ptr<CWProjectConfiguration> configuration() const { return project_->configuration(); }
    // The source's metadata, then the configuration's items (small artwork first when asked).
    std::vector<MetadataItem> metadataForExport() const;

protected:
    // Where the session writes until the export completes.
    const QString& workingPath() const { return workingPath_; }
    // Ends the export once (later calls do nothing): on success moves the working file to the
    // target, otherwise removes it; then the completion handler, on the main thread.
    void finish(std::optional<Error> error, int64_t status);

private:
    void prepareWorkingFile();
    bool moveWorkingFileToTarget();

protected:
    CWCompletionHandler completion_;

private:
    std::shared_ptr<CWExportProject> project_;
    CWExportTarget target_;
    QString outputUrl_;
    QString workingPath_;
    int folderFd_ = -1;                      // the target's folder
    std::unique_ptr<CWWorkingFile> working_; // the file being made there (see CWWorkingFile)
    MediaFileType fileType_;
    std::shared_ptr<CWPreset> preset_;
    std::atomic<bool> finished_{false};
};
