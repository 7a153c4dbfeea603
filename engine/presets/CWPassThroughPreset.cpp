#include "CWPassThroughPreset.h"

#include "MediaAsset.h"

#include <QFileInfo>

// The extension is compared exactly: "MOV" is not "mov".
MediaFileType CWPassThroughPreset::fileTypeForSource(const QString& sourcePath) const
{
    const QString extension = QFileInfo(sourcePath).suffix();
    if (extension == QLatin1String("mp4"))
        return MediaFileType::MPEG4;
    if (extension == QLatin1String("mov"))
        return MediaFileType::QuickTimeMovie;
    if (extension == QLatin1String("m4v"))
        return MediaFileType::AppleM4V;
    return fileType();
}

QString CWPassThroughPreset::defaultFileExtensionForSource(const QString& sourcePath) const
{
    const QString extension = QFileInfo(sourcePath).suffix();
    for (const char* kept : {"mp4", "mov", "m4v", "m4a"})
        if (extension == QLatin1String(kept))
            return extension;
    return QStringLiteral("mp4");
}

void CWPassThroughPreset::determineCompatibilityWithAsset(const MediaAsset& asset, const std::function<void(bool)>& handler) const
{
    if (QFileInfo(asset.path()).suffix().toLower() == QLatin1String("mp3")) {
        handler(false);
        return;
    }
    CWPreset::determineCompatibilityWithAsset(asset, handler);
}
