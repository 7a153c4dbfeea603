#include "CWUndoStack.h"

#include <gtest/gtest.h>

// A value whose steps record their own inverse, as the project's do.
struct Counter {
    CWUndoStack* stack;
    int value = 0;
    void set(int v, const QString& name = {})
    {
        const int old = value;
        stack->registerUndo([this, old] { set(old); });
        if (!name.isEmpty())
            stack->setActionName(name);
        value = v;
    }
};

TEST(CWUndoStack, UndoRedoRoundTripKeepsTheNames)
{
    CWUndoStack stack;
    Counter counter{&stack};
    EXPECT_FALSE(stack.canUndo());
    stack.undo(); // nothing to undo: no effect
    counter.set(1, QStringLiteral("Add Cut"));
    counter.set(2, QStringLiteral("Add Split"));
    EXPECT_EQ(stack.undoActionName(), QStringLiteral("Add Split"));
    stack.undo();
    EXPECT_EQ(counter.value, 1);
    EXPECT_EQ(stack.redoActionName(), QStringLiteral("Add Split"));
    EXPECT_EQ(stack.undoActionName(), QStringLiteral("Add Cut"));
    stack.undo();
    EXPECT_EQ(counter.value, 0);
    stack.redo();
    stack.redo();
    EXPECT_EQ(counter.value, 2);
    EXPECT_EQ(stack.undoActionName(), QStringLiteral("Add Split"));
    stack.undo();
    // A new step after an undo drops what could have been redone.
    counter.set(5, QStringLiteral("Remove Cut"));
    EXPECT_FALSE(stack.canRedo());
    stack.undo();
    stack.undo();
    EXPECT_EQ(counter.value, 0);
}
