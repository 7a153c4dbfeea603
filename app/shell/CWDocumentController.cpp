#include "CWDocumentController.h"

#include "CWBaseDocument.h"
#include "CWDocumentWindowController.h"
#include "MainQueue.h"
#include "MediaAsset.h"
#include "StopExportQuestion.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <thread>

namespace {
const QString kRecentDocumentsKey = QStringLiteral("recentDocuments");
CWDocumentController* shared = nullptr;
} // namespace

CWDocumentController::CWDocumentController(QObject* parent) : QObject(parent), quit_([] { QCoreApplication::quit(); }) { shared = this; }

CWDocumentController::~CWDocumentController()
{
    if (shared == this)
        shared = nullptr;
}

CWDocumentController* CWDocumentController::sharedDocumentController() { return shared; }

CWBaseDocument* CWDocumentController::raiseOpenDocument(const QString& absolute) const
{
    for (const std::unique_ptr<CWBaseDocument>& document : documents_) {
        if (document->fileURL() == absolute && !document->windowControllers().empty()) {
            CWDocumentWindowController* window = document->windowControllers().front();
            window->raise();
            window->activateWindow();
            return document.get();
        }
    }
    return nullptr;
}

CWBaseDocument* CWDocumentController::openDocumentWithContentsOfURL(const QString& path, Error* error)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (CWBaseDocument* open = raiseOpenDocument(absolute))
        return open;
    return addDocument(CWBaseDocument::open(absolute, error), absolute);
}

CWBaseDocument* CWDocumentController::addDocument(std::unique_ptr<CWBaseDocument> document, const QString& absolute)
{
    if (!document)
        return nullptr;
    CWBaseDocument* opened = document.get();
    connect(opened, &CWBaseDocument::finished, this, [this, opened] { documentFinished(opened); });
    documents_.push_back(std::move(document));
    opened->makeWindowControllers();
    opened->keepEdits();
    noteNewRecentDocumentURL(absolute);
    return opened;
}

void CWDocumentController::openDocuments(const QStringList& paths)
{
    for (const QString& path : paths) {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        if (!raiseOpenDocument(absolute))
            startOpening(absolute);
    }
}

void CWDocumentController::startOpening(const QString& absolute)
{
    // The file is read on a thread of its own (a slow disk or a stalled network folder would otherwise
    // freeze every window); meanwhile a small window says so and can be closed, which forgets the file.
    auto* opening = new QProgressDialog(tr("Opening “%1”…").arg(QFileInfo(absolute).fileName()), tr("Stop"), 0, 0);
    opening->setObjectName(QStringLiteral("openingWindow"));
    opening->setWindowTitle(tr("Opening"));
    opening->setMinimumDuration(0);
    opening->setAttribute(Qt::WA_DeleteOnClose);
    connect(opening, &QProgressDialog::canceled, opening, &QWidget::close);
    connect(opening, &QObject::destroyed, this,
            [this] { QMetaObject::invokeMethod(this, &CWDocumentController::quitIfIdle, Qt::QueuedConnection); });
    opening_.emplace_back(opening);
    opening->show();
    QPointer<CWDocumentController> self(this);
    QPointer<QProgressDialog> shown(opening);
    // Detached: a read that never returns must not hold up the end of the application.
    std::thread([self, shown, absolute] {
        auto error = std::make_shared<Error>();
        std::shared_ptr<MediaAsset> asset = MediaAsset::open(absolute, error.get());
        MainQueue::async([self, shown, absolute, asset, error] {
            if (self)
                self->finishOpening(shown, absolute, asset, *error);
        });
    }).detach();
}

void CWDocumentController::finishOpening(const QPointer<QProgressDialog>& opening, const QString& absolute,
                                         std::shared_ptr<MediaAsset> asset, const Error& openError)
{
    std::erase_if(opening_, [&](const QPointer<QProgressDialog>& window) { return !window || window == opening; });
    if (!opening || !opening->isVisible())
        return; // stopped by the user: the file is forgotten
    opening->close();
    if (raiseOpenDocument(absolute))
        return;
    Error error;
    if (!addDocument(CWBaseDocument::fromAsset(absolute, std::move(asset), openError, &error), absolute))
        showOpenFailure(absolute, error);
}

void CWDocumentController::openDocument()
{
    if (openDialog_) {
        openDialog_->raise();
        return;
    }
    QWidget* window = QApplication::activeWindow();
    auto* dialog = new QFileDialog(qobject_cast<CWDocumentWindowController*>(window), tr("Open"));
    dialog->setObjectName(QStringLiteral("openDialog"));
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setNameFilters({tr("Audio and video files (*.mp4 *.m4v *.mov *.m4a *.mp3 *.aac *.wav *.aif *.aiff *.aifc *.flac *.ogg *.oga "
                               "*.opus *.mkv *.mka *.webm *.avi *.mts *.m2ts *.ts *.mpg *.mpeg *.3gp *.wma *.wmv *.caf *.qoa)"),
                            tr("All files (*)")});
    if (!recentDocumentURLs().isEmpty())
        dialog->setDirectory(QFileInfo(recentDocumentURLs().front()).absolutePath());
    dialog->setWindowModality(dialog->parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    openDialog_ = dialog;
    connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList& files) {
        QMetaObject::invokeMethod(
            this, [this, files] { openDocuments(files); }, Qt::QueuedConnection);
    });
    connect(dialog, &QObject::destroyed, this,
            [this] { QMetaObject::invokeMethod(this, &CWDocumentController::quitIfIdle, Qt::QueuedConnection); });
    dialog->open();
}

void CWDocumentController::activate()
{
    for (const std::unique_ptr<CWBaseDocument>& document : documents_) {
        if (!document->windowControllers().empty()) {
            CWDocumentWindowController* window = document->windowControllers().front();
            window->raise();
            window->activateWindow();
            return;
        }
    }
    openDocument();
}

void CWDocumentController::showOpenFailure(const QString& path, const Error& error)
{
    auto* alert =
        new QMessageBox(QMessageBox::Critical, tr("Open"), tr("The file “%1” could not be opened.").arg(QFileInfo(path).fileName()));
    alert->setObjectName(QStringLiteral("openFailureAlert"));
    QString details = error.describe();
    if (!error.failureReason.isEmpty())
        details += QLatin1Char('\n') + error.failureReason;
    alert->setInformativeText(details);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::ApplicationModal);
    openFailureAlert_ = alert;
    connect(alert, &QObject::destroyed, this,
            [this] { QMetaObject::invokeMethod(this, &CWDocumentController::quitIfIdle, Qt::QueuedConnection); });
    alert->open();
}

QStringList CWDocumentController::recentDocumentURLs() const { return UserDefaults::stringListForKey(kRecentDocumentsKey); }

void CWDocumentController::noteNewRecentDocumentURL(const QString& path)
{
    QStringList recent = recentDocumentURLs();
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > kMaximumRecentDocuments)
        recent.removeLast();
    UserDefaults::setStringList(kRecentDocumentsKey, recent);
    emit recentDocumentsChanged();
}

void CWDocumentController::clearRecentDocuments()
{
    UserDefaults::removeObjectForKey(kRecentDocumentsKey);
    emit recentDocumentsChanged();
}

void CWDocumentController::terminate()
{
    if (openDialog_)
        openDialog_->close();
    // Closing a document that exports nothing ends it at once, which takes it off the list.
    std::vector<QPointer<CWBaseDocument>> open;
    for (const std::unique_ptr<CWBaseDocument>& document : documents_)
        open.emplace_back(document.get());
    for (const QPointer<CWBaseDocument>& document : open)
        if (document)
            document->close();
    quitIfIdle();
}

void CWDocumentController::requestQuit()
{
    std::vector<CWBaseDocument*> exporting;
    for (const std::unique_ptr<CWBaseDocument>& document : documents_)
        if (document->isExporting())
            exporting.push_back(document.get());
    if (exporting.empty()) {
        terminate();
        return;
    }
    if (quitQuestion_) {
        quitQuestion_->raise();
        return;
    }
    const auto& windows = exporting.front()->windowControllers();
    QWidget* parent = windows.empty() ? nullptr : windows.front().data();
    if (parent)
        parent->raise();
    const QString text = exporting.size() == 1 ? tr("An export is in progress. Stop it and quit?")
                                               : tr("%1 exports are in progress. Stop them and quit?").arg(exporting.size());
    quitQuestion_ = StopExportQuestion::ask(parent, text, tr("Stop and Quit"), [this] { terminate(); });
}

void CWDocumentController::showPreferences() const
{
    if (showPreferences_)
        showPreferences_();
}

void CWDocumentController::checkForUpdates() const
{
    if (checkForUpdates_)
        checkForUpdates_();
}

void CWDocumentController::documentFinished(CWBaseDocument* document)
{
    const auto it = std::find_if(documents_.begin(), documents_.end(), [document](const auto& d) { return d.get() == document; });
    if (it == documents_.end())
        return;
    it->release()->deleteLater(); // it is emitting the signal that brought us here
    documents_.erase(it);
    quitIfIdle();
}

void CWDocumentController::quitIfIdle()
{
    std::erase_if(opening_, [](const QPointer<QProgressDialog>& window) { return !window; });
    if (documents_.empty() && !openDialog_ && !openFailureAlert_ && opening_.empty())
        quit_();
}
