// The question asked before a window closes or the application quits while an export runs: a
// window-modal message box (objectName "stopExportQuestion") whose default and Escape answer is
// "Continue Exporting"; the other button, with the label given, calls stop. Nothing happens when the
// box is dismissed any other way. Main thread; the box deletes itself when it closes.
#pragma once

#include <QPointer>

#include <functional>

class QMessageBox;
class QString;
class QWidget;

namespace StopExportQuestion {
QPointer<QMessageBox> ask(QWidget* parent, const QString& text, const QString& stopLabel, std::function<void()> stop);
}
