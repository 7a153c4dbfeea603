// The turn of the source's first video track, classified as one of four quarter turns from the
// translation of its transform, with a clean transform that turns the stored picture upright and the
// upright width and height. Immutable after creation; any thread.
//   1: a quarter turn (+π/2), also for any transform not recognised;  2: a quarter turn the other way;
//   3: none;  4: a half turn.
#pragma once

#include <QRectF>
#include <QSizeF>
#include <QTransform>

#include <cstdint>
#include <memory>

class MediaAsset;

class CWAssetOrientation {
public:
    static std::shared_ptr<CWAssetOrientation> forAsset(const MediaAsset& asset);

    static int64_t orientationFromTransform(const QTransform& transform, QSizeF naturalSize);
    static QTransform transformForOrientation(int64_t orientation, QSizeF videoSize, QRectF targetRectangle);

    int64_t orientation() const { return orientation_; }
    QSizeF renderSize() const { return renderSize_; }
    QTransform transform() const { return transform_; }
    int32_t renderVideoWidth() const;
    int32_t renderVideoHeight() const;
    QString description() const;

private:
    int64_t orientation_ = 1;
    QSizeF renderSize_{0, 0};
    QTransform transform_;
};
