// The window's read-outs: the time read-out (current time, the new duration, the time after the
// split), the frame report (for files with frames) and, while exporting, the progress bar in place of
// the time read-out.
//
// Main thread. A child of the window, whose layout takes row(); the widgets carry the object names the
// introduction looks for.
#pragma once

#include "CMTime.h"

#include <QObject>

#include <memory>

class CWProject;
class QBoxLayout;
class QLabel;
class QProgressBar;

class CWReadOuts : public QObject {
    Q_OBJECT
public:
    explicit CWReadOuts(QObject* parent);

    QBoxLayout* row() const { return row_; }
    QLabel* timeField() const { return timeField_; }
    QLabel* framesField() const { return framesField_; }
    QProgressBar* progressIndicator() const { return progressIndicator_; }

    // "h:mm:ss.ff" with thirtieths of a second; "-/-" for an invalid time.
    static QString stringFromCMTime(CMTime time);
    static QString timeInformation(const CWProject* project, CMTime time);
    // The frame report at the time, and the time read-out unless an export shows its progress.
    void show(const CWProject* project, CMTime time, bool exporting);
    // Progress in place of the time read-out, or the time read-out again.
    void showProgress(bool exporting);

private:
    QBoxLayout* row_;
    QProgressBar* progressIndicator_;
    QLabel* timeField_;
    QLabel* framesField_;
};
