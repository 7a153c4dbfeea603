// The window of one open document: the player above, the timeline strip below it, the read-outs
// (CWReadOuts), the preset controls (CWPresetChooser), the Tracks pop-up (CWTrackChooser), and the
// toolbar, menus and keys (CWWindowActions). The window holds the edits at the playhead, frame
// stepping, the export progress and the introduction; its accessors reach the parts' widgets.
//
// The document calls beginProgress(), updateProgress() (which also moves the player to the time the
// export reached), endProgress() and enableButtonsForEditing() while it exports; the window title shows
// the percentage.
//
// Main thread. Owned by its document, which deletes it; windowDidLoad() follows construction (the
// subclass hooks need the finished object). Closing the window tells the document (windowWillClose),
// detaches the strip and pauses the player; while the document exports, the user is asked first
// (StopExportQuestion), unless the document itself is closing.
#pragma once

#include "CMTime.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <vector>

class CWBaseDocument;
class CWBaseSplitView;
class CWBaseSplitViewController;
class CWFirstStepsOverlayController;
class CWPresetChooser;
class CWProject;
class CWReadOuts;
class CWTrackChooser;
class CWWindowActions;
struct CWPresetClass;
class Player;
class PlayerView;
class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QMessageBox;
class QProgressBar;
class CWRestoredEditsBar;
class QToolButton;

class CWDocumentWindowController : public QMainWindow {
    Q_OBJECT
public:
    static constexpr QSize kScreenshotSize{1196, 656};
    static constexpr QSize kMinimumPictureSize{256, 144};

    explicit CWDocumentWindowController(CWBaseDocument* document);
    ~CWDocumentWindowController() override;
    // Binds player, strip, read-outs and presets; called once after construction.
    virtual void windowDidLoad();

    CWBaseDocument* cwDocument() const { return document_; }
    std::shared_ptr<CWProject> project() const;
    Player* player() const { return player_; }
    PlayerView* playerView() const { return playerView_; }
    QWidget* splitViewHolder() const { return splitViewHolder_; }
    CWBaseSplitView* splitView() const;
    CWFirstStepsOverlayController* introController() const;
    // The question shown when the window is closed during an export, while it is shown.
    QMessageBox* stopExportQuestion() const;

    // The parts' widgets.
    QProgressBar* progressIndicator() const;
    QLabel* timeField() const;
    QLabel* framesField() const;
    QToolButton* presetButton() const;
    QToolButton* presetConfigurationButton() const;
    QLabel* presetDescription() const;
    QWidget* bitrateContainer() const;
    QComboBox* bitratePopup() const;
    QWidget* sampleRateContainer() const;
    QComboBox* sampleRatePopup() const;
    QWidget* qualityContainer() const;
    QComboBox* qualityPopup() const;
    // How pass-through joins and trims video; shown with the pass-through preset.
    QWidget* passthroughModeContainer() const;
    QComboBox* passthroughModePopup() const;
    QWidget* configurationPopover() const;
    QAction* startButton() const;
    QAction* exportAllButton() const;
    QAction* stopButton() const;
    QAction* plusButton() const;
    QAction* minusButton() const;
    QAction* splitButton() const;
    QAction* removeAllButton() const;
    QAction* keepAllButton() const;
    QAction* introButton() const;
    QAction* undoAction() const;
    QAction* redoAction() const;
    QMenu* recentMenu() const;
    // The bar that says the file's edits were restored; hidden until they are.
    CWRestoredEditsBar* restoredEditsBar() const { return restoredEditsBar_; }
    CWTrackChooser* trackChooser() const { return tracks_; }
    void showRestoredEdits(int cuts, int splits, const QDateTime& saved);

    // Read-outs.
    static QString stringFromCMTime(CMTime time);
    void projectWasModified();
    void playerChangedTimeTo(CMTime time);

    // Presets.
    void updatePresetMenu();
    void buildMenuWithCompatiblePresetClasses(const std::vector<const CWPresetClass*>& classes);
    bool hasCompatiblePresets() const;
    // How many compatibility checks have completed (each rebuilds the menu), for tests.
    int presetMenuBuilds() const;
    void changeBitrate();
    void changePassthroughMode();

    // Actions.
    void addSplit();
    void addCut();
    void removeCut();
    void removeAll();
    void removeNothing();
    void selectAll() { removeAll(); }
    void stepFrame(int direction);
    void exportMedia();
    void exportAllMedia();
    void stopExport();
    // Opens the introduction, or closes the open one.
    void showIntroduction();

    // Export feedback from the document.
    void beginProgress();
    void updateProgress(double progress, CMTime time);
    void endProgress();
    void enableButtonsForEditing(bool enabled);

signals:
    void windowWillClose();

protected:
    virtual bool shouldIncludePresetClass(const CWPresetClass& presetClass) const;
    virtual CWBaseSplitViewController* makeSplitViewController();
    void closeEvent(QCloseEvent* event) override;

private:
    void validateToolbarItems();
    void updateTitle(int percentage = -1);
    CMTime currentTime() const;

    CWRestoredEditsBar* restoredEditsBar_;
    CWBaseDocument* document_;
    Player* player_;
    PlayerView* playerView_;
    QWidget* splitViewHolder_;
    CWBaseSplitViewController* splitViewController_ = nullptr;
    CWReadOuts* readOuts_;
    CWPresetChooser* presets_;
    CWTrackChooser* tracks_;
    CWWindowActions* actions_ = nullptr;
    QPointer<CWFirstStepsOverlayController> introController_;
    QPointer<QMessageBox> stopExportQuestion_;
    int periodicObserver_ = 0;
    bool loaded_ = false;
};
