#include "CWMetadataConverter.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

namespace {

MetadataItem common(const QString& key, const QVariant& value) { return {MetadataKeySpace::Common, key, key, value}; }

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

} // namespace

TEST(CWMetadataConverter, OneItemPerKeyTheLastWinning)
{
    const std::vector<MetadataItem> source{
        {MetadataKeySpace::ID3, QStringLiteral("TIT2"), CommonMetadataKey::Title, QStringLiteral("From the file")},
        {MetadataKeySpace::ID3, QStringLiteral("TXXX"), QString(), QStringLiteral("dropped: no common key")},
        {MetadataKeySpace::ID3, QStringLiteral("TPE1"), CommonMetadataKey::Artist, QStringLiteral("Artist")}};
    CWMetadataConverter converter(source);
    converter.addMetadataItems({common(CommonMetadataKey::Title, QStringLiteral("Later"))});
    const auto result = converter.combinedMetadata();
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].key, CommonMetadataKey::Artist);
    EXPECT_EQ(result[1].key, CommonMetadataKey::Title) << "a replaced key moves to the end";
    EXPECT_EQ(result[1].stringValue(), QStringLiteral("Later"));
    for (const MetadataItem& item : result)
        EXPECT_EQ(item.keySpace, MetadataKeySpace::Common);
}

TEST(CWMetadataConverter, ArtworkBecomesSquareAndSmallWhenAsked)
{
    QImage wide(400, 100, QImage::Format_RGB32);
    wide.fill(Qt::red);
    CWMetadataConverter converter({});
    converter.addMetadata(common(CommonMetadataKey::Artwork, encoded(wide, "PNG")));
    QImage square;
    ASSERT_TRUE(square.loadFromData(converter.combinedMetadata()[0].dataValue(), "PNG"));
    EXPECT_EQ(square.size(), QSize(400, 400));
    EXPECT_EQ(square.pixelColor(200, 200), QColor(Qt::red));
    EXPECT_EQ(square.pixelColor(200, 10), QColor(Qt::black)) << "letterboxed in black";

    // Small: a JPEG under 128,000 bytes that still shows the whole picture, not a crop of its centre.
    QImage noisy(2000, 2000, QImage::Format_RGB32);
    for (int y = 0; y < noisy.height(); ++y)
        for (int x = 0; x < noisy.width(); ++x)
            noisy.setPixel(x, y, qRgb((x * 7 + y * 13) % 256, (x * y) % 256, x < 1000 ? 255 : 0));
    CWMetadataConverter small({});
    small.forceSmallArtwork();
    small.addMetadata(common(CommonMetadataKey::Artwork, encoded(noisy, "PNG")));
    const QByteArray jpeg = small.combinedMetadata()[0].dataValue();
    EXPECT_TRUE(jpeg.startsWith("\xFF\xD8"));
    EXPECT_LT(jpeg.size(), 128000);
    QImage shrunk;
    ASSERT_TRUE(shrunk.loadFromData(jpeg));
    EXPECT_LT(shrunk.width(), 2000);
    EXPECT_GT(qBlue(shrunk.pixel(shrunk.width() / 8, shrunk.height() / 2)), 200) << "the left half is still there";
    EXPECT_LT(qBlue(shrunk.pixel(shrunk.width() * 7 / 8, shrunk.height() / 2)), 60) << "and the right half";

    // Bytes that are no picture are left out, never copied as they came; the artwork before them stays.
    CWMetadataConverter broken({});
    broken.addMetadata(common(CommonMetadataKey::Artwork, encoded(wide, "PNG")));
    broken.addMetadata(common(CommonMetadataKey::Artwork, QByteArray("not an image")));
    ASSERT_EQ(broken.combinedMetadata().size(), 1u);
    EXPECT_TRUE(broken.combinedMetadata()[0].dataValue().startsWith("\x89PNG"));
}
