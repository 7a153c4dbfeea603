#include "CWDocumentWindowController.h"

#include "CWBaseDocument.h"
#include "CWBaseSplitView.h"
#include "CWBaseSplitViewController.h"
#include "CWBitrateConfigurationItem.h"
#include "CWDocumentController.h"
#include "CWFirstStepsOverlayController.h"
#include "CWFrameInformation.h"
#include "CWHighLowQualityPreset.h"
#include "CWOverlayHostView.h"
#include "CWPassThroughPreset.h"
#include "CWPreset.h"
#include "CWPresetQualityControlViewController.h"
#include "CWProject.h"
#include "MediaAsset.h"
#include "Player.h"
#include "PlayerView.h"
#include "StopExportQuestion.h"
#include "SystemBeep.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QWidgetAction>

#include <algorithm>

Q_DECLARE_METATYPE(const CWPresetClass*)

namespace {
// The preset class a menu item stands for.
const CWPresetClass* presetClassOf(const QAction* action) { return action->data().value<const CWPresetClass*>(); }
} // namespace

CWDocumentWindowController::CWDocumentWindowController(CWBaseDocument* document)
    : document_(document), player_(new Player(document->project()->avAsset(), this)), playerView_(new PlayerView),
      splitViewHolder_(new QWidget), progressIndicator_(new QProgressBar), timeField_(new QLabel), framesField_(new QLabel),
      presetButton_(new QToolButton), presetConfigurationButton_(new QToolButton), presetDescription_(new QLabel),
      bitratePopup_(new QComboBox), sampleRatePopup_(new QComboBox), qualityPopup_(new QComboBox), passthroughModePopup_(new QComboBox),
      startButton_(new QAction(tr("Export"), this)), exportAllButton_(new QAction(tr("Export All"), this)),
      stopButton_(new QAction(tr("Stop"), this)), plusButton_(new QAction(tr("Add Cut"), this)),
      minusButton_(new QAction(tr("Remove Cut"), this)), splitButton_(new QAction(tr("Split"), this)),
      removeAllButton_(new QAction(tr("Remove All"), this)), keepAllButton_(new QAction(tr("Keep All"), this)),
      introButton_(new QAction(tr("Show Introduction"), this))
{
    setObjectName(QStringLiteral("documentWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false); // the document owns its window
    playerView_->setPlayer(player_);
    splitViewHolder_->setObjectName(QStringLiteral("splitViewHolder"));
    splitViewHolder_->setFixedHeight(100);
    // However small the window, the picture stays big enough to see what is being cut.
    playerView_->setMinimumSize(kMinimumPictureSize);
    progressIndicator_->setObjectName(QStringLiteral("progressIndicator"));
    progressIndicator_->setRange(0, 100);
    timeField_->setObjectName(QStringLiteral("timeField"));
    framesField_->setObjectName(QStringLiteral("framesField"));
    framesField_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    presetButton_->setObjectName(QStringLiteral("presetButton"));
    presetButton_->setPopupMode(QToolButton::InstantPopup);
    presetButton_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    presetButton_->setMinimumWidth(180);
    presetButton_->setMenu(new QMenu(presetButton_));
    presetButton_->setAccessibleName(tr("Preset"));
    presetButton_->menu()->setAccessibleName(tr("Presets"));
    presetConfigurationButton_->setObjectName(QStringLiteral("presetConfigurationButton"));
    presetConfigurationButton_->setText(tr("Configure…"));
    presetConfigurationButton_->setToolTip(tr("Preset settings"));
    connect(presetConfigurationButton_, &QToolButton::clicked, this, &CWDocumentWindowController::configurePreset);
    presetDescription_->setObjectName(QStringLiteral("presetDescription"));
    presetDescription_->setWordWrap(true);
    bitrateContainer_ = labelled(tr("Bitrate:"), bitratePopup_, "bitrate");
    sampleRateContainer_ = labelled(tr("Sample Rate:"), sampleRatePopup_, "sampleRate");
    qualityContainer_ = labelled(tr("Quality:"), qualityPopup_, "quality");
    passthroughModeContainer_ = labelled(tr("Cuts:"), passthroughModePopup_, "passthroughMode");
    // The pass-through modes, each explained in the words of the tool's help.
    for (const PassthroughMode mode : CWPassThroughPreset::modes()) {
        passthroughModePopup_->addItem(CWPassThroughPreset::modeTitle(mode), QVariant::fromValue(int(mode)));
        const QString help = CWPassThroughPreset::modeHelp(mode);
        passthroughModePopup_->setItemData(passthroughModePopup_->count() - 1, help.left(1).toUpper() + help.mid(1) + QLatin1Char('.'),
                                           Qt::ToolTipRole);
    }
    connect(bitratePopup_, &QComboBox::activated, this, &CWDocumentWindowController::changeBitrate);
    connect(passthroughModePopup_, &QComboBox::activated, this, &CWDocumentWindowController::changePassthroughMode);

    auto* presets = new QHBoxLayout;
    presets->addWidget(new QLabel(tr("Preset:")));
    presets->addWidget(presetButton_);
    presets->addWidget(presetConfigurationButton_);
    presets->addWidget(bitrateContainer_);
    presets->addWidget(sampleRateContainer_);
    presets->addWidget(qualityContainer_);
    presets->addWidget(passthroughModeContainer_);
    presets->addStretch();
    auto* readOuts = new QHBoxLayout;
    readOuts->addWidget(timeField_, 1);
    readOuts->addWidget(progressIndicator_, 1);
    readOuts->addWidget(framesField_);
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->addWidget(playerView_, 1);
    layout->addWidget(splitViewHolder_);
    layout->addLayout(readOuts);
    layout->addLayout(presets);
    layout->addWidget(presetDescription_);
    setCentralWidget(content);

    startButton_->setObjectName(QStringLiteral("startButton"));
    startButton_->setToolTip(tr("Export the kept parts as one file"));
    exportAllButton_->setObjectName(QStringLiteral("exportAllButton"));
    exportAllButton_->setToolTip(tr("Export each kept part as a file of its own"));
    stopButton_->setObjectName(QStringLiteral("stopButton"));
    stopButton_->setToolTip(tr("Stop the export"));
    plusButton_->setObjectName(QStringLiteral("plusButton"));
    plusButton_->setIconText(QStringLiteral("+"));
    plusButton_->setToolTip(tr("Add a cut at the playhead (A)"));
    minusButton_->setObjectName(QStringLiteral("minusButton"));
    minusButton_->setIconText(QStringLiteral("−"));
    minusButton_->setToolTip(tr("Remove the cut at the playhead (S)"));
    splitButton_->setObjectName(QStringLiteral("splitButton"));
    splitButton_->setToolTip(tr("Add a split point at the playhead (X)"));
    removeAllButton_->setObjectName(QStringLiteral("removeAllButton"));
    removeAllButton_->setToolTip(tr("Cut out everything"));
    keepAllButton_->setObjectName(QStringLiteral("keepAllButton"));
    keepAllButton_->setToolTip(tr("Remove every cut and split point"));
    introButton_->setObjectName(QStringLiteral("introButton"));
    connect(splitButton_, &QAction::triggered, this, &CWDocumentWindowController::addSplit);
    connect(removeAllButton_, &QAction::triggered, this, &CWDocumentWindowController::removeAll);
    connect(keepAllButton_, &QAction::triggered, this, &CWDocumentWindowController::removeNothing);
    connect(introButton_, &QAction::triggered, this, &CWDocumentWindowController::showIntroduction);
    connect(startButton_, &QAction::triggered, this, &CWDocumentWindowController::exportMedia);
    connect(exportAllButton_, &QAction::triggered, this, &CWDocumentWindowController::exportAllMedia);
    connect(stopButton_, &QAction::triggered, this, &CWDocumentWindowController::stopExport);
    connect(plusButton_, &QAction::triggered, this, &CWDocumentWindowController::addCut);
    connect(minusButton_, &QAction::triggered, this, &CWDocumentWindowController::removeCut);
    // Icons from the desktop's theme (the standard freedesktop icon names), the words
    // beside them; without a theme that has them the words stand alone, as do "+" and "−", which are
    // their own icons.
    const std::pair<QAction*, const char*> icons[] = {
        {startButton_, "document-save-as"},    {exportAllButton_, "folder"},   {stopButton_, "process-stop"},  {splitButton_, "edit-cut"},
        {removeAllButton_, "edit-select-all"}, {keepAllButton_, "edit-clear"}, {introButton_, "help-contents"}};
    // Outside a desktop that names its theme, Qt looks in hicolor only, which holds no action icons:
    // there Debian's default theme stands in.
    if (QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    for (const auto& [action, name] : icons)
        action->setIcon(QIcon::fromTheme(QString::fromLatin1(name)));
    QToolBar* toolbar = addToolBar(tr("Toolbar"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->addAction(startButton_);
    toolbar->addAction(exportAllButton_);
    toolbar->addAction(stopButton_);
    toolbar->addSeparator();
    toolbar->addAction(plusButton_);
    toolbar->addAction(minusButton_);
    toolbar->addAction(splitButton_);
    toolbar->addAction(removeAllButton_);
    toolbar->addAction(keepAllButton_);
    auto* spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    toolbar->addAction(introButton_);
    // Toolbar buttons take no focus by default; Tab reaches them here, and Space presses the one it is on.
    for (QAction* action : toolbar->actions())
        if (QWidget* button = toolbar->widgetForAction(action); button && qobject_cast<QToolButton*>(button))
            button->setFocusPolicy(Qt::TabFocus);

    buildMenus();
    updateTitle();
    qApp->installEventFilter(this);
}

CWDocumentWindowController::~CWDocumentWindowController()
{
    if (periodicObserver_)
        player_->removeTimeObserver(periodicObserver_);
}

QWidget* CWDocumentWindowController::labelled(const QString& label, QComboBox* popup, const char* name)
{
    auto* container = new QWidget;
    container->setObjectName(QString::fromLatin1(name) + QStringLiteral("Container"));
    popup->setObjectName(QString::fromLatin1(name) + QStringLiteral("Popup"));
    auto* layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(label));
    layout->addWidget(popup);
    return container;
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
    hasCompatiblePresetsAvailable_ = true;
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
    framesField_->setVisible(project() && project()->frameInformation());
    playerChangedTimeTo(kCMTimeZero);
    connect(project().get(), &CWProject::projectChanged, this, &CWDocumentWindowController::projectWasModified);
    updatePresetMenu();
    updatePresetInformation();
    CWDocumentController* controller = CWDocumentController::sharedDocumentController();
    resize(controller && controller->prepareForScreenshot() ? kScreenshotSize : QSize(960, 680));
}

// ---- menus

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
        file->addAction(tr("&Quit"), QKeySequence::Quit, controller, &CWDocumentController::requestQuit);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    edit->setObjectName(QStringLiteral("editMenu"));
    undoAction_ = document_->undoStack()->createUndoAction(this, tr("Undo"));
    undoAction_->setShortcut(QKeySequence(tr("Ctrl+Z")));
    redoAction_ = document_->undoStack()->createRedoAction(this, tr("Redo"));
    redoAction_->setShortcut(QKeySequence(tr("Ctrl+Shift+Z")));
    edit->addAction(undoAction_);
    edit->addAction(redoAction_);
    edit->addSeparator();
    // The single keys are the window's own (the key filter), so the menu only shows them.
    const auto item = [&](const QString& title, const QString& key, void (CWDocumentWindowController::*action)()) {
        QAction* added = edit->addAction(key.isEmpty() ? title : title + QLatin1Char('\t') + key, this, action);
        editActions_.push_back(added);
        return added;
    };
    item(tr("Add Cut"), tr("A"), &CWDocumentWindowController::addCut)->setObjectName(QStringLiteral("addCutItem"));
    item(tr("Remove Cut"), tr("S"), &CWDocumentWindowController::removeCut)->setObjectName(QStringLiteral("removeCutItem"));
    item(tr("Add Split"), tr("X"), &CWDocumentWindowController::addSplit)->setObjectName(QStringLiteral("addSplitItem"));
    item(tr("Remove All"), QString(), &CWDocumentWindowController::removeAll)->setObjectName(QStringLiteral("removeAllItem"));
    item(tr("Keep All"), QString(), &CWDocumentWindowController::removeNothing)->setObjectName(QStringLiteral("keepAllItem"));
    QAction* selectAll = item(tr("Select All"), QString(), &CWDocumentWindowController::selectAll);
    selectAll->setObjectName(QStringLiteral("selectAllItem"));
    selectAll->setShortcut(QKeySequence::SelectAll);
    edit->addSeparator();
    edit->addAction(tr("Previous Frame") + QStringLiteral("\t,"), this, [this] { stepFrame(-1); });
    edit->addAction(tr("Next Frame") + QStringLiteral("\t."), this, [this] { stepFrame(1); });
    edit->addAction(tr("Go to Start") + QLatin1Char('\t') + tr("Home"), this, [this] { player_->seekToTime(kCMTimeZero); });
    edit->addAction(tr("Go to End") + QLatin1Char('\t') + tr("End"), this, [this] { player_->seekToTime(player_->duration()); });
    edit->addAction(tr("Play/Pause") + QLatin1Char('\t') + tr("Space"), playerView_, &PlayerView::togglePlaying);

    // The timeline zooms around the playhead (Ctrl with the wheel zooms around the pointer).
    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("viewMenu"));
    const auto zoom = [this](void (CWBaseSplitView::*change)(double), double factor) {
        return [this, change, factor] {
            if (CWBaseSplitView* strip = splitView())
                (strip->*change)(factor);
        };
    };
    QAction* zoomIn = view->addAction(tr("Zoom In"), this, zoom(&CWBaseSplitView::zoomAroundPlayhead, 2.0));
    zoomIn->setShortcuts({QKeySequence::ZoomIn, QKeySequence(tr("Ctrl+="))});
    view->addAction(tr("Zoom Out"), QKeySequence::ZoomOut, this, zoom(&CWBaseSplitView::zoomAroundPlayhead, 0.5));
    view->addAction(tr("Zoom to Fit"), QKeySequence(tr("Ctrl+0")), this, [this] {
        if (CWBaseSplitView* strip = splitView())
            strip->zoomToFit();
    });
    if (controller) {
        edit->addSeparator();
        QAction* preferences =
            edit->addAction(tr("&Preferences…"), QKeySequence(tr("Ctrl+,")), controller, &CWDocumentController::showPreferences);
        preferences->setMenuRole(QAction::PreferencesRole);
        QMenu* help = menuBar()->addMenu(tr("&Help"));
        help->setObjectName(QStringLiteral("helpMenu"));
        help->addAction(introButton_);
        help->addSeparator();
        QAction* updates = help->addAction(tr("Check for Updates…"), controller, &CWDocumentController::checkForUpdates);
        updates->setObjectName(QStringLiteral("checkForUpdatesItem"));
        updates->setMenuRole(QAction::ApplicationSpecificRole);
    }
}

void CWDocumentWindowController::rebuildRecentMenu()
{
    CWDocumentController* controller = CWDocumentController::sharedDocumentController();
    recentMenu_->clear();
    const QStringList recent = controller->recentDocumentURLs();
    for (const QString& path : recent) {
        // Files of one name from different folders are told apart by their folder, as file managers do.
        const QString name = QFileInfo(path).fileName();
        const bool shared =
            std::count_if(recent.begin(), recent.end(), [&](const QString& other) { return QFileInfo(other).fileName() == name; }) > 1;
        const QString text = shared ? tr("%1 — %2").arg(name, QFileInfo(QFileInfo(path).absolutePath()).fileName()) : name;
        QAction* entry = recentMenu_->addAction(text, controller, [controller, path] { controller->openDocuments({path}); });
        entry->setToolTip(path);
    }
    recentMenu_->addSeparator();
    QAction* clear = recentMenu_->addAction(tr("Clear Menu"), controller, &CWDocumentController::clearRecentDocuments);
    clear->setEnabled(!recent.isEmpty());
}

// ---- read-outs

QString CWDocumentWindowController::stringFromCMTime(CMTime time)
{
    if (!CMTIME_IS_VALID(time))
        return QStringLiteral("-/-");
    // A time before the start reads as the start (its fraction would otherwise show as a negative field).
    const double s = std::max(0.0, CMTimeGetSeconds(time));
    const unsigned long whole = static_cast<unsigned long>(s);
    const long hours = long(whole / 3600);
    const long minutes = long((whole % 3600) / 60);
    const long seconds = long((whole % 3600) % 60);
    const long frames = long((s - double(whole)) * 30);
    return QString::asprintf("%li:%02li:%02li.%02li", hours, minutes, seconds, frames);
}

QString CWDocumentWindowController::currentTimeInformationWith(CMTime time) const
{
    const std::shared_ptr<CWProject> p = project();
    return tr("Current Time: %1 – New Duration: %2 – Time after split: %3")
        .arg(stringFromCMTime(time), stringFromCMTime(p ? p->currentTargetDuration() : kCMTimeInvalid),
             stringFromCMTime(p ? p->targetTimeFromSourceTime(time) : kCMTimeInvalid));
}

CMTime CWDocumentWindowController::currentTime() const { return player_ ? player_->currentTime() : kCMTimeZero; }

void CWDocumentWindowController::projectWasModified()
{
    if (CWBaseSplitView* strip = splitView())
        strip->update();
    const std::shared_ptr<CWProject> p = project();
    const std::shared_ptr<const CWFrameInformation> frames = p ? p->frameInformation() : nullptr;
    framesField_->setVisible(frames != nullptr);
    if (frames)
        framesField_->setText(frames->frameReportForTime(currentTime(), p->splits()));
    if (!document_->isExporting())
        timeField_->setText(currentTimeInformationWith(currentTime()));
}

void CWDocumentWindowController::playerChangedTimeTo(CMTime time)
{
    projectWasModified();
    timeField_->setText(currentTimeInformationWith(time));
}

// ---- presets

void CWDocumentWindowController::updatePresetMenu()
{
    const std::shared_ptr<CWProject> p = project();
    std::vector<const CWPresetClass*> included;
    for (const CWPresetClass* presetClass : CWPreset::allPresetClasses())
        if (presetClass->create && shouldIncludePresetClass(*presetClass))
            included.push_back(presetClass);
    if (included.empty() || !p) {
        presetButton_->menu()->clear();
        return;
    }
    // Each check has its own count and list: a rebuild that starts before the last one has finished
    // does not mix their answers.
    struct Check {
        size_t remaining;
        std::vector<const CWPresetClass*> compatible;
    };
    auto check = std::make_shared<Check>(Check{included.size(), {}});
    QPointer<CWDocumentWindowController> self(this);
    for (const CWPresetClass* presetClass : included) {
        presetClass->create()->determineCompatibilityWithAsset(*p->avAsset(), [self, check, presetClass](bool compatible) {
            QMetaObject::invokeMethod(
                qApp,
                [self, check, presetClass, compatible] {
                    if (compatible)
                        check->compatible.push_back(presetClass);
                    if (--check->remaining == 0 && self)
                        self->buildMenuWithCompatiblePresetClasses(check->compatible);
                },
                Qt::QueuedConnection);
        });
    }
}

void CWDocumentWindowController::buildMenuWithCompatiblePresetClasses(const std::vector<const CWPresetClass*>& classes)
{
    ++presetMenuBuilds_;
    hasCompatiblePresetsAvailable_ = !classes.empty();
    QMenu* menu = presetButton_->menu();
    menu->clear();
    validateToolbarItems();
    if (classes.empty()) {
        QAction* none = menu->addAction(tr("No compatible export presets for this file"));
        none->setEnabled(false);
        presetButton_->setText(none->text());
        return;
    }
    std::vector<const CWPresetClass*> passthrough, audio, video;
    for (const CWPresetClass* presetClass : classes) {
        if (presetClass->create()->isPassthrough())
            passthrough.push_back(presetClass);
        else if (presetClass->isValidForAudio)
            audio.push_back(presetClass);
        else
            video.push_back(presetClass);
    }
    const auto byName = [](const CWPresetClass* a, const CWPresetClass* b) { return a->presetName < b->presetName; };
    const auto addPresets = [&](std::vector<const CWPresetClass*>& group, const QString& title) {
        std::sort(group.begin(), group.end(), byName);
        // A section header that every widget style shows: a label in the menu.
        auto* header = new QLabel(title);
        header->setObjectName(QStringLiteral("sectionHeader"));
        header->setContentsMargins(8, 4, 8, 2);
        QFont bold = header->font();
        bold.setBold(true);
        header->setFont(bold);
        header->setEnabled(false);
        auto* headerAction = new QWidgetAction(menu);
        headerAction->setDefaultWidget(header);
        headerAction->setText(title);
        headerAction->setEnabled(false);
        menu->addAction(headerAction);
        for (const CWPresetClass* presetClass : group) {
            QAction* entry = menu->addAction(presetClass->presetName);
            entry->setData(QVariant::fromValue(presetClass));
            entry->setCheckable(true);
            connect(entry, &QAction::triggered, this, [this, presetClass] { changePreset(presetClass); });
        }
    };
    bool added = false;
    if (!passthrough.empty()) {
        addPresets(passthrough, tr("Passthrough"));
        if (!video.empty())
            menu->addSeparator();
        added = true;
    }
    if (!video.empty()) {
        addPresets(video, tr("Video"));
        added = true;
    }
    if (!audio.empty()) {
        if (added)
            menu->addSeparator();
        addPresets(audio, video.empty() ? tr("Audio only") : tr("Audio"));
    }
    const std::shared_ptr<CWPreset> current = project()->preset();
    for (QAction* action : menu->actions())
        if (const CWPresetClass* presetClass = presetClassOf(action))
            action->setChecked(current && presetClass == &current->presetClass());
}

void CWDocumentWindowController::updatePresetInformation()
{
    const std::shared_ptr<CWPreset> preset = project()->preset();
    if (!preset)
        return;
    presetDescription_->setText(preset->descriptionForSource(*project()->avAsset()));
    presetConfigurationButton_->setEnabled(preset->configurationViewKind() != CWConfigurationViewKind::None);
    presetButton_->setText(preset->presetName());
    updatePresetConfigurationUI();
}

void CWDocumentWindowController::updatePresetConfigurationUI()
{
    const std::shared_ptr<CWPreset> preset = project()->preset();
    const auto refill = [](QComboBox* popup, const CWConfigurationItems& items) {
        popup->clear();
        for (const std::shared_ptr<CWPresetConfigurationItem>& configuration : items)
            popup->addItem(configuration->humanReadableDescription());
        if (popup->count() > 0)
            popup->setCurrentIndex(0);
    };
    bitrateContainer_->setVisible(preset->supportsBitrateConfiguration());
    bitrateItems_.clear();
    if (preset->supportsBitrateConfiguration()) {
        bitrateItems_ = preset->availableBitrateConfigurationItems();
        refill(bitratePopup_, bitrateItems_);
        // The bit rate the export will use: the project's, chosen or its default.
        for (size_t index = 0; index < bitrateItems_.size(); ++index)
            if (const auto item = std::dynamic_pointer_cast<CWBitrateConfigurationItem>(bitrateItems_[index]);
                item && item->bitrate() == project()->selectedBitrate())
                bitratePopup_->setCurrentIndex(int(index));
    }
    sampleRateContainer_->setVisible(preset->supportsSampleRateConfiguration());
    if (preset->supportsSampleRateConfiguration())
        refill(sampleRatePopup_, preset->availableSampleRateConfigurationItems());
    qualityContainer_->setVisible(preset->supportsQualityConfiguration());
    if (preset->supportsQualityConfiguration())
        refill(qualityPopup_, preset->availableQualityConfigurationItems());
    const std::optional<PassthroughMode> mode = preset->passthroughMode();
    passthroughModeContainer_->setVisible(mode.has_value());
    if (mode)
        passthroughModePopup_->setCurrentIndex(passthroughModePopup_->findData(QVariant::fromValue(int(*mode))));
}

void CWDocumentWindowController::changePreset(const CWPresetClass* presetClass)
{
    project()->changePresetTo(presetClass->create());
    updatePresetMenu();
    updatePresetInformation();
}

void CWDocumentWindowController::changeBitrate()
{
    const int index = bitratePopup_->currentIndex();
    if (index < 0 || size_t(index) >= bitrateItems_.size())
        return;
    if (const auto bitrate = std::dynamic_pointer_cast<CWBitrateConfigurationItem>(bitrateItems_[size_t(index)]))
        project()->useSelectedBitrate(bitrate->bitrate());
}

void CWDocumentWindowController::changePassthroughMode()
{
    const auto preset = std::dynamic_pointer_cast<CWPassThroughPreset>(project()->preset());
    if (!preset || passthroughModePopup_->currentIndex() < 0)
        return;
    preset->useMode(PassthroughMode(passthroughModePopup_->currentData().toInt()));
    updatePresetInformation();
}

void CWDocumentWindowController::configurePreset()
{
    const auto preset = std::dynamic_pointer_cast<CWHighLowQualityPreset>(project()->preset());
    if (!preset || preset->configurationViewKind() != CWConfigurationViewKind::QualityControl)
        return;
    auto* popover = new CWPresetQualityControlViewController(preset, this);
    configurationPopover_ = popover;
    connect(popover, &CWPresetQualityControlViewController::closed, this, &CWDocumentWindowController::updatePresetInformation);
    popover->showRelativeTo(presetConfigurationButton_);
}

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
    if (!hasCompatiblePresetsAvailable_)
        return SystemBeep::beep();
    document_->exportMedia();
}

void CWDocumentWindowController::exportAllMedia()
{
    if (!hasCompatiblePresetsAvailable_)
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
    introButton_->setText(tr("Hide Introduction"));
    introController_ = CWFirstStepsOverlayController::controllerForView(this);
    // A tour without steps has closed already.
    if (!introController_ || !introController_->hostView()->isVisible()) {
        introButton_->setText(tr("Show Introduction"));
        return;
    }
    connect(introController_, &CWFirstStepsOverlayController::deactivated, this, [this] {
        introButton_->setText(tr("Show Introduction"));
        introController_ = nullptr;
    });
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

void CWDocumentWindowController::endProgress() { enableButtonsForEditing(true); }

void CWDocumentWindowController::enableButtonsForEditing(bool enabled)
{
    progressIndicator_->setVisible(!enabled);
    timeField_->setVisible(enabled);
    if (enabled)
        updateTitle();
    validateToolbarItems();
}

void CWDocumentWindowController::validateToolbarItems()
{
    const bool exporting = document_->isExporting();
    stopButton_->setEnabled(exporting);
    startButton_->setEnabled(!exporting && hasCompatiblePresetsAvailable_);
    exportMenuItem_->setEnabled(startButton_->isEnabled());
    for (QAction* action : {exportAllButton_, plusButton_, minusButton_, splitButton_, removeAllButton_, keepAllButton_, introButton_})
        action->setEnabled(!exporting);
    exportAllMenuItem_->setEnabled(!exporting);
    const bool busy = splitView() && splitView()->blocksEditing();
    for (QAction* action : editActions_)
        action->setEnabled(!exporting && !busy);
    presetButton_->setEnabled(!exporting);
}

void CWDocumentWindowController::updateTitle(int percentage)
{
    const QString name = document_->displayName();
    setWindowTitle(percentage < 0 ? name : tr("%1 — Exporting %2%").arg(name).arg(percentage));
}

// ---- keys and closing

bool CWDocumentWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return false;
    // Text fields keep their keys.
    QWidget* focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit*>(focus) || qobject_cast<QTextEdit*>(focus) || qobject_cast<QPlainTextEdit*>(focus))
        return false;
    // A button reached with Tab (the only way one gets a key) is pressed with Space.
    if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space && qobject_cast<QAbstractButton*>(widget))
        return false;
    return handleWindowKey(static_cast<QKeyEvent*>(event));
}

bool CWDocumentWindowController::handleWindowKey(QKeyEvent* event)
{
    if (CWBaseSplitView* strip = splitView(); strip && strip->handleKey(event))
        return true;
    if (event->modifiers() & Qt::ControlModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_Comma:
        stepFrame(-1);
        return true;
    case Qt::Key_Period:
        stepFrame(1);
        return true;
    case Qt::Key_Home:
        player_->seekToTime(kCMTimeZero);
        return true;
    case Qt::Key_End:
        player_->seekToTime(player_->duration());
        return true;
    case Qt::Key_Space:
        playerView_->togglePlaying();
        return true;
    default:
        return false;
    }
}

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
