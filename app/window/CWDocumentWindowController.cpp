#include "CWDocumentWindowController.h"

#include "CWBaseDocument.h"
#include "CWDocumentController.h"
#include "CWProject.h"
#include "Player.h"
#include "PlayerView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMenuBar>
#include <QProgressBar>
#include <QToolBar>
#include <QUndoStack>
#include <QVBoxLayout>

CWDocumentWindowController::CWDocumentWindowController(CWBaseDocument* document)
    : document_(document), player_(new Player(document->project()->avAsset(), this)), playerView_(new PlayerView),
      splitViewHolder_(new QWidget), progressIndicator_(new QProgressBar), startButton_(new QAction(tr("Export"), this)),
      exportAllButton_(new QAction(tr("Export All"), this)), stopButton_(new QAction(tr("Stop"), this))
{
    setObjectName(QStringLiteral("documentWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false); // the document owns its window
    playerView_->setPlayer(player_);
    splitViewHolder_->setObjectName(QStringLiteral("splitViewHolder"));
    progressIndicator_->setObjectName(QStringLiteral("progressIndicator"));
    progressIndicator_->setRange(0, 100);

    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->addWidget(playerView_, 1);
    layout->addWidget(splitViewHolder_);
    layout->addWidget(progressIndicator_);
    setCentralWidget(content);

    startButton_->setObjectName(QStringLiteral("startButton"));
    startButton_->setToolTip(tr("Export the kept parts as one file"));
    exportAllButton_->setObjectName(QStringLiteral("exportAllButton"));
    exportAllButton_->setToolTip(tr("Export each kept part as a file of its own"));
    stopButton_->setObjectName(QStringLiteral("stopButton"));
    stopButton_->setToolTip(tr("Stop the export"));
    connect(startButton_, &QAction::triggered, this, &CWDocumentWindowController::exportMedia);
    connect(exportAllButton_, &QAction::triggered, this, &CWDocumentWindowController::exportAllMedia);
    connect(stopButton_, &QAction::triggered, this, &CWDocumentWindowController::stopExport);
    QToolBar* toolbar = addToolBar(tr("Toolbar"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    toolbar->addAction(startButton_);
    toolbar->addAction(exportAllButton_);
    toolbar->addAction(stopButton_);

    buildMenus();
    updateTitle();
    endProgress();

    CWDocumentController* controller = CWDocumentController::sharedDocumentController();
    if (controller && controller->prepareForScreenshot())
        resize(kScreenshotSize);
    else
        resize(960, 640);
}

CWDocumentWindowController::~CWDocumentWindowController() = default;

void CWDocumentWindowController::buildMenus()
{
    CWDocumentController* controller = CWDocumentController::sharedDocumentController();
    QMenu* file = menuBar()->addMenu(tr("&File"));
    if (controller) {
        file->addAction(tr("&Open…"), QKeySequence::Open, controller, &CWDocumentController::openDocument);
        recentMenu_ = file->addMenu(tr("Open &Recent"));
        recentMenu_->setObjectName(QStringLiteral("recentMenu"));
        connect(recentMenu_, &QMenu::aboutToShow, this, &CWDocumentWindowController::rebuildRecentMenu);
        rebuildRecentMenu();
        file->addSeparator();
    }
    exportMenuItem_ = file->addAction(tr("&Export…"), QKeySequence(tr("Ctrl+E")), this, &CWDocumentWindowController::exportMedia);
    exportAllMenuItem_ =
        file->addAction(tr("Export &All…"), QKeySequence(tr("Ctrl+Shift+E")), this, &CWDocumentWindowController::exportAllMedia);
    file->addSeparator();
    file->addAction(tr("&Close Window"), QKeySequence::Close, this, &QWidget::close);
    if (controller)
        file->addAction(tr("&Quit"), QKeySequence::Quit, controller, &CWDocumentController::terminate);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    undoAction_ = document_->undoStack()->createUndoAction(this, tr("Undo"));
    undoAction_->setShortcut(QKeySequence(tr("Ctrl+Z")));
    redoAction_ = document_->undoStack()->createRedoAction(this, tr("Redo"));
    redoAction_->setShortcut(QKeySequence(tr("Ctrl+Shift+Z")));
    edit->addAction(undoAction_);
    edit->addAction(redoAction_);
    if (controller) {
        edit->addSeparator();
        QAction* preferences =
            edit->addAction(tr("&Preferences…"), QKeySequence(tr("Ctrl+,")), controller, &CWDocumentController::showPreferences);
        preferences->setMenuRole(QAction::PreferencesRole);
    }
}

void CWDocumentWindowController::rebuildRecentMenu()
{
    CWDocumentController* controller = CWDocumentController::sharedDocumentController();
    recentMenu_->clear();
    const QStringList recent = controller->recentDocumentURLs();
    for (const QString& path : recent) {
        QAction* item =
            recentMenu_->addAction(QFileInfo(path).fileName(), controller, [controller, path] { controller->openDocuments({path}); });
        item->setToolTip(path);
    }
    recentMenu_->addSeparator();
    QAction* clear = recentMenu_->addAction(tr("Clear Menu"), controller, &CWDocumentController::clearRecentDocuments);
    clear->setEnabled(!recent.isEmpty());
}

void CWDocumentWindowController::beginProgress()
{
    progressIndicator_->setValue(0);
    enableButtonsForEditing(false);
    updateTitle(0);
}

void CWDocumentWindowController::updateProgress(double progress, CMTime time)
{
    progressIndicator_->setValue(int(progress * 100.0));
    if (document_->isExporting())
        updateTitle(int(progress * 100.0));
    // The picture follows the export; on the way the nearest keyframe is enough, the end is exact.
    const CMTime tolerance = progress >= 1.0 ? kCMTimeZero : kCMTimePositiveInfinity;
    player_->seekToTime(time, tolerance, tolerance);
}

void CWDocumentWindowController::endProgress()
{
    enableButtonsForEditing(true);
    updateTitle();
}

void CWDocumentWindowController::enableButtonsForEditing(bool enabled)
{
    progressIndicator_->setVisible(!enabled);
    if (enabled)
        updateTitle();
    validateToolbarItems();
}

void CWDocumentWindowController::setHasCompatiblePresets(bool available)
{
    hasCompatiblePresetsAvailable_ = available;
    validateToolbarItems();
}

void CWDocumentWindowController::validateToolbarItems()
{
    const bool exporting = document_->isExporting();
    stopButton_->setEnabled(exporting);
    startButton_->setEnabled(!exporting && hasCompatiblePresetsAvailable_);
    exportAllButton_->setEnabled(!exporting);
    exportMenuItem_->setEnabled(startButton_->isEnabled());
    exportAllMenuItem_->setEnabled(!exporting);
}

void CWDocumentWindowController::updateTitle(int percentage)
{
    const QString name = document_->displayName();
    setWindowTitle(percentage < 0 ? name : tr("%1 — Exporting %2%").arg(name).arg(percentage));
}

void CWDocumentWindowController::exportMedia()
{
    if (!hasCompatiblePresetsAvailable_)
        return QApplication::beep();
    document_->exportMedia();
}

void CWDocumentWindowController::exportAllMedia()
{
    if (!hasCompatiblePresetsAvailable_)
        return QApplication::beep();
    document_->exportMultipleMedia();
}

void CWDocumentWindowController::stopExport() { document_->stopExport(); }

void CWDocumentWindowController::closeEvent(QCloseEvent* event)
{
    player_->pause();
    event->accept();
    emit windowWillClose();
}
