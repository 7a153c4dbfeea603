#include "CWWindowActions.h"

#include "CWBaseDocument.h"
#include "CWBaseSplitView.h"
#include "CWDocumentController.h"
#include "CWDocumentWindowController.h"
#include "CWProject.h"
#include "MediaAsset.h"
#include "Player.h"
#include "PlayerView.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>

#include <algorithm>

CWWindowActions::CWWindowActions(CWDocumentWindowController& window)
    : QObject(&window), window_(window), start_(new QAction(tr("Export"), this)), exportAll_(new QAction(tr("Export All"), this)),
      stop_(new QAction(tr("Stop"), this)), plus_(new QAction(tr("Add Cut"), this)), minus_(new QAction(tr("Remove Cut"), this)),
      split_(new QAction(tr("Split"), this)), removeAll_(new QAction(tr("Remove All"), this)), keepAll_(new QAction(tr("Keep All"), this)),
      intro_(new QAction(tr("Show Introduction"), this))
{
    start_->setObjectName(QStringLiteral("startButton"));
    start_->setToolTip(tr("Export the kept parts as one file"));
    exportAll_->setObjectName(QStringLiteral("exportAllButton"));
    exportAll_->setToolTip(tr("Export each kept part as a file of its own"));
    stop_->setObjectName(QStringLiteral("stopButton"));
    stop_->setToolTip(tr("Stop the export"));
    plus_->setObjectName(QStringLiteral("plusButton"));
    plus_->setIconText(QStringLiteral("+"));
    plus_->setToolTip(tr("Add a cut at the playhead (A)"));
    minus_->setObjectName(QStringLiteral("minusButton"));
    minus_->setIconText(QStringLiteral("−"));
    minus_->setToolTip(tr("Remove the cut at the playhead (S)"));
    split_->setObjectName(QStringLiteral("splitButton"));
    split_->setToolTip(tr("Add a split point at the playhead (X)"));
    removeAll_->setObjectName(QStringLiteral("removeAllButton"));
    removeAll_->setToolTip(tr("Cut out everything"));
    keepAll_->setObjectName(QStringLiteral("keepAllButton"));
    keepAll_->setToolTip(tr("Remove every cut and split point"));
    intro_->setObjectName(QStringLiteral("introButton"));
    CWDocumentWindowController* w = &window_;
    connect(split_, &QAction::triggered, w, &CWDocumentWindowController::addSplit);
    connect(removeAll_, &QAction::triggered, w, &CWDocumentWindowController::removeAll);
    connect(keepAll_, &QAction::triggered, w, &CWDocumentWindowController::removeNothing);
    connect(intro_, &QAction::triggered, w, &CWDocumentWindowController::showIntroduction);
    connect(start_, &QAction::triggered, w, &CWDocumentWindowController::exportMedia);
    connect(exportAll_, &QAction::triggered, w, &CWDocumentWindowController::exportAllMedia);
    connect(stop_, &QAction::triggered, w, &CWDocumentWindowController::stopExport);
    connect(plus_, &QAction::triggered, w, &CWDocumentWindowController::addCut);
    connect(minus_, &QAction::triggered, w, &CWDocumentWindowController::removeCut);
    buildToolbar();
    buildMenus();
    qApp->installEventFilter(this);
}

void CWWindowActions::buildToolbar()
{
    // Icons from the desktop's theme (the standard freedesktop icon names), the words
    // beside them; without a theme that has them the words stand alone, as do "+" and "−", which are
    // their own icons.
    const std::pair<QAction*, const char*> icons[] = {
        {start_, "document-save-as"},    {exportAll_, "folder"},   {stop_, "process-stop"},  {split_, "edit-cut"},
        {removeAll_, "edit-select-all"}, {keepAll_, "edit-clear"}, {intro_, "help-contents"}};
    // Outside a desktop that names its theme, Qt looks in hicolor only, which holds no action icons:
    // there Debian's default theme stands in.
    if (QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    for (const auto& [action, name] : icons)
        action->setIcon(QIcon::fromTheme(QString::fromLatin1(name)));
    QToolBar* toolbar = window_.addToolBar(tr("Toolbar"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->addAction(start_);
    toolbar->addAction(exportAll_);
    toolbar->addAction(stop_);
    toolbar->addSeparator();
    toolbar->addAction(plus_);
    toolbar->addAction(minus_);
    toolbar->addAction(split_);
    toolbar->addAction(removeAll_);
    toolbar->addAction(keepAll_);
    auto* spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    toolbar->addAction(intro_);
    // Toolbar buttons take no focus by default; Tab reaches them here, and Space presses the one it is on.
    for (QAction* action : toolbar->actions())
        if (QWidget* button = toolbar->widgetForAction(action); button && qobject_cast<QToolButton*>(button))
            button->setFocusPolicy(Qt::TabFocus);
}

void CWWindowActions::buildMenus()
{
    CWDocumentWindowController* w = &window_;
    CWDocumentController* controller = CWDocumentController::sharedDocumentController();
    QMenuBar* bar = window_.menuBar();
    QMenu* file = bar->addMenu(tr("&File"));
    if (controller) {
        file->addAction(tr("&Open…"), QKeySequence::Open, controller, &CWDocumentController::openDocument);
        recentMenu_ = file->addMenu(tr("Open &Recent"));
        recentMenu_->setObjectName(QStringLiteral("recentMenu"));
        connect(recentMenu_, &QMenu::aboutToShow, this, &CWWindowActions::rebuildRecentMenu);
        rebuildRecentMenu();
        file->addSeparator();
    }
    exportMenuItem_ = file->addAction(tr("&Export…"), QKeySequence(tr("Ctrl+E")), w, &CWDocumentWindowController::exportMedia);
    exportAllMenuItem_ =
        file->addAction(tr("Export &All…"), QKeySequence(tr("Ctrl+Shift+E")), w, &CWDocumentWindowController::exportAllMedia);
    if (!window_.cwDocument()->project()->avAsset()->tracksWithMediaType(MediaType::Video).empty())
        file->addAction(tr("Save &Frame As…"), QKeySequence(tr("Ctrl+Shift+S")), window_.cwDocument(), &CWBaseDocument::saveFrame);
    file->addAction(tr("&Import Cut List…"), window_.cwDocument(), &CWBaseDocument::importCutList);
    file->addAction(tr("Export &Cut List…"), window_.cwDocument(), &CWBaseDocument::exportCutList);
    file->addSeparator();
    file->addAction(tr("&Close Window"), QKeySequence::Close, w, &QWidget::close);
    if (controller)
        file->addAction(tr("&Quit"), QKeySequence::Quit, controller, &CWDocumentController::requestQuit);

    QMenu* edit = bar->addMenu(tr("&Edit"));
    edit->setObjectName(QStringLiteral("editMenu"));
    undo_ = window_.cwDocument()->undoStack()->createUndoAction(this, tr("Undo"));
    undo_->setShortcut(QKeySequence(tr("Ctrl+Z")));
    redo_ = window_.cwDocument()->undoStack()->createRedoAction(this, tr("Redo"));
    redo_->setShortcut(QKeySequence(tr("Ctrl+Shift+Z")));
    edit->addAction(undo_);
    edit->addAction(redo_);
    edit->addSeparator();
    // The single keys are the window's own (the key filter), so the menu only shows them.
    const auto item = [&](const QString& title, const QString& key, void (CWDocumentWindowController::*action)()) {
        QAction* added = edit->addAction(key.isEmpty() ? title : title + QLatin1Char('\t') + key, w, action);
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
    edit->addAction(tr("Previous Frame") + QStringLiteral("\t,"), w, [w] { w->stepFrame(-1); });
    edit->addAction(tr("Next Frame") + QStringLiteral("\t."), w, [w] { w->stepFrame(1); });
    edit->addAction(tr("Go to Start") + QLatin1Char('\t') + tr("Home"), w, [w] { w->player()->seekToTime(kCMTimeZero); });
    edit->addAction(tr("Go to End") + QLatin1Char('\t') + tr("End"), w, [w] { w->player()->seekToTime(w->player()->duration()); });
    edit->addAction(tr("Play/Pause") + QLatin1Char('\t') + tr("Space"), window_.playerView(), &PlayerView::togglePlaying);

    // The timeline zooms around the playhead (Ctrl with the wheel zooms around the pointer).
    QMenu* view = bar->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("viewMenu"));
    const auto zoom = [w](void (CWBaseSplitView::*change)(double), double factor) {
        return [w, change, factor] {
            if (CWBaseSplitView* strip = w->splitView())
                (strip->*change)(factor);
        };
    };
    QAction* zoomIn = view->addAction(tr("Zoom In"), w, zoom(&CWBaseSplitView::zoomAroundPlayhead, 2.0));
    zoomIn->setShortcuts({QKeySequence::ZoomIn, QKeySequence(tr("Ctrl+="))});
    view->addAction(tr("Zoom Out"), QKeySequence::ZoomOut, w, zoom(&CWBaseSplitView::zoomAroundPlayhead, 0.5));
    view->addAction(tr("Zoom to Fit"), QKeySequence(tr("Ctrl+0")), w, [w] {
        if (CWBaseSplitView* strip = w->splitView())
            strip->zoomToFit();
    });
    if (controller) {
        edit->addSeparator();
        QAction* preferences =
            edit->addAction(tr("&Preferences…"), QKeySequence(tr("Ctrl+,")), controller, &CWDocumentController::showPreferences);
        preferences->setMenuRole(QAction::PreferencesRole);
        QMenu* help = bar->addMenu(tr("&Help"));
        help->setObjectName(QStringLiteral("helpMenu"));
        help->addAction(intro_);
        help->addSeparator();
        QAction* updates = help->addAction(tr("Check for Updates…"), controller, &CWDocumentController::checkForUpdates);
        updates->setObjectName(QStringLiteral("checkForUpdatesItem"));
        updates->setMenuRole(QAction::ApplicationSpecificRole);
    }
}

void CWWindowActions::rebuildRecentMenu()
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

void CWWindowActions::validate(bool exporting, bool hasCompatiblePresets, bool stripBusy)
{
    stop_->setEnabled(exporting);
    start_->setEnabled(!exporting && hasCompatiblePresets);
    exportMenuItem_->setEnabled(start_->isEnabled());
    for (QAction* action : {exportAll_, plus_, minus_, split_, removeAll_, keepAll_, intro_})
        action->setEnabled(!exporting);
    exportAllMenuItem_->setEnabled(!exporting);
    for (QAction* action : editActions_)
        action->setEnabled(!exporting && !stripBusy);
}

bool CWWindowActions::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != &window_)
        return false;
    // Text fields keep their keys.
    QWidget* focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit*>(focus) || qobject_cast<QTextEdit*>(focus) || qobject_cast<QPlainTextEdit*>(focus))
        return false;
    // A button reached with Tab (the only way one gets a key) is pressed with Space.
    if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space && qobject_cast<QAbstractButton*>(widget))
        return false;
    return handleKey(static_cast<QKeyEvent*>(event));
}

bool CWWindowActions::handleKey(QKeyEvent* event)
{
    if (CWBaseSplitView* strip = window_.splitView(); strip && strip->handleKey(event))
        return true;
    if (event->modifiers() & Qt::ControlModifier)
        return false;
    Player* player = window_.player();
    switch (event->key()) {
    case Qt::Key_Comma:
        window_.stepFrame(-1);
        return true;
    case Qt::Key_Period:
        window_.stepFrame(1);
        return true;
    case Qt::Key_Home:
        player->seekToTime(kCMTimeZero);
        return true;
    case Qt::Key_End:
        player->seekToTime(player->duration());
        return true;
    case Qt::Key_Space:
        window_.playerView()->togglePlaying();
        return true;
    default:
        return false;
    }
}
