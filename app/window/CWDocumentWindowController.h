// The window of one open document: the player above, the timeline strip below it, the preset chooser
// with its description, configuration button and the bitrate, sample-rate and quality pop-ups (shown
// only for presets that offer them) and, for pass-through, the pop-up of how cuts are made (remembered
// as the preset's mode), the time read-out and the frame report, the export progress bar,
// the toolbar (Export, Export All, Stop, plus and minus, Split, Remove All, Keep All and Show Introduction) and the menus (File: Open, Open
// Recent, the exports, Close, Quit; Edit: Undo and Redo, the edit actions with their keys, frame stepping, Preferences; Help: Show
// Introduction, Check for Updates). Tab reaches the toolbar's buttons, Space presses the focused one. The timeline keys
// ("x", "a", "s", the arrows) and the editor keys ("," and "." step a frame, Home and End, Space plays) reach the strip and the window
// through a key filter for every key press in the window that no text field takes.
//
// The document calls beginProgress(), updateProgress() (which also moves the player to the time the
// export reached), endProgress() and enableButtonsForEditing() while it exports; the window title shows
// the percentage. The preset menu is rebuilt from the presets' compatibility answers, which are taken
// on the main thread in the order they arrive.
//
// Main thread. Owned by its document, which deletes it; windowDidLoad() follows construction (the
// subclass hooks need the finished object). Closing the window tells the document (windowWillClose),
// detaches the strip and pauses the player; while the document exports, the user is asked first
// (StopExportQuestion), unless the document itself is closing. Widgets carry the object names the introduction looks for.
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
class CWPresetConfigurationItem;
class CWProject;
struct CWPresetClass;
class Player;
class PlayerView;
class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QMessageBox;
class QProgressBar;
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
    QProgressBar* progressIndicator() const { return progressIndicator_; }
    QLabel* timeField() const { return timeField_; }
    QLabel* framesField() const { return framesField_; }
    QToolButton* presetButton() const { return presetButton_; }
    QToolButton* presetConfigurationButton() const { return presetConfigurationButton_; }
    QLabel* presetDescription() const { return presetDescription_; }
    QWidget* bitrateContainer() const { return bitrateContainer_; }
    QComboBox* bitratePopup() const { return bitratePopup_; }
    QWidget* sampleRateContainer() const { return sampleRateContainer_; }
    QComboBox* sampleRatePopup() const { return sampleRatePopup_; }
    QWidget* qualityContainer() const { return qualityContainer_; }
    QComboBox* qualityPopup() const { return qualityPopup_; }
    // How pass-through joins and trims video; shown with the pass-through preset.
    QWidget* passthroughModeContainer() const { return passthroughModeContainer_; }
    QComboBox* passthroughModePopup() const { return passthroughModePopup_; }
    QAction* startButton() const { return startButton_; }
    QAction* exportAllButton() const { return exportAllButton_; }
    QAction* stopButton() const { return stopButton_; }
    QAction* plusButton() const { return plusButton_; }
    QAction* minusButton() const { return minusButton_; }
    QAction* splitButton() const { return splitButton_; }
    QAction* removeAllButton() const { return removeAllButton_; }
    QAction* keepAllButton() const { return keepAllButton_; }
    QAction* introButton() const { return introButton_; }
    CWFirstStepsOverlayController* introController() const;
    QAction* undoAction() const { return undoAction_; }
    QAction* redoAction() const { return redoAction_; }
    QMenu* recentMenu() const { return recentMenu_; }
    QWidget* configurationPopover() const { return configurationPopover_; }
    // The question shown when the window is closed during an export, while it is shown.
    QMessageBox* stopExportQuestion() const;

    // Read-outs.
    static QString stringFromCMTime(CMTime time);
    QString currentTimeInformationWith(CMTime time) const;
    void projectWasModified();
    void playerChangedTimeTo(CMTime time);

    // Presets.
    void updatePresetMenu();
    void updatePresetInformation();
    void updatePresetConfigurationUI();
    void buildMenuWithCompatiblePresetClasses(const std::vector<const CWPresetClass*>& classes);
    bool hasCompatiblePresets() const { return hasCompatiblePresetsAvailable_; }
    // How many compatibility checks have completed (each rebuilds the menu), for tests.
    int presetMenuBuilds() const { return presetMenuBuilds_; }

    // Actions.
    void changePreset(const CWPresetClass* presetClass);
    void changeBitrate();
    void changePassthroughMode();
    void configurePreset();
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
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void rebuildRecentMenu();
    void validateToolbarItems();
    void updateTitle(int percentage = -1);
    bool handleWindowKey(QKeyEvent* event);
    CMTime currentTime() const;
    QWidget* labelled(const QString& label, QComboBox* popup, const char* name);

    CWBaseDocument* document_;
    Player* player_;
    PlayerView* playerView_;
    QWidget* splitViewHolder_;
    CWBaseSplitViewController* splitViewController_ = nullptr;
    QProgressBar* progressIndicator_;
    QLabel* timeField_;
    QLabel* framesField_;
    QToolButton* presetButton_;
    QToolButton* presetConfigurationButton_;
    QLabel* presetDescription_;
    QComboBox* bitratePopup_;
    std::vector<std::shared_ptr<CWPresetConfigurationItem>> bitrateItems_; // what the bitrate pop-up's items stand for
    QComboBox* sampleRatePopup_;
    QComboBox* qualityPopup_;
    QComboBox* passthroughModePopup_;
    QWidget* passthroughModeContainer_;
    QWidget* bitrateContainer_;
    QWidget* sampleRateContainer_;
    QWidget* qualityContainer_;
    QAction* startButton_;
    QAction* exportAllButton_;
    QAction* stopButton_;
    QAction* plusButton_;
    QAction* minusButton_;
    QAction* splitButton_;
    QAction* removeAllButton_;
    QAction* keepAllButton_;
    QAction* introButton_;
    QPointer<CWFirstStepsOverlayController> introController_;
    std::vector<QAction*> editActions_; // the edit menu's items: not while exporting or while the strip is busy
    QAction* exportAllMenuItem_ = nullptr;
    QAction* exportMenuItem_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QPointer<QWidget> configurationPopover_;
    QPointer<QMessageBox> stopExportQuestion_;
    int periodicObserver_ = 0;
    bool hasCompatiblePresetsAvailable_ = true;
    int presetMenuBuilds_ = 0;
    bool loaded_ = false;
};
