// The window of one open document: the player above, the strip holder below it, the export progress
// bar, the toolbar (Export, Export All, Stop) and the menus (File with Open, Open Recent, the exports,
// Close and Quit; Edit with the document's Undo and Redo and Preferences). The document calls
// beginProgress(), updateProgress() (which also moves the player to the time the export reached),
// endProgress() and enableButtonsForEditing() while it exports; the window title shows the percentage.
// Toolbar and menu items are revalidated whenever the export state changes: Stop only while exporting,
// Export while not exporting and some preset fits the source, everything else while not exporting.
//
// Main thread. Owned by its document, which deletes it; closing the window tells the document
// (windowWillClose) and pauses the player. Widgets keep the object names the introduction looks for.
#pragma once

#include "CMTime.h"

#include <QMainWindow>

class CWBaseDocument;
class Player;
class PlayerView;
class QAction;
class QMenu;
class QProgressBar;

class CWDocumentWindowController : public QMainWindow {
    Q_OBJECT
public:
    static constexpr QSize kScreenshotSize{1196, 656};

    explicit CWDocumentWindowController(CWBaseDocument* document);
    ~CWDocumentWindowController() override;

    CWBaseDocument* cwDocument() const { return document_; }
    Player* player() const { return player_; }
    PlayerView* playerView() const { return playerView_; }
    QWidget* splitViewHolder() const { return splitViewHolder_; }
    QProgressBar* progressIndicator() const { return progressIndicator_; }
    QAction* startButton() const { return startButton_; }
    QAction* exportAllButton() const { return exportAllButton_; }
    QAction* stopButton() const { return stopButton_; }
    QAction* undoAction() const { return undoAction_; }
    QAction* redoAction() const { return redoAction_; }
    QMenu* recentMenu() const { return recentMenu_; }

    void beginProgress();
    void updateProgress(double progress, CMTime time);
    void endProgress();
    void enableButtonsForEditing(bool enabled);
    // Whether any preset can export the source (the editing window's preset check sets it).
    bool hasCompatiblePresets() const { return hasCompatiblePresetsAvailable_; }
    void setHasCompatiblePresets(bool available);

    void exportMedia();
    void exportAllMedia();
    void stopExport();

signals:
    void windowWillClose();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void rebuildRecentMenu();
    void validateToolbarItems();
    void updateTitle(int percentage = -1);

    CWBaseDocument* document_;
    Player* player_;
    PlayerView* playerView_;
    QWidget* splitViewHolder_;
    QProgressBar* progressIndicator_;
    QAction* startButton_;
    QAction* exportAllButton_;
    QAction* stopButton_;
    QAction* exportMenuItem_ = nullptr;
    QAction* exportAllMenuItem_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    bool hasCompatiblePresetsAvailable_ = true;
};
