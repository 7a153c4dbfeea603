// The window's Tracks pop-up: every track of the source with a check box (number, kind, codec,
// language, channels or picture size, title), ticked for the tracks the exports take. Each tick is
// handed to the project at once (CWProject::leaveOutTracks) and announced by choiceChanged(), on
// which the window rebuilds its preset menu and description. The button says how many tracks are
// taken and is shown only for sources of more than one track.
//
// Main thread. A child of the window; the project is looked up through the function given, each
// time, so a closed document leaves nothing dangling.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class CWProject;
class QCheckBox;
class QToolButton;
class QWidget;

class CWTrackChooser : public QObject {
    Q_OBJECT
public:
    CWTrackChooser(QWidget* window, std::function<std::shared_ptr<CWProject>()> project);

    QToolButton* button() const { return button_; }
    // The boxes in the source's track order.
    const std::vector<QCheckBox*>& boxes() const { return boxes_; }
    // Fills the pop-up from the project's source and the tracks it leaves out.
    void update();

signals:
    void choiceChanged();

private:
    void choose();
    void updateButton();

    std::function<std::shared_ptr<CWProject>()> project_;
    QToolButton* button_;
    std::vector<QCheckBox*> boxes_;
};
