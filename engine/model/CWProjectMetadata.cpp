#include "CWProjectMetadata.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>

namespace CWProjectMetadata {

std::vector<MetadataItem> itemsFromCustomMetadata(const std::map<QString, QString>& metadata)
{
    static const std::pair<QString, QString> keys[] = {
        {QStringLiteral("title"), CommonMetadataKey::Title},     {QStringLiteral("artist"), CommonMetadataKey::Artist},
        {QStringLiteral("album"), CommonMetadataKey::AlbumName}, {QStringLiteral("year"), CommonMetadataKey::CreationDate},
        {QStringLiteral("author"), CommonMetadataKey::Author},   {QStringLiteral("comment"), CommonMetadataKey::Description},
    };
    std::vector<MetadataItem> items;
    for (const auto& [name, key] : keys) {
        const auto it = metadata.find(name);
        if (it != metadata.end())
            items.push_back(MetadataItem{MetadataKeySpace::Common, key, key, it->second});
    }
    return items;
}

QImage decodeArtwork(const QByteArray& bytes, Error* error)
{
    const auto refuse = [error](ArtworkErrorCode code, const QString& why) {
        setError(error, Error{kArtworkErrorDomain, int(code), why, {}, {}});
        return QImage();
    };
    if (bytes.isEmpty())
        return refuse(ArtworkErrorCode::Empty, QStringLiteral("it is empty"));
    if (bytes.size() > kMaximumArtworkBytes)
        return refuse(ArtworkErrorCode::TooLarge, QStringLiteral("it is larger than 64 MiB"));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return refuse(ArtworkErrorCode::NotAPicture, QStringLiteral("it is not a picture (PNG, JPEG or another kind Clipwell reads)"));
    const QSize bounded = size.scaled(kMaximumArtworkSide, kMaximumArtworkSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    const bool tooLarge = std::max(size.width(), size.height()) > kMaximumArtworkSide;
    // Only JPEG scales while decoding; the other readers (PNG among them, whatever it claims) decode the
    // whole picture first: only within Qt's bound on the memory of one image (counted at four bytes a
    // pixel), which a scaled read does not apply on its own.
    const qint64 wholeBytes = qint64(size.width()) * size.height() * 4;
    const bool fits = reader.format() == "jpeg" || QImageReader::allocationLimit() <= 0 ||
                      wholeBytes <= qint64(QImageReader::allocationLimit()) * 1024 * 1024;
    if (tooLarge)
        reader.setScaledSize(bounded);
    const QImage image = fits ? reader.read() : QImage();
    if (image.isNull() && tooLarge)
        return refuse(ArtworkErrorCode::TooLarge,
                      QStringLiteral("its picture of %1 × %2 pixels is too large to read; scale it down to at most %3 pixels "
                                     "on its longer side")
                          .arg(size.width())
                          .arg(size.height())
                          .arg(kMaximumArtworkSide));
    if (image.isNull())
        return refuse(ArtworkErrorCode::Unreadable, QStringLiteral("its picture of %1 × %2 pixels cannot be read (%3)")
                                                        .arg(size.width())
                                                        .arg(size.height())
                                                        .arg(reader.errorString()));
    return image;
}

std::optional<MetadataItem> artworkFromFile(const MediaSource& file, Error* error)
{
    const std::optional<QByteArray> bytes = file.read(kMaximumArtworkBytes + 1, error);
    if (!bytes)
        return std::nullopt;
    if (decodeArtwork(*bytes, error).isNull())
        return std::nullopt;
    return MetadataItem{MetadataKeySpace::Common, CommonMetadataKey::Artwork, CommonMetadataKey::Artwork, *bytes};
}

std::vector<MetadataItem> withSourceTags(const std::vector<MetadataItem>& sourceTags, const std::vector<MetadataItem>& set)
{
    std::vector<MetadataItem> items = sourceTags;
    items.insert(items.end(), set.begin(), set.end());
    return items;
}

} // namespace CWProjectMetadata
