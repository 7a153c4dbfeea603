// The engine's undo history: two stacks of named steps. Recording a new step clears the redo stack.
// Main thread only; undo() and redo() do nothing when there is nothing to undo or redo.
#pragma once

#include "CWUndoManager.h"

#include <vector>

class CWUndoStack : public CWUndoManager {
public:
    void registerUndo(std::function<void()> undo) override;
    void setActionName(const QString& name) override;

    bool canUndo() const { return !undoSteps_.empty(); }
    bool canRedo() const { return !redoSteps_.empty(); }
    QString undoActionName() const { return canUndo() ? undoSteps_.back().name : QString(); }
    QString redoActionName() const { return canRedo() ? redoSteps_.back().name : QString(); }
    void undo();
    void redo();

private:
    struct Step {
        std::function<void()> action;
        QString name;
    };
    enum class Mode { Normal, Undoing, Redoing };
    void runTop(std::vector<Step>& steps, Mode mode);

    std::vector<Step> undoSteps_;
    std::vector<Step> redoSteps_;
    Mode mode_ = Mode::Normal;
    QString runningName_; // the name of the step being undone or redone, carried to its inverse
    Step* lastRegistered_ = nullptr;
};
