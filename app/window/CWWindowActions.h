// The window's actions and keys: the toolbar (Export, Export All, Stop, plus and minus, Split, Remove
// All, Keep All and Show Introduction), the menus (File: Open, Open Recent, the exports, Close, Quit;
// Edit: Undo and Redo, the edit actions with their keys, frame stepping, Preferences; View: the zoom;
// Help: Show Introduction, Check for Updates) and which of them are enabled. Tab reaches the toolbar's
// buttons, Space presses the focused one. The timeline keys ("x", "a", "s", the arrows) and the editor
// keys ("," and "." step a frame, Home and End, Space plays) reach the strip and the window through a
// key filter for every key press in the window that no text field takes.
//
// Main thread. A child of its window, which it drives through the window's public operations; built
// inside the window's constructor, after its central widget. Widgets and actions carry the object
// names the introduction looks for.
#pragma once

#include <QObject>

#include <vector>

class CWDocumentWindowController;
class QAction;
class QKeyEvent;
class QMenu;

class CWWindowActions : public QObject {
    Q_OBJECT
public:
    explicit CWWindowActions(CWDocumentWindowController& window);

    QAction* start() const { return start_; }
    QAction* exportAll() const { return exportAll_; }
    QAction* stop() const { return stop_; }
    QAction* plus() const { return plus_; }
    QAction* minus() const { return minus_; }
    QAction* split() const { return split_; }
    QAction* removeAll() const { return removeAll_; }
    QAction* keepAll() const { return keepAll_; }
    QAction* intro() const { return intro_; }
    QAction* undo() const { return undo_; }
    QAction* redo() const { return redo_; }
    QMenu* recentMenu() const { return recentMenu_; }

    // Enables what may be used now: nothing that edits while exporting, no edit from the menu while
    // the strip is busy, no export without a compatible preset.
    void validate(bool exporting, bool hasCompatiblePresets, bool stripBusy);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildToolbar();
    void buildMenus();
    void rebuildRecentMenu();
    bool handleKey(QKeyEvent* event);

    CWDocumentWindowController& window_;
    QAction* start_;
    QAction* exportAll_;
    QAction* stop_;
    QAction* plus_;
    QAction* minus_;
    QAction* split_;
    QAction* removeAll_;
    QAction* keepAll_;
    QAction* intro_;
    std::vector<QAction*> editActions_; // the edit menu's items
    QAction* exportMenuItem_ = nullptr;
    QAction* exportAllMenuItem_ = nullptr;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    QMenu* recentMenu_ = nullptr;
};
