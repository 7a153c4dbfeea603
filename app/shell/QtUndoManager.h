// The project's undo history in the application: each recorded step becomes one command on the
// document's QUndoStack, named by the step ("Add Cut", so the Edit menu reads "Undo Add Cut"). A
// command's undo runs the recorded function and keeps what that function records meanwhile (its
// inverse) as the command's redo, and the other way round, so undo and redo alternate on one command.
//
// Main thread. The stack is not owned and must outlive this adapter; the stack owns its commands.
#pragma once

#include "CWUndoManager.h"

class QUndoStack;

class QtUndoManager : public CWUndoManager {
public:
    explicit QtUndoManager(QUndoStack* stack) : stack_(stack) {}
    void registerUndo(std::function<void()> undo) override;
    void setActionName(const QString& name) override;

private:
    class Step;
    friend class Step;
    QUndoStack* stack_;
    Step* running_ = nullptr;    // the step whose undo or redo runs now
    bool undoing_ = false;       // which of the two runs
    Step* lastPushed_ = nullptr; // the step a following setActionName() names
};
