// One opened media file: its project, its window, its undo history and its exports. A document is only
// ever read; its output comes from exporting, one file through a save dialog or one file per kept piece
// into a chosen folder. While an export runs the document drives its window's progress display and
// posts the process-wide export notifications (CWExportNotifications), which the taskbar follows.
//
// open() chooses the kind: any video track makes a CWVideoDocument, else any audio track a
// CWAudioDocument; a file that opens as neither fails with the domain "Clipwell", code 1 and
// "Unsupported file format" ("Unsupported audio file format" for an audio document without sound).
//
// Main thread: every call. Export handlers hop to the main thread before they touch the document; the
// progress handler answers from a flag of its own export, so a stopped export cancels at its next
// report. Owned by the document controller. Closing the window (once the user agreed) or close() stops a running export; the document
// then lives on (without a window) until that export's completion has arrived, and says so with
// finished(), after which the controller deletes it.
#pragma once

#include "CMTime.h"
#include "Error.h"

#include <QFileDialog>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CWDocumentWindowController;
class CWEditKeeper;
class CWExporter;
class CWProject;
class MediaAsset;
class QtUndoManager;
class QUndoStack;

class CWBaseDocument : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kErrorDomain = "Clipwell";

    // The document for the file, or null with the read error. Reads the file (blocking).
    static std::unique_ptr<CWBaseDocument> open(const QString& path, Error* error);
    // The document for a file whose asset was opened already (null, with openError, when it did not open).
    static std::unique_ptr<CWBaseDocument> fromAsset(const QString& absolutePath, std::shared_ptr<MediaAsset> asset, const Error& openError,
                                                     Error* error);
    ~CWBaseDocument() override;

    const QString& fileURL() const { return fileURL_; }
    QString displayName() const;
    std::shared_ptr<CWProject> project() const { return project_; }
    QUndoStack* undoStack() const { return undoStack_; }
    const std::vector<QPointer<CWDocumentWindowController>>& windowControllers() const { return windowControllers_; }

    // Creates the window of the document's kind and shows it.
    virtual void makeWindowControllers() = 0;
    void showProject(std::shared_ptr<CWProject> project);
    void enableButtonsForEditing(bool enabled);

    // The export commands: a save dialog (or a folder dialog) on the window, then the export.
    void exportMedia();
    void exportMultipleMedia();
    void exportMediaToUrl(const QString& url);
    void exportMultipleMediaToUrl(const QString& folder);
    // Save Frame As…: a save dialog on the window for the frame on screen (full size, upright), named by
    // its time; then the picture, PNG or JPEG by the name. Nothing while no exact frame is shown.
    void saveFrame();
    // Writes the picture to the file; a failure is told in an alert on the window.
    void saveFrameTo(const QImage& image, const QString& file);
    // File > Import Cut List… and Export Cut List… (see CWCutList): an open or save dialog, then the
    // list. An import replaces every cut and split point as one undo step, or, when the list cannot be
    // read, changes nothing and says which line is wrong; an export writes the format its name says.
    void importCutList();
    void exportCutList();
    bool importCutListFrom(const QString& file);
    // Starts keeping the edits between sessions (see CWEditKeeper); once the window is up.
    void keepEdits();
    CWEditKeeper* editKeeper() const { return editKeeper_.get(); }
    bool exportCutListTo(const QString& file);
    void runExport(std::shared_ptr<CWExporter> exporter, const QString& target);
    // Ends the export state; a running export cancels at its next progress report.
    void stopExport();
    bool isExporting() const { return activeExporter_ != nullptr; }
    // An export's completion has not arrived yet (also after stopExport()).
    bool hasRunningExport() const { return runningExports_ > 0; }
    // The alert of the last finished export, while it is shown (tests answer it).
    QWidget* exportAlert() const { return exportAlert_; }

    // Whether closing this window should first ask to stop the export: it is the document's last window,
    // an export runs and the document is not being closed (by quitting) anyway.
    bool asksBeforeClosing(const CWDocumentWindowController* window) const;
    // The window is closing: stops the export; finished() follows once nothing runs any more.
    void windowWillClose(CWDocumentWindowController* window);
    void close();

signals:
    void finished();

protected:
    explicit CWBaseDocument(const QString& path);
    virtual bool readFromURL(const QString& path, Error* error) = 0;
    // A read failure: domain "Clipwell", code 1.
    static Error readError(const QString& message);
    void addWindowController(CWDocumentWindowController* window);
    // Reads the file as the project (the asset open() already read, when it is this file's); false when
    // the asset does not open.
    bool readProject(const QString& path, Error* error);

private:
    // A dialog on the window over the file's folder; `chosen` runs with the choice once it has closed.
    QFileDialog* fileDialog(const QString& title, const char* name, QFileDialog::AcceptMode mode,
                            std::function<void(const QString&)> chosen);
    void completeExport(const std::shared_ptr<std::atomic<bool>>& exporting, const QString& target, const std::optional<Error>& error,
                        int64_t status, CMTime duration, const CWExporter& exporter);
    // Where a finished export put its output: the file's name and folder, or (pieces ≥ 0) how many
    // files went into the folder `target`.
    static QString savedWhere(const QString& target, int64_t pieces);
    void showExportAlert(QWidget* alert);
    // Shows the failure and answers true when a name the export would write is too long for its folder
    // (checked before the export starts, not after it has run).
    bool refuseOverlongNames(const QString& target, int64_t pieces);
    void finishIfIdle();

    QString fileURL_;
    std::shared_ptr<MediaAsset> openedAsset_;
    std::shared_ptr<CWProject> project_;
    QUndoStack* undoStack_;
    std::unique_ptr<QtUndoManager> undoManager_;
    std::unique_ptr<CWEditKeeper> editKeeper_;
    std::vector<QPointer<CWDocumentWindowController>> windowControllers_;
    std::shared_ptr<CWExporter> activeExporter_;
    std::shared_ptr<std::atomic<bool>> activeExportFlag_; // what the running export's progress handler answers
    int runningExports_ = 0;
    bool closing_ = false;
    QPointer<QWidget> exportAlert_;
};
