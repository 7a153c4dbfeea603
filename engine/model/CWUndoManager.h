// What the project needs of an undo history: record a step (a function that undoes it) and name it.
// A step recorded while an undo runs becomes the redo step, and one recorded while a redo runs becomes
// the next undo step, so a step that records its own inverse gives undo and redo. The application backs
// this with its QUndoStack; CWUndoStack is the engine's own. Main thread only.
#pragma once

#include <QString>

#include <functional>

class CWUndoManager {
public:
    virtual ~CWUndoManager() = default;
    virtual void registerUndo(std::function<void()> undo) = 0;
    // Names the step recorded last ("Add Cut", shown as "Undo Add Cut").
    virtual void setActionName(const QString& name) = 0;
};
