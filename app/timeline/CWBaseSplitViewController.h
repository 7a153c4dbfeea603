// Makes the timeline strip of its kind (makeSplitView(), overridden by the audio and video
// controllers) inside a holder widget, filling it, and keeps it bound to the window's player and the
// document's project: every project change and every player status change binds the strip again and
// redraws it.
//
// Main thread. The strip is a child of the holder (Qt owns it); player and project are not owned.
#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class CWBaseSplitView;
class CWProject;
class Player;
class PlayerView;
class QWidget;

class CWBaseSplitViewController : public QObject {
    Q_OBJECT
public:
    explicit CWBaseSplitViewController(QObject* parent = nullptr) : QObject(parent) {}
    // Creates the strip inside the holder.
    void loadView(QWidget* holder);
    void usePlayer(Player* player, std::shared_ptr<CWProject> project, PlayerView* playerView);
    void updateInterface();
    void releasePlayerItem();
    CWBaseSplitView* splitView() const;

protected:
    virtual CWBaseSplitView* makeSplitView();

private:
    QPointer<CWBaseSplitView> splitView_;
    QPointer<Player> player_;
    std::shared_ptr<CWProject> project_;
    QPointer<PlayerView> playerView_;
    QMetaObject::Connection projectConnection_;
    QMetaObject::Connection statusConnection_;
};
