#include "CWFrameSnapshot.h"

#include "ImageGenerator.h"
#include "MediaAsset.h"

#include <QBuffer>
#include <QFileInfo>

#include <cmath>
#include <future>

namespace CWFrameSnapshot {

namespace {
Error snapshotError(ErrorCode code, const QString& message) { return Error{kErrorDomain, code, message, {}, {}}; }
} // namespace

QString timeLabel(CMTime time)
{
    const int64_t milliseconds = std::llround(std::max(0.0, CMTimeGetSeconds(time)) * 1000);
    return QStringLiteral("%1m%2.%3s")
        .arg(milliseconds / 60000)
        .arg(milliseconds / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(milliseconds % 1000, 3, 10, QLatin1Char('0'));
}

QString fileName(const QString& sourcePath, CMTime time, const QString& extension)
{
    return QStringLiteral("%1 %2.%3").arg(QFileInfo(sourcePath).completeBaseName(), timeLabel(time), extension);
}

QByteArray formatForName(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return "PNG";
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return "JPEG";
    return {};
}

std::optional<QImage> frameAt(const std::shared_ptr<const MediaAsset>& asset, CMTime time, Error* error)
{
    if (asset->tracksWithMediaType(MediaType::Video).empty()) {
        setError(error, snapshotError(NoPictures, QStringLiteral("\"%1\" has no pictures to keep.").arg(asset->path())));
        return std::nullopt;
    }
    if (!CMTIME_IS_NUMERIC(time) || CMTimeCompare(time, kCMTimeZero) < 0 || CMTimeCompare(time, asset->duration()) >= 0) {
        setError(error, snapshotError(OutsideTheSource, QStringLiteral("%1 s is not within the source, which lasts %2 s.")
                                                            .arg(CMTimeGetSeconds(time), 0, 'f', 3)
                                                            .arg(CMTimeGetSeconds(asset->duration()), 0, 'f', 3)));
        return std::nullopt;
    }
    ImageGenerator generator(asset);
    generator.setAppliesPreferredTrackTransform(true);
    std::promise<std::pair<QImage, Error>> delivered;
    generator.generateImagesAsynchronously({time}, [&](CMTime, const QImage& image, CMTime, ImageGenerator::Result, const Error& failure) {
        delivered.set_value({image, failure});
    });
    auto [image, failure] = delivered.get_future().get();
    if (image.isNull()) {
        setError(error, failure);
        return std::nullopt;
    }
    return image;
}

bool save(const QImage& image, const CWExportTarget& target, Error* error)
{
    const QByteArray format = formatForName(target.path());
    if (format.isEmpty()) {
        setError(error,
                 snapshotError(UnknownFormat,
                               QStringLiteral("\"%1\" names no picture file: end it in .png, .jpg or .jpeg.").arg(target.fileName())));
        return false;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format.constData(), format == "JPEG" ? 95 : -1)) {
        setError(error,
                 snapshotError(EncodingFailed, QStringLiteral("The frame cannot be encoded as %1.").arg(QString::fromLatin1(format))));
        return false;
    }
    return target.writeWhole(bytes, error);
}

} // namespace CWFrameSnapshot
