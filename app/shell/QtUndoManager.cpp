#include "QtUndoManager.h"

#include <QUndoStack>

class QtUndoManager::Step : public QUndoCommand {
public:
    Step(QtUndoManager* manager, std::function<void()> undo) : manager_(manager), undo_(std::move(undo)) {}

    void undo() override { run(undo_, true); }
    void redo() override
    {
        // QUndoStack::push() calls redo() at once; the change itself has already been made.
        if (!pushed_) {
            pushed_ = true;
            return;
        }
        run(redo_, false);
    }
    void keep(std::function<void()> inverse) { (manager_->undoing_ ? redo_ : undo_) = std::move(inverse); }

private:
    void run(std::function<void()>& action, bool undoing)
    {
        const std::function<void()> current = std::move(action);
        action = nullptr;
        manager_->running_ = this;
        manager_->undoing_ = undoing;
        manager_->lastPushed_ = nullptr;
        if (current)
            current();
        manager_->running_ = nullptr;
    }

    QtUndoManager* manager_;
    std::function<void()> undo_;
    std::function<void()> redo_;
    bool pushed_ = false;
};

void QtUndoManager::registerUndo(std::function<void()> undo)
{
    if (running_) {
        running_->keep(std::move(undo));
        return;
    }
    auto* step = new Step(this, std::move(undo));
    lastPushed_ = step;
    stack_->push(step); // the stack owns it; pushing drops the steps that could be redone
}

void QtUndoManager::setActionName(const QString& name)
{
    if (!lastPushed_ || running_)
        return;
    lastPushed_->setText(name);
    // The stack announced the step's text when it was pushed, still without its name.
    if (stack_->command(stack_->index() - 1) == lastPushed_)
        emit stack_->undoTextChanged(stack_->undoText());
}
