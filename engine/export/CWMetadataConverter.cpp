#include "CWMetadataConverter.h"

#include "CWProjectMetadata.h"
#include "CWUtility.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

namespace {
const QString kConverterTag = QStringLiteral("MetaDataConverter");
const QString kArtworkTag = QStringLiteral("AlbumArt");
constexpr qint64 kSmallArtworkBytes = 128000;
} // namespace

CWMetadataConverter::CWMetadataConverter(const std::vector<MetadataItem>& assetMetadata) { addMetadataItems(assetMetadata); }

void CWMetadataConverter::addMetadataItems(const std::vector<MetadataItem>& items)
{
    for (const MetadataItem& item : items)
        addMetadata(item);
}

void CWMetadataConverter::addMetadata(const MetadataItem& original)
{
    MetadataItem item = original;
    if (item.keySpace != MetadataKeySpace::Common) {
        if (item.commonKey.isEmpty())
            return;
        item = MetadataItem{MetadataKeySpace::Common, original.commonKey, original.commonKey, original.value};
    }
    if (item.key == CommonMetadataKey::Artwork) {
        std::optional<MetadataItem> redrawn = sanitizeArtworkItem(item);
        if (!redrawn)
            return;
        item = *redrawn;
    }
    const auto held = std::find_if(accumulated_.begin(), accumulated_.end(), [&](const MetadataItem& m) { return m.key == item.key; });
    if (held != accumulated_.end()) {
        CWUtility::debugLog(kConverterTag, QStringLiteral("discarding metadata for key: %1").arg(item.key));
        accumulated_.erase(held);
    }
    CWUtility::debugLog(kConverterTag, QStringLiteral("adding metadata for key: %1").arg(item.key));
    accumulated_.push_back(item);
}

std::optional<MetadataItem> CWMetadataConverter::sanitizeArtworkItem(const MetadataItem& item) const
{
    CWUtility::debugLog(kArtworkTag, QStringLiteral("Processing artwork item"));
    const QByteArray data = item.value.typeId() == QMetaType::QByteArray ? item.value.toByteArray() : QByteArray();
    CWUtility::debugLog(kArtworkTag, QStringLiteral("Artwork format: NSData, size: %1 bytes").arg(data.size()));
    Error problem;
    const QImage image = CWProjectMetadata::decodeArtwork(data, &problem);
    if (image.isNull()) {
        CWUtility::debugLog(kArtworkTag, QStringLiteral("Artwork left out: %1").arg(problem.message));
        return std::nullopt;
    }
    const QSize original = image.size();
    CWUtility::debugLog(kArtworkTag, QStringLiteral("Original image size: %1x%2").arg(original.width()).arg(original.height()));
    // The square canvas is bounded: a picture of 12,000 × 1 pixels (a few bytes of PNG) must not become
    // a canvas of 12,000 × 12,000; larger pictures are scaled down into it.
    int side = std::min(std::max(original.width(), original.height()), CWProjectMetadata::kMaximumArtworkSide);
    QByteArray encoded;
    for (;;) {
        CWUtility::debugLog(kArtworkTag, QStringLiteral("Creating square canvas: %1x%1").arg(side));
        QImage canvas(side, side, QImage::Format_ARGB32);
        if (canvas.isNull()) {
            CWUtility::debugLog(kArtworkTag, QStringLiteral("Failed to create bitmap representation"));
            return std::nullopt;
        }
        canvas.fill(Qt::black);
        {
            // The picture at its own size, centred; on a smaller canvas it is scaled down to fit, so the
            // small artwork still shows the whole picture.
            QPainter painter(&canvas);
            QSize drawn = original.width() > side || original.height() > side ? original.scaled(side, side, Qt::KeepAspectRatio) : original;
            drawn = drawn.expandedTo(QSize(1, 1));
            const QPoint offset((side - drawn.width()) / 2, (side - drawn.height()) / 2);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRect(offset, drawn), image);
        }
        encoded.clear();
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        if (!(smallArtwork_ ? canvas.save(&buffer, "JPEG", 40) : canvas.save(&buffer, "PNG"))) {
            CWUtility::debugLog(kArtworkTag, QStringLiteral("Failed to convert sanitized image back to data"));
            return std::nullopt;
        }
        CWUtility::debugLog(kArtworkTag,
                            QStringLiteral("Successfully sanitized artwork: original %1x%2 -> square %3x%3, output size: %4 bytes")
                                .arg(original.width())
                                .arg(original.height())
                                .arg(side)
                                .arg(encoded.size()));
        if (!smallArtwork_) {
            CWUtility::debugLog(kArtworkTag, QStringLiteral("no need to optimize size"));
            break;
        }
        CWUtility::debugLog(kArtworkTag, QStringLiteral("arrived at size %1, need %2").arg(encoded.size()).arg(kSmallArtworkBytes));
        if (encoded.size() / 1024 < 125 || side <= 1)
            break;
        side /= 2;
        CWUtility::debugLog(kArtworkTag, QStringLiteral("limiting size to %1").arg(side));
    }
    return MetadataItem{MetadataKeySpace::Common, CommonMetadataKey::Artwork, CommonMetadataKey::Artwork, encoded};
}
