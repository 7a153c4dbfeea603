#include "CWAudioMetadataOverlay.h"

#include "CWColors.h"
#include "MainQueue.h"
#include "MediaAsset.h"
#include "PlayerView.h"

#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

CWAudioMetadataOverlay* CWAudioMetadataOverlay::overlayForPlayerView(PlayerView* playerView, const QString& path)
{
    return new CWAudioMetadataOverlay(playerView, path);
}

CWAudioMetadataOverlay::CWAudioMetadataOverlay(PlayerView* playerView, const QString& path)
    : QWidget(playerView->overlayArea()), titleLabel_(new QLabel), artistLabel_(new QLabel), albumLabel_(new QLabel)
{
    setObjectName(QStringLiteral("CWAudioMetadataOverlay"));
    titleLabel_->setObjectName(QStringLiteral("mediaTitleLabel"));
    artistLabel_->setObjectName(QStringLiteral("mediaArtistLabel"));
    albumLabel_->setObjectName(QStringLiteral("mediaAlbumLabel"));
    QFont titleFont = titleLabel_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    titleLabel_->setFont(titleFont);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    for (QLabel* label : {titleLabel_, artistLabel_, albumLabel_}) {
        label->setAlignment(Qt::AlignHCenter);
        label->setWordWrap(true);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        QPalette light = label->palette(); // over the dark picture area
        light.setColor(QPalette::WindowText, Qt::white);
        label->setPalette(light);
        layout->addWidget(label);
    }
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(playerView->overlayArea()->rect());
    // The overlay area has no layout of its own; the overlay follows its size.
    auto* fill = new QVBoxLayout(playerView->overlayArea());
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(this);
    QWidget::hide();
    loadMetadataFromURL(path);
}

void CWAudioMetadataOverlay::loadMetadataFromURL(const QString& path)
{
    filename_ = QFileInfo(path).completeBaseName();
    QPointer<CWAudioMetadataOverlay> self(this);
    loader_.start([self, path] {
        QString title, album, artist;
        QImage cover;
        if (const std::shared_ptr<MediaAsset> asset = MediaAsset::open(path)) {
            for (const MetadataItem& item : asset->metadata()) {
                if (item.commonKey == CommonMetadataKey::Title)
                    title = item.stringValue();
                else if (item.commonKey == CommonMetadataKey::AlbumName)
                    album = item.stringValue();
                else if (item.commonKey == CommonMetadataKey::Artist)
                    artist = item.stringValue();
                else if (item.commonKey == CommonMetadataKey::Artwork) {
                    const QImage image = QImage::fromData(item.dataValue());
                    if (!image.isNull())
                        cover = image;
                }
            }
        }
        MainQueue::async([self, title, album, artist, cover] {
            if (!self)
                return;
            self->title_ = title;
            self->album_ = album;
            self->artist_ = artist;
            self->coverArt_ = cover;
            self->loaded_ = true;
            self->updateDisplay();
            emit self->metadataLoaded();
        });
    });
}

QImage CWAudioMetadataOverlay::generateBackgroundImageForFilename(const QString&, const QPalette& palette)
{
    QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
    image.fill(CWColors::waveformBackground(palette));
    return image;
}

void CWAudioMetadataOverlay::updateDisplay()
{
    if (coverArt_.isNull())
        background_ = generateBackgroundImageForFilename(filename_, palette());
    titleLabel_->setText(!title_.isEmpty() ? title_ : filename_);
    artistLabel_->setText(tr("Artist: %1").arg(artist_));
    artistLabel_->setVisible(!artist_.isEmpty());
    albumLabel_->setText(tr("Album: %1").arg(album_));
    albumLabel_->setVisible(!album_.isEmpty());
    update();
}

void CWAudioMetadataOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), CWColors::waveformBackground(palette()));
    if (!coverArt_.isNull()) {
        // Scaled down to fit, never up, and centred.
        QSizeF size = coverArt_.size();
        if (size.width() > width() || size.height() > height())
            size.scale(QSizeF(this->size()), Qt::KeepAspectRatio);
        const QRectF target((width() - size.width()) / 2, (height() - size.height()) / 2, size.width(), size.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, coverArt_);
    } else if (!background_.isNull()) {
        painter.drawImage(QRectF(rect()), background_); // fills both axes
    }
}

void CWAudioMetadataOverlay::showWithAutoHide(bool autoHide)
{
    QWidget::show();
    visible_ = true;
    if (autoHide)
        QTimer::singleShot(3000, this, &CWAudioMetadataOverlay::hide);
}

void CWAudioMetadataOverlay::hide()
{
    QWidget::hide();
    visible_ = false;
}
