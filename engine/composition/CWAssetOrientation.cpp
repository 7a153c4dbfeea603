#include "CWAssetOrientation.h"

#include "MediaAsset.h"

#include <cmath>
#include <numbers>

std::shared_ptr<CWAssetOrientation> CWAssetOrientation::forAsset(const MediaAsset& asset)
{
    auto result = std::make_shared<CWAssetOrientation>();
    const auto video = asset.tracksWithMediaType(MediaType::Video);
    if (video.empty())
        return result;
    const QSizeF size(video.front().naturalSize);
    result->orientation_ = orientationFromTransform(video.front().preferredTransform, size);
    result->transform_ = transformForOrientation(result->orientation_, size, QRectF(QPointF(0, 0), size));
    result->renderSize_ = size;
    return result;
}

int64_t CWAssetOrientation::orientationFromTransform(const QTransform& transform, QSizeF size)
{
    const double tx = transform.dx(), ty = transform.dy();
    if (tx == size.width() && ty == size.height())
        return 4;
    if (tx == 0 && ty == 0)
        return 3;
    if (tx == 0 && ty == size.width())
        return 2;
    return 1;
}

QTransform CWAssetOrientation::transformForOrientation(int64_t orientation, QSizeF size, QRectF target)
{
    const double w = size.width(), h = size.height(), x = target.x(), y = target.y();
    double tx = 0, ty = 0, angle = 0;
    switch (orientation) {
    case 1:
        tx = h - x, ty = -y, angle = std::numbers::pi / 2;
        break;
    case 2:
        tx = -x, ty = w - y, angle = -std::numbers::pi / 2;
        break;
    case 3:
        tx = -x, ty = -y;
        break;
    case 4:
        tx = w - x, ty = h - y, angle = std::numbers::pi;
        break;
    default:
        return QTransform();
    }
    // A point is rotated about the origin first, then translated. Sines and cosines of quarter turns
    // are snapped to whole numbers so that readers can recognise the turn exactly.
    auto snap = [](double v) { return std::abs(v - std::round(v)) < 1e-12 ? std::round(v) + 0.0 : v; };
    const double c = snap(std::cos(angle)), s = snap(std::sin(angle));
    return QTransform(c, s, -s, c, tx, ty);
}

int32_t CWAssetOrientation::renderVideoWidth() const
{
    return int32_t(orientation_ == 1 || orientation_ == 2 ? renderSize_.height() : renderSize_.width());
}

int32_t CWAssetOrientation::renderVideoHeight() const
{
    return int32_t(orientation_ == 1 || orientation_ == 2 ? renderSize_.width() : renderSize_.height());
}

QString CWAssetOrientation::description() const { return QStringLiteral("CWAssetOrientation - %1").arg(orientation_); }
