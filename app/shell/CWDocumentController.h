// The application's documents: opens files as documents (each with its window), shows the Open dialog
// when the application starts without a file, keeps the list of recently opened files (the last ten,
// newest first, in the user defaults under "recentDocuments"), and ends the application when the last
// document has gone: after its window closed and its export (if any) has finished. Quitting closes every
// window (which stops their exports) and ends the application once every export session has ended;
// a quit the user asks for while exports run asks first whether to stop them.
// No window is ever restored from an earlier run.
//
// Main thread. One instance, made by the application (sharedDocumentController()); owns the documents.
// Files the user opens are read on a thread of their own, one per file; the document is made on the
// main thread when the read is done. A file that cannot be opened is reported in an alert, with the
// reason the document gives.
#pragma once

#include "Error.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class CWBaseDocument;
class MediaAsset;
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>

class CWDocumentController : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaximumRecentDocuments = 10;

    explicit CWDocumentController(QObject* parent = nullptr);
    ~CWDocumentController() override;
    static CWDocumentController* sharedDocumentController();

    // The open document for the file, else a new one with its window shown; null with the error.
    CWBaseDocument* openDocumentWithContentsOfURL(const QString& path, Error* error);
    // Opens each file off the main thread, showing an "Opening…" window (objectName "openingWindow")
    // until it is read; closing that window forgets the file. Failures are shown in an alert.
    void openDocuments(const QStringList& paths);
    // The windows of files being opened.
    const std::vector<QPointer<QProgressDialog>>& openingWindows() const { return opening_; }
    // The Open dialog (window-modal on the active document window, if any).
    void openDocument();
    QFileDialog* openDialog() const { return openDialog_; }
    QMessageBox* openFailureAlert() const { return openFailureAlert_; }
    // Brings a window forward, or shows the Open dialog when there is none.
    void activate();

    const std::vector<std::unique_ptr<CWBaseDocument>>& documents() const { return documents_; }
    QStringList recentDocumentURLs() const;
    void noteNewRecentDocumentURL(const QString& path);
    void clearRecentDocuments();

    // Closes every window; the application ends once every document has finished.
    void terminate();
    // Quit as the user asks for it: while exports run, first asks whether to stop them (quitQuestion()).
    void requestQuit();
    QMessageBox* quitQuestion() const { return quitQuestion_; }
    // What ends the application (QCoreApplication::quit unless replaced, as tests do).
    void setQuitHandler(std::function<void()> quit) { quit_ = std::move(quit); }
    // The preferences window, opened from every document window's menu.
    void setPreferencesHandler(std::function<void()> show) { showPreferences_ = std::move(show); }
    void showPreferences() const;
    void setUpdateCheckHandler(std::function<void()> check) { checkForUpdates_ = std::move(check); }
    void checkForUpdates() const;
    // Windows open at the screenshot size (1196 × 656).
    void setPrepareForScreenshot(bool prepare) { prepareForScreenshot_ = prepare; }
    bool prepareForScreenshot() const { return prepareForScreenshot_; }

signals:
    void recentDocumentsChanged();

private:
    CWBaseDocument* raiseOpenDocument(const QString& absolute) const;
    CWBaseDocument* addDocument(std::unique_ptr<CWBaseDocument> document, const QString& absolute);
    void startOpening(const QString& absolute);
    void finishOpening(const QPointer<QProgressDialog>& opening, const QString& absolute, std::shared_ptr<MediaAsset> asset,
                       const Error& openError);
    void documentFinished(CWBaseDocument* document);
    void showOpenFailure(const QString& path, const Error& error);
    void quitIfIdle();

    std::vector<std::unique_ptr<CWBaseDocument>> documents_;
    QPointer<QFileDialog> openDialog_;
    QPointer<QMessageBox> openFailureAlert_;
    QPointer<QMessageBox> quitQuestion_;
    std::vector<QPointer<QProgressDialog>> opening_;
    std::function<void()> quit_;
    std::function<void()> showPreferences_;
    std::function<void()> checkForUpdates_;
    bool prepareForScreenshot_ = false;
};
