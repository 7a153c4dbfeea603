// The placeholder that stands where no picture exists, so callers always get a thumbnail: no image,
// an invalid time, size 1 × 1, draws nothing.
#pragma once

#include "CWThumbnail.h"

class CWMissingThumbnail : public CWThumbnail {
public:
    CWMissingThumbnail() : CWThumbnail(QImage(), kCMTimeInvalid) {}
    void displayInRect(const QRectF&, QPainter&) const override {}
    QSizeF size() const override { return QSizeF(1, 1); }
    bool isMissing() const override { return true; }
};
