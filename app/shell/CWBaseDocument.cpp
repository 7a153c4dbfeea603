#include "CWBaseDocument.h"

#include "CWAudioDocument.h"
#include "CWCutList.h"
#include "CWDocumentWindowController.h"
#include "CWEditKeeper.h"
#include "CWExporter.h"
#include "CWExportNotifications.h"
#include "CWFrameSnapshot.h"
#include "CWMultiFileExporter.h"
#include "CWPreset.h"
#include "CWProject.h"
#include "CWProjectExporter.h"
#include "CWVideoDocument.h"
#include "FileManagerReveal.h"
#include "Log.h"
#include "MainQueue.h"
#include "MediaAsset.h"
#include "MediaSource.h"
#include "Player.h"
#include "QtUndoManager.h"
#include "SystemBeep.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUndoStack>

#include <algorithm>

std::unique_ptr<CWBaseDocument> CWBaseDocument::open(const QString& path, Error* error)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    Error openError;
    std::shared_ptr<MediaAsset> asset = MediaAsset::open(absolute, &openError);
    return fromAsset(absolute, std::move(asset), openError, error);
}

std::unique_ptr<CWBaseDocument> CWBaseDocument::fromAsset(const QString& absolute, std::shared_ptr<MediaAsset> asset,
                                                          const Error& openError, Error* error)
{
    std::unique_ptr<CWBaseDocument> document;
    if (asset && !asset->tracksWithMediaType(MediaType::Video).empty())
        document.reset(new CWVideoDocument(absolute));
    else if (asset && !asset->tracksWithMediaType(MediaType::Audio).empty())
        document.reset(new CWAudioDocument(absolute));
    if (!document) {
        Error unsupported = readError(tr("Unsupported file format"));
        if (!asset)
            unsupported.failureReason = openError.describe();
        setError(error, unsupported);
        return nullptr;
    }
    document->openedAsset_ = asset;
    if (!document->readFromURL(absolute, error))
        return nullptr;
    return document;
}

Error CWBaseDocument::readError(const QString& message)
{
    Error error;
    error.domain = QString::fromLatin1(kErrorDomain);
    error.code = 1;
    error.message = message;
    return error;
}

CWBaseDocument::CWBaseDocument(const QString& path)
    : fileURL_(path), undoStack_(new QUndoStack(this)), undoManager_(std::make_unique<QtUndoManager>(undoStack_))
{
}

CWBaseDocument::~CWBaseDocument()
{
    if (editKeeper_)
        editKeeper_->saveIfChanged(); // a last change whose notice has not arrived yet
    if (project_)
        project_->useUndoManager(nullptr);
    for (const QPointer<CWDocumentWindowController>& window : windowControllers_)
        delete window.data();
}

QString CWBaseDocument::displayName() const { return QFileInfo(fileURL_).fileName(); }

bool CWBaseDocument::readProject(const QString& path, Error* error)
{
    std::shared_ptr<MediaAsset> asset = std::move(openedAsset_);
    if (!asset || asset->path() != path)
        asset = MediaAsset::open(path, error);
    if (!asset)
        return false;
    showProject(CWProject::forAVAsset(asset));
    return true;
}

void CWBaseDocument::showProject(std::shared_ptr<CWProject> project)
{
    project_ = std::move(project);
    project_->useUndoManager(undoManager_.get());
}

void CWBaseDocument::keepEdits()
{
    editKeeper_ = std::make_unique<CWEditKeeper>(*this);
    editKeeper_->start();
}

void CWBaseDocument::addWindowController(CWDocumentWindowController* window)
{
    windowControllers_.emplace_back(window);
    connect(window, &CWDocumentWindowController::windowWillClose, this, [this, window] { windowWillClose(window); });
}

void CWBaseDocument::enableButtonsForEditing(bool enabled)
{
    for (const QPointer<CWDocumentWindowController>& window : windowControllers_)
        if (window)
            window->enableButtonsForEditing(enabled);
}

QFileDialog* CWBaseDocument::fileDialog(const QString& title, const char* name, QFileDialog::AcceptMode mode,
                                        std::function<void(const QString&)> chosen)
{
    CWDocumentWindowController* window = windowControllers_.empty() ? nullptr : windowControllers_.front().data();
    auto* dialog = new QFileDialog(window, title, QFileInfo(fileURL_).absolutePath());
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setAcceptMode(mode);
    dialog->setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The choice is acted on once the dialog has gone.
    connect(dialog, &QFileDialog::fileSelected, this, [this, chosen = std::move(chosen)](const QString& file) {
        QMetaObject::invokeMethod(
            this, [chosen, file] { chosen(file); }, Qt::QueuedConnection);
    });
    return dialog;
}

void CWBaseDocument::exportMedia()
{
    const std::shared_ptr<CWPreset> preset = project_->preset();
    const QString extension = preset->defaultFileExtensionForSource(*project_->exportAsset());
    QFileDialog* dialog =
        fileDialog(tr("Export"), "exportDialog", QFileDialog::AcceptSave, [this](const QString& file) { exportMediaToUrl(file); });
    dialog->setNameFilter(tr("%1 files (*.%2)").arg(extension.toUpper(), extension));
    dialog->setDefaultSuffix(extension);
    // The whole file name goes in, so that only its extension is replaced ("a.b.mp4" → "a.b - …").
    dialog->selectFile(preset->suggestedFilenameBasedOn(QFileInfo(fileURL_).fileName(), extension));
    dialog->open();
}

void CWBaseDocument::saveFrame()
{
    CWDocumentWindowController* window = windowControllers_.empty() ? nullptr : windowControllers_.front().data();
    if (!window)
        return;
    const PlaybackFrame& frame = window->player()->currentFrame();
    if (frame.image.isNull() || frame.preview)
        return SystemBeep::beep();
    QFileDialog* dialog = fileDialog(tr("Save Frame"), "saveFrameDialog", QFileDialog::AcceptSave,
                                     [this, image = frame.image](const QString& file) { saveFrameTo(image, file); });
    dialog->setNameFilters({tr("PNG pictures (*.png)"), tr("JPEG pictures (*.jpg *.jpeg)")});
    dialog->setDefaultSuffix(QStringLiteral("png"));
    dialog->selectFile(CWFrameSnapshot::fileName(fileURL_, frame.time));
    connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString& filter) {
        dialog->setDefaultSuffix(filter.contains(QLatin1String("*.png")) ? QStringLiteral("png") : QStringLiteral("jpg"));
    });
    dialog->open();
}

void CWBaseDocument::saveFrameTo(const QImage& image, const QString& file)
{
    Error error;
    if (CWFrameSnapshot::save(image, CWExportTarget(file), &error))
        return;
    auto* alert = new QMessageBox(QMessageBox::Warning, tr("Save Frame failed"), error.message, QMessageBox::Ok);
    alert->setObjectName(QStringLiteral("saveFrameErrorAlert"));
    showExportAlert(alert);
}

void CWBaseDocument::importCutList()
{
    QFileDialog* dialog = fileDialog(tr("Import Cut List"), "importCutListDialog", QFileDialog::AcceptOpen,
                                     [this](const QString& file) { importCutListFrom(file); });
    dialog->setNameFilters({tr("Cut lists (*.txt *.csv *.edl *.chapters)"), tr("All files (*)")});
    dialog->open();
}

void CWBaseDocument::exportCutList()
{
    QFileDialog* dialog = fileDialog(tr("Export Cut List"), "exportCutListDialog", QFileDialog::AcceptSave,
                                     [this](const QString& file) { exportCutListTo(file); });
    const QStringList filters{tr("Times, one per line (*.txt)"), tr("CSV (*.csv)"), tr("CMX 3600 EDL (*.edl)"),
                              tr("Chapters for a video description (*.chapters.txt)")};
    dialog->setNameFilters(filters);
    dialog->setDefaultSuffix(QStringLiteral("txt"));
    dialog->selectFile(QFileInfo(fileURL_).completeBaseName() + tr(" cuts.txt"));
    connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString& filter) {
        const QString pattern = filter.section(QLatin1String("(*."), 1).chopped(1);
        dialog->setDefaultSuffix(pattern);
    });
    dialog->open();
}

bool CWBaseDocument::importCutListFrom(const QString& file)
{
    constexpr qint64 kMaximumBytes = 64 << 20;
    Error error;
    std::optional<QByteArray> list = MediaSource(file).read(kMaximumBytes + 1, &error);
    if (list && list->size() > kMaximumBytes) {
        list.reset();
        error.message = tr("it is larger than 64 MiB");
    }
    std::optional<std::vector<CWCutList::Edit>> edits;
    if (list)
        edits = CWCutList::read(*list, project_->cutListSource(), &error);
    if (!edits) {
        auto* alert = new QMessageBox(QMessageBox::Warning, tr("Import failed"),
                                      tr("“%1” cannot be imported: %2").arg(QFileInfo(file).fileName(), error.message), QMessageBox::Ok);
        alert->setObjectName(QStringLiteral("cutListErrorAlert"));
        showExportAlert(alert);
        return false;
    }
    project_->replaceEdits(*edits, tr("Import Cut List"));
    return true;
}

bool CWBaseDocument::exportCutListTo(const QString& file)
{
    Error error;
    const QByteArray list = CWCutList::write(CWCutList::formatForName(file), project_->edits(), project_->cutListSource());
    if (CWExportTarget(file).writeWhole(list, &error))
        return true;
    auto* alert = new QMessageBox(QMessageBox::Warning, tr("Export failed"), error.message, QMessageBox::Ok);
    alert->setObjectName(QStringLiteral("cutListErrorAlert"));
    showExportAlert(alert);
    return false;
}

void CWBaseDocument::exportMultipleMedia()
{
    QFileDialog* dialog = fileDialog(tr("Export All"), "exportAllDialog", QFileDialog::AcceptOpen,
                                     [this](const QString& folder) { exportMultipleMediaToUrl(folder); });
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, tr("Save All"));
    dialog->open();
}

bool CWBaseDocument::refuseOverlongNames(const QString& target, int64_t pieces)
{
    const QString problem = CWMultiFileExporter::nameLengthProblem(*project_->preset(), *project_->exportAsset(), target, pieces);
    if (problem.isEmpty())
        return false;
    auto* alert = new QMessageBox(QMessageBox::Warning, tr("Export failed"), problem, QMessageBox::Ok);
    alert->setObjectName(QStringLiteral("exportErrorAlert"));
    showExportAlert(alert);
    return true;
}

void CWBaseDocument::exportMediaToUrl(const QString& url)
{
    if (refuseOverlongNames(url, 0))
        return;
    enableButtonsForEditing(false);
    emit CWExportNotifications::instance().exportStarted();
    runExport(CWProjectExporter::singleFile(*project_), url);
}

void CWBaseDocument::exportMultipleMediaToUrl(const QString& folder)
{
    if (refuseOverlongNames(folder, int64_t(project_->splits().size()) + 1))
        return;
    emit CWExportNotifications::instance().exportStarted();
    runExport(CWProjectExporter::filePerPiece(*project_), folder);
}

void CWBaseDocument::runExport(std::shared_ptr<CWExporter> exporter, const QString& target)
{
    activeExporter_ = exporter;
    auto exporting = std::make_shared<std::atomic<bool>>(true);
    activeExportFlag_ = exporting;
    ++runningExports_;
    for (const QPointer<CWDocumentWindowController>& window : windowControllers_)
        if (window)
            window->beginProgress();
    const CMTime duration = project_ ? project_->duration() : kCMTimeZero;

    QPointer<CWBaseDocument> self(this);
    // The exporter must outlive its running piece, so the completion keeps it; the holder breaks the
    // cycle once the completion has run.
    auto holder = std::make_shared<std::shared_ptr<CWExporter>>(exporter);
    exporter->setProgressHandler(
        [self, exporting](double progress, CMTime time) {
            MainQueue::async([self, exporting, progress, time] {
                if (!self || !exporting->load())
                    return; // a stopped export's late reports no longer move the window
                emit CWExportNotifications::instance().exportUpdated(progress * 100.0);
                for (const QPointer<CWDocumentWindowController>& window : self->windowControllers_)
                    if (window)
                        window->updateProgress(progress, time);
            });
            return exporting->load();
        },
        [self, exporting, holder, target, duration](const std::optional<Error>& error, int64_t status) {
            std::shared_ptr<CWExporter> keep = std::move(*holder);
            MainQueue::async([self, exporting, keep, target, duration, error, status] {
                if (self)
                    self->completeExport(exporting, target, error, status, duration, *keep);
            });
        });
    exporter->exportProjectTo(target);
}

QString CWBaseDocument::savedWhere(const QString& target, int64_t pieces)
{
    const QFileInfo info(target);
    if (pieces < 0)
        return tr("Saved as “%1” in the folder “%2”.").arg(info.fileName(), info.absolutePath());
    if (pieces == 1)
        return tr("1 file saved in the folder “%1”.").arg(info.absoluteFilePath());
    return tr("%1 files saved in the folder “%2”.").arg(pieces).arg(info.absoluteFilePath());
}

void CWBaseDocument::completeExport(const std::shared_ptr<std::atomic<bool>>& exporting, const QString& target,
                                    const std::optional<Error>& error, int64_t status, CMTime duration, const CWExporter& exporter)
{
    const auto* multiple = dynamic_cast<const CWMultiFileExporter*>(&exporter);
    const int64_t pieces = multiple ? multiple->exportedPieces() : -1;
    --runningExports_;
    emit CWExportNotifications::instance().exportEnded();
    // A newer export may have started after this one was stopped; its state is not this one's to end.
    const bool latest = exporting == activeExportFlag_;
    if (latest) {
        for (const QPointer<CWDocumentWindowController>& window : windowControllers_) {
            if (!window)
                continue;
            window->updateProgress(1.0, duration);
            window->endProgress();
        }
    }
    if (error) {
        CWLog(QStringLiteral("\n\nerror:%1\n\n").arg(error->describe()));
        auto* alert = new QMessageBox(QMessageBox::Warning, tr("Export failed"), error->describe(), QMessageBox::Ok);
        alert->setObjectName(QStringLiteral("exportErrorAlert"));
        alert->setInformativeText(!error->recoverySuggestion.isEmpty() ? error->recoverySuggestion : error->failureReason);
        showExportAlert(alert);
    } else if (status == CWExportStatusCompleted) {
        auto* alert = new QMessageBox(QMessageBox::Information, tr("Export"), tr("Export successful"));
        alert->setObjectName(QStringLiteral("exportSuccessAlert"));
        alert->setInformativeText(savedWhere(target, pieces));
        alert->addButton(tr("OK"), QMessageBox::AcceptRole);
        QPushButton* show = alert->addButton(tr("Show File"), QMessageBox::ActionRole);
        show->setObjectName(QStringLiteral("showFileButton"));
        show->setShortcut(QKeySequence(tr("Ctrl+R")));
        QPointer<CWBaseDocument> self(this);
        connect(show, &QPushButton::clicked, this, [self, target] {
            FileManagerReveal::showItem(target, [self](const QString& message) {
                if (!self)
                    return;
                auto* failure = new QMessageBox(QMessageBox::Warning, tr("Show File"), message, QMessageBox::Ok);
                failure->setObjectName(QStringLiteral("showFileFailedAlert"));
                self->showExportAlert(failure);
            });
        });
        showExportAlert(alert);
    }
    if (latest)
        stopExport();
    finishIfIdle();
}

void CWBaseDocument::showExportAlert(QWidget* alert)
{
    CWDocumentWindowController* window = windowControllers_.empty() ? nullptr : windowControllers_.front().data();
    if (closing_ || !window) {
        delete alert; // nobody is left to read it
        return;
    }
    auto* box = static_cast<QMessageBox*>(alert);
    box->setParent(window, box->windowFlags());
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    exportAlert_ = box;
    box->open();
}

void CWBaseDocument::stopExport()
{
    activeExporter_ = nullptr;
    if (activeExportFlag_)
        activeExportFlag_->store(false);
    enableButtonsForEditing(true);
}

void CWBaseDocument::windowWillClose(CWDocumentWindowController* window)
{
    std::erase_if(windowControllers_, [window](const QPointer<CWDocumentWindowController>& w) { return !w || w == window; });
    window->deleteLater(); // closed for good; nothing may reach this document through it later
    if (!windowControllers_.empty())
        return;
    closing_ = true;
    if (isExporting())
        stopExport(); // the session cancels at its next report and removes what it started to write
    finishIfIdle();
}

bool CWBaseDocument::asksBeforeClosing(const CWDocumentWindowController* window) const
{
    const bool onlyWindow =
        std::all_of(windowControllers_.begin(), windowControllers_.end(), [window](const auto& w) { return !w || w == window; });
    return isExporting() && !closing_ && onlyWindow;
}

void CWBaseDocument::close()
{
    closing_ = true; // no window asks: the caller has decided
    const auto windows = windowControllers_;
    for (const QPointer<CWDocumentWindowController>& window : windows)
        if (window)
            window->close();
    if (windows.empty()) {
        stopExport();
        finishIfIdle();
    }
}

void CWBaseDocument::finishIfIdle()
{
    if (closing_ && runningExports_ == 0)
        emit finished();
}
