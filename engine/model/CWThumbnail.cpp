#include "CWThumbnail.h"

#include "CWMissingThumbnail.h"

#include <QPainter>

std::shared_ptr<CWThumbnail> CWThumbnail::withImage(const QImage& image, CMTime time) { return std::make_shared<CWThumbnail>(image, time); }

std::shared_ptr<CWThumbnail> CWThumbnail::missingThumbnail() { return std::make_shared<CWMissingThumbnail>(); }

void CWThumbnail::displayInRect(const QRectF& rect, QPainter& painter) const
{
    if (!image_.isNull())
        painter.drawImage(rect, image_);
}

QSizeF CWThumbnail::size() const { return image_.isNull() ? QSizeF(0, 0) : QSizeF(image_.size()); }
