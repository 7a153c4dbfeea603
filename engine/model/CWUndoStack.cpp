#include "CWUndoStack.h"

void CWUndoStack::registerUndo(std::function<void()> undo)
{
    std::vector<Step>& target = mode_ == Mode::Undoing ? redoSteps_ : undoSteps_;
    if (mode_ == Mode::Normal)
        redoSteps_.clear();
    target.push_back({std::move(undo), runningName_});
    lastRegistered_ = &target.back();
}

void CWUndoStack::setActionName(const QString& name)
{
    if (lastRegistered_)
        lastRegistered_->name = name;
}

void CWUndoStack::undo() { runTop(undoSteps_, Mode::Undoing); }

void CWUndoStack::redo() { runTop(redoSteps_, Mode::Redoing); }

void CWUndoStack::runTop(std::vector<Step>& steps, Mode mode)
{
    if (steps.empty())
        return;
    Step step = std::move(steps.back());
    steps.pop_back();
    lastRegistered_ = nullptr;
    mode_ = mode;
    runningName_ = step.name;
    step.action();
    mode_ = Mode::Normal;
    runningName_.clear();
    lastRegistered_ = nullptr;
}
