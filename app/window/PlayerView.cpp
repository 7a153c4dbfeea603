#include "PlayerView.h"

#include "Player.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QToolButton>

namespace {
constexpr int kControlBarHeight = 32;
}

PlayerView::PlayerView(QWidget* parent) : QWidget(parent), overlay_(new QWidget(this)), button_(new QToolButton(this))
{
    setObjectName(QStringLiteral("playerView"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    overlay_->setObjectName(QStringLiteral("overlayArea"));
    overlay_->setAttribute(Qt::WA_TransparentForMouseEvents);
    button_->setObjectName(QStringLiteral("playPauseButton"));
    button_->setFocusPolicy(Qt::NoFocus);
    connect(button_, &QToolButton::clicked, this, [this] { togglePlaying(); });
    updateButton();
}

void PlayerView::setPlayer(Player* player)
{
    if (player_)
        disconnect(player_, nullptr, this, nullptr);
    player_ = player;
    if (player_) {
        connect(player_, &Player::frameChanged, this, [this] { update(videoRect()); });
        connect(player_, &Player::rateChanged, this, [this] { updateButton(); });
        connect(player_, &Player::statusChanged, this, [this] { updateButton(); });
        connect(player_, &QObject::destroyed, this, [this] { player_ = nullptr; });
    }
    updateButton();
    update();
}

void PlayerView::togglePlaying()
{
    if (!player_)
        return;
    if (player_->rate() != 0.0f)
        player_->pause();
    else
        player_->play();
}

QRect PlayerView::pictureArea() const { return QRect(0, 0, width(), std::max(0, height() - kControlBarHeight)); }

QRect PlayerView::videoRect() const
{
    const QRect area = pictureArea();
    if (!player_ || player_->currentFrame().image.isNull())
        return area;
    const QSize fitted = player_->currentFrame().image.size().scaled(area.size(), Qt::KeepAspectRatio);
    return QRect(area.x() + (area.width() - fitted.width()) / 2, area.y() + (area.height() - fitted.height()) / 2, fitted.width(),
                 fitted.height());
}

void PlayerView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (player_ && !player_->currentFrame().image.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(videoRect(), player_->currentFrame().image);
    }
    painter.fillRect(QRect(0, pictureArea().bottom() + 1, width(), kControlBarHeight), palette().window());
}

void PlayerView::resizeEvent(QResizeEvent*)
{
    overlay_->setGeometry(pictureArea());
    button_->setGeometry(4, pictureArea().bottom() + 1 + (kControlBarHeight - 28) / 2, 28, 28);
}

void PlayerView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        togglePlaying();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PlayerView::updateButton()
{
    const bool playing = player_ && player_->rate() != 0.0f;
    button_->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    button_->setToolTip(playing ? tr("Pause") : tr("Play"));
    button_->setEnabled(player_ && player_->status() == Player::Status::ReadyToPlay);
}
