// One still picture of the source and the source time it shows (the actual time the image generator
// delivered). A thumbnail made from a failed request has a null image: it is not "missing", draws
// nothing and measures 0 × 0. Immutable after creation; shared between the project's strip and its
// segments through shared_ptr, usable from any thread (QImage is implicitly shared and reentrant).
#pragma once

#include "CMTime.h"

#include <QImage>
#include <QRectF>
#include <QSizeF>

#include <memory>

class QPainter;

class CWThumbnail {
public:
    static std::shared_ptr<CWThumbnail> withImage(const QImage& image, CMTime time);
    static std::shared_ptr<CWThumbnail> missingThumbnail();
    CWThumbnail(const QImage& image, CMTime time) : image_(image), time_(time) {}
    virtual ~CWThumbnail() = default;

    const QImage& image() const { return image_; }
    CMTime time() const { return time_; }
    // Draws the image scaled into the rectangle.
    virtual void displayInRect(const QRectF& rect, QPainter& painter) const;
    // The image's pixel size.
    virtual QSizeF size() const;
    virtual bool isMissing() const { return false; }

private:
    QImage image_;
    CMTime time_;
};
