#include "CWPassThroughPreset.h"

#include "PassthroughContainer.h"

MediaFileType CWPassThroughPreset::fileTypeForSource(const MediaAsset& source) const { return PassthroughContainer::fileType(source); }

QString CWPassThroughPreset::defaultFileExtensionForSource(const MediaAsset& source) const
{
    return PassthroughContainer::extension(source);
}

QString CWPassThroughPreset::descriptionForSource(const MediaAsset& source) const
{
    const MediaFileType type = fileTypeForSource(source);
    QString text = QStringLiteral("Copies the source's audio and video unchanged into %1 file (.%2)")
                       .arg(PassthroughContainer::nameWithArticle(type), defaultFileExtensionForSource(source));
    if (PassthroughContainer::cutsAtKeyframes(type, source))
        text += QStringLiteral("; each kept piece starts at the keyframe at or before its start");
    return text + QLatin1Char('.');
}
