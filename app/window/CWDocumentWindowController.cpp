#include "CWDocumentWindowController.h"

#include "CWBaseDocument.h"
#include "CWBaseSplitView.h"
#include "CWBaseSplitViewController.h"
#include "CWDocumentController.h"
#include "CWFirstStepsOverlayController.h"
#include "CWFrameInformation.h"
#include "CWOverlayHostView.h"
#include "CWPresetChooser.h"
#include "CWProject.h"
#include "CWReadOuts.h"
#include "CWRestoredEditsBar.h"
#include "CWTrackChooser.h"
#include "CWWindowActions.h"
#include "MediaAsset.h"
#include "Player.h"
#include "PlayerView.h"
#include "StopExportQuestion.h"
#include "SystemBeep.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

CWDocumentWindowController::CWDocumentWindowController(CWBaseDocument* document)
    : document_(document), player_(new Player(document->project()->avAsset(), this)), playerView_(new PlayerView),
      splitViewHolder_(new QWidget), readOuts_(new CWReadOuts(this)),
      presets_(new CWPresetChooser(
          this, [this] { return project(); }, [this](const CWPresetClass& presetClass) { return shouldIncludePresetClass(presetClass); })),
      tracks_(new CWTrackChooser(this, [this] { return project(); }))
{
    setObjectName(QStringLiteral("documentWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false); // the document owns its window
    playerView_->setPlayer(player_);
    splitViewHolder_->setObjectName(QStringLiteral("splitViewHolder"));
    splitViewHolder_->setFixedHeight(100);
    // However small the window, the picture stays big enough to see what is being cut.
    playerView_->setMinimumSize(kMinimumPictureSize);
    connect(presets_, &CWPresetChooser::menuBuilt, this, &CWDocumentWindowController::validateToolbarItems);
    // What the presets can make, and what they say they make, depends on the tracks taken.
    connect(tracks_, &CWTrackChooser::choiceChanged, presets_, [this] {
        presets_->updateMenu();
        presets_->updateInformation();
    });
    presets_->row()->insertWidget(presets_->row()->count() - 1, tracks_->button());

    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    restoredEditsBar_ = new CWRestoredEditsBar(content);
    connect(restoredEditsBar_, &CWRestoredEditsBar::discardRequested, this,
            [this] { project()->replaceEdits({}, tr("Discard Restored Edits")); });
    layout->addWidget(restoredEditsBar_);
    layout->addWidget(playerView_, 1);
    layout->addWidget(splitViewHolder_);
    layout->addLayout(readOuts_->row());
    layout->addLayout(presets_->row());
    layout->addWidget(presets_->description());
    setCentralWidget(content);

    actions_ = new CWWindowActions(*this);
    updateTitle();
}

void CWDocumentWindowController::showRestoredEdits(int cuts, int splits, const QDateTime& saved)
{
    restoredEditsBar_->showRestored(cuts, splits, saved);
}

CWDocumentWindowController::~CWDocumentWindowController()
{
    if (periodicObserver_)
        player_->removeTimeObserver(periodicObserver_);
}

std::shared_ptr<CWProject> CWDocumentWindowController::project() const { return document_->project(); }

CWBaseSplitView* CWDocumentWindowController::splitView() const
{
    return splitViewController_ ? splitViewController_->splitView() : nullptr;
}

CWBaseSplitViewController* CWDocumentWindowController::makeSplitViewController() { return new CWBaseSplitViewController(this); }

bool CWDocumentWindowController::shouldIncludePresetClass(const CWPresetClass&) const { return true; }

void CWDocumentWindowController::windowDidLoad()
{
    if (loaded_)
        return;
    loaded_ = true;
    endProgress();
    const CMTime duration = project() ? project()->duration() : kCMTimeZero;
    periodicObserver_ = player_->addPeriodicTimeObserver(CMTimeMakeWithSeconds(0.1, duration.timescale),
                                                         [this](CMTime time) { playerChangedTimeTo(time); });
    splitViewController_ = makeSplitViewController();
    splitViewController_->loadView(splitViewHolder_);
    splitViewController_->usePlayer(player_, project(), playerView_);
    if (CWBaseSplitView* strip = splitView())
        connect(strip, &CWBaseSplitView::editingBlockedChanged, this, &CWDocumentWindowController::validateToolbarItems);
    validateToolbarItems();
    framesField()->setVisible(project() && project()->frameInformation());
    playerChangedTimeTo(kCMTimeZero);
    connect(project().get(), &CWProject::projectChanged, this, &CWDocumentWindowController::projectWasModified);
    tracks_->update();
    presets_->updateMenu();
    presets_->updateInformation();
    CWDocumentController* controller = CWDocumentController::sharedDocumentController();
    resize(controller && controller->prepareForScreenshot() ? kScreenshotSize : QSize(960, 680));
}

// ---- the parts' widgets

QProgressBar* CWDocumentWindowController::progressIndicator() const { return readOuts_->progressIndicator(); }
QLabel* CWDocumentWindowController::timeField() const { return readOuts_->timeField(); }
QLabel* CWDocumentWindowController::framesField() const { return readOuts_->framesField(); }
QToolButton* CWDocumentWindowController::presetButton() const { return presets_->button(); }
QToolButton* CWDocumentWindowController::presetConfigurationButton() const { return presets_->configurationButton(); }
QLabel* CWDocumentWindowController::presetDescription() const { return presets_->description(); }
QWidget* CWDocumentWindowController::bitrateContainer() const { return presets_->bitrateContainer(); }
QComboBox* CWDocumentWindowController::bitratePopup() const { return presets_->bitratePopup(); }
QWidget* CWDocumentWindowController::sampleRateContainer() const { return presets_->sampleRateContainer(); }
QComboBox* CWDocumentWindowController::sampleRatePopup() const { return presets_->sampleRatePopup(); }
QWidget* CWDocumentWindowController::qualityContainer() const { return presets_->qualityContainer(); }
QComboBox* CWDocumentWindowController::qualityPopup() const { return presets_->qualityPopup(); }
QWidget* CWDocumentWindowController::passthroughModeContainer() const { return presets_->passthroughModeContainer(); }
QComboBox* CWDocumentWindowController::passthroughModePopup() const { return presets_->passthroughModePopup(); }
QWidget* CWDocumentWindowController::configurationPopover() const { return presets_->configurationPopover(); }
QAction* CWDocumentWindowController::startButton() const { return actions_->start(); }
QAction* CWDocumentWindowController::exportAllButton() const { return actions_->exportAll(); }
QAction* CWDocumentWindowController::stopButton() const { return actions_->stop(); }
QAction* CWDocumentWindowController::plusButton() const { return actions_->plus(); }
QAction* CWDocumentWindowController::minusButton() const { return actions_->minus(); }
QAction* CWDocumentWindowController::splitButton() const { return actions_->split(); }
QAction* CWDocumentWindowController::removeAllButton() const { return actions_->removeAll(); }
QAction* CWDocumentWindowController::keepAllButton() const { return actions_->keepAll(); }
QAction* CWDocumentWindowController::introButton() const { return actions_->intro(); }
QAction* CWDocumentWindowController::undoAction() const { return actions_->undo(); }
QAction* CWDocumentWindowController::redoAction() const { return actions_->redo(); }
QMenu* CWDocumentWindowController::recentMenu() const { return actions_->recentMenu(); }

// ---- read-outs

QString CWDocumentWindowController::stringFromCMTime(CMTime time) { return CWReadOuts::stringFromCMTime(time); }

CMTime CWDocumentWindowController::currentTime() const { return player_ ? player_->currentTime() : kCMTimeZero; }

void CWDocumentWindowController::projectWasModified()
{
    if (CWBaseSplitView* strip = splitView())
        strip->update();
    readOuts_->show(project().get(), currentTime(), document_->isExporting());
}

void CWDocumentWindowController::playerChangedTimeTo(CMTime time)
{
    projectWasModified();
    timeField()->setText(CWReadOuts::timeInformation(project().get(), time));
}

// ---- presets

void CWDocumentWindowController::updatePresetMenu() { presets_->updateMenu(); }

void CWDocumentWindowController::buildMenuWithCompatiblePresetClasses(const std::vector<const CWPresetClass*>& classes)
{
    presets_->buildMenu(classes);
}

bool CWDocumentWindowController::hasCompatiblePresets() const { return presets_->hasCompatiblePresets(); }

int CWDocumentWindowController::presetMenuBuilds() const { return presets_->menuBuilds(); }

void CWDocumentWindowController::changeBitrate() { presets_->changeBitrate(); }

void CWDocumentWindowController::changePassthroughMode() { presets_->changePassthroughMode(); }

// ---- edits

void CWDocumentWindowController::addSplit()
{
    if (project()->addSplitAt(currentTime()))
        projectWasModified();
    else
        SystemBeep::beep();
}

void CWDocumentWindowController::addCut()
{
    if (project()->addCutAt(currentTime()))
        projectWasModified();
    else
        SystemBeep::beep();
}

void CWDocumentWindowController::removeCut()
{
    project()->removeCutAt(currentTime());
    projectWasModified();
}

void CWDocumentWindowController::removeAll()
{
    project()->splitFromStartToEnd();
    projectWasModified();
}

void CWDocumentWindowController::removeNothing()
{
    project()->removeAllSplits();
    projectWasModified();
}

void CWDocumentWindowController::stepFrame(int direction)
{
    const CMTime now = currentTime();
    CMTime target = kCMTimeInvalid;
    if (const std::shared_ptr<const CWFrameInformation> frames = project()->frameInformation())
        target = direction > 0 ? frames->nextFrameTime(now) : frames->previousFrameTime(now);
    else
        target = CMTimeAdd(now, CMTimeMake(direction, 30)); // no frames to step by: a thirtieth of a second
    if (CMTIME_IS_VALID(target))
        player_->seekToTime(target);
}

// ---- export

void CWDocumentWindowController::exportMedia()
{
    if (!presets_->hasCompatiblePresets())
        return SystemBeep::beep();
    document_->exportMedia();
}

void CWDocumentWindowController::exportAllMedia()
{
    if (!presets_->hasCompatiblePresets())
        return SystemBeep::beep();
    document_->exportMultipleMedia();
}

void CWDocumentWindowController::stopExport() { document_->stopExport(); }

CWFirstStepsOverlayController* CWDocumentWindowController::introController() const { return introController_; }

void CWDocumentWindowController::showIntroduction()
{
    if (introController_) {
        introController_->deactivate();
        return;
    }
    QAction* button = introButton();
    button->setText(tr("Hide Introduction"));
    introController_ = CWFirstStepsOverlayController::controllerForView(this);
    // A tour without steps has closed already.
    if (!introController_ || !introController_->hostView()->isVisible()) {
        button->setText(tr("Show Introduction"));
        return;
    }
    connect(introController_, &CWFirstStepsOverlayController::deactivated, this, [this, button] {
        button->setText(tr("Show Introduction"));
        introController_ = nullptr;
    });
}

void CWDocumentWindowController::beginProgress()
{
    progressIndicator()->setValue(0);
    enableButtonsForEditing(false);
    updateTitle(0);
}

void CWDocumentWindowController::updateProgress(double progress, CMTime time)
{
    progressIndicator()->setValue(int(progress * 100.0));
    if (document_->isExporting())
        updateTitle(int(progress * 100.0));
    // The picture follows the export; on the way the nearest keyframe is enough, the end is exact.
    const CMTime tolerance = progress >= 1.0 ? kCMTimeZero : kCMTimePositiveInfinity;
    player_->seekToTime(time, tolerance, tolerance);
}

void CWDocumentWindowController::endProgress() { enableButtonsForEditing(true); }

void CWDocumentWindowController::enableButtonsForEditing(bool enabled)
{
    readOuts_->showProgress(!enabled);
    if (enabled)
        updateTitle();
    validateToolbarItems();
}

void CWDocumentWindowController::validateToolbarItems()
{
    const bool exporting = document_->isExporting();
    actions_->validate(exporting, presets_->hasCompatiblePresets(), splitView() && splitView()->blocksEditing());
    presets_->button()->setEnabled(!exporting);
    tracks_->button()->setEnabled(!exporting);
}

void CWDocumentWindowController::updateTitle(int percentage)
{
    const QString name = document_->displayName();
    setWindowTitle(percentage < 0 ? name : tr("%1 — Exporting %2%").arg(name).arg(percentage));
}

// ---- closing

QMessageBox* CWDocumentWindowController::stopExportQuestion() const { return stopExportQuestion_; }

void CWDocumentWindowController::closeEvent(QCloseEvent* event)
{
    if (document_->asksBeforeClosing(this)) {
        event->ignore();
        if (stopExportQuestion_)
            stopExportQuestion_->raise();
        else
            stopExportQuestion_ =
                StopExportQuestion::ask(this, tr("An export is in progress. Stop it and close?"), tr("Stop and Close"), [this] {
                    document_->stopExport();
                    close();
                });
        return;
    }
    player_->pause();
    if (splitViewController_)
        splitViewController_->releasePlayerItem();
    if (periodicObserver_) {
        player_->removeTimeObserver(periodicObserver_);
        periodicObserver_ = 0;
    }
    event->accept();
    emit windowWillClose();
}
