#include "CWBaseSplitViewController.h"

#include "CWBaseSplitView.h"
#include "CWProject.h"
#include "Player.h"
#include "PlayerView.h"

#include <QVBoxLayout>

CWBaseSplitView* CWBaseSplitViewController::splitView() const { return splitView_; }

CWBaseSplitView* CWBaseSplitViewController::makeSplitView() { return new CWBaseSplitView; }

void CWBaseSplitViewController::loadView(QWidget* holder)
{
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    splitView_ = makeSplitView();
    layout->addWidget(splitView_);
}

void CWBaseSplitViewController::usePlayer(Player* player, std::shared_ptr<CWProject> project, PlayerView* playerView)
{
    disconnect(projectConnection_);
    project_ = std::move(project);
    releasePlayerItem();
    player_ = player;
    playerView_ = playerView;
    if (playerView_ && playerView_->player() != player)
        playerView_->setPlayer(player);
    if (player_)
        statusConnection_ = connect(player_, &Player::statusChanged, this, &CWBaseSplitViewController::updateInterface);
    if (splitView_)
        splitView_->usePlayer(player_, project_, playerView_);
    updateInterface();
    if (project_)
        projectConnection_ = connect(project_.get(), &CWProject::projectChanged, this, &CWBaseSplitViewController::updateInterface);
}

void CWBaseSplitViewController::updateInterface()
{
    if (!splitView_ || !player_ || !project_)
        return;
    splitView_->usePlayer(player_, project_, playerView_);
    splitView_->update();
}

void CWBaseSplitViewController::releasePlayerItem()
{
    if (splitView_)
        splitView_->releasePlayerItem();
    disconnect(statusConnection_);
}
