#include "PassthroughContainer.h"

#include "ExportCompatibility.h"
#include "MediaAsset.h"

#include <QFileInfo>
#include <QStringList>

namespace PassthroughContainer {

namespace {

// The names files of the type go by, the usual one first.
QStringList extensionsOf(MediaFileType type)
{
    switch (type) {
    case MediaFileType::MPEG4:
        return {QStringLiteral("mp4"), QStringLiteral("m4a")};
    case MediaFileType::Matroska:
        return {QStringLiteral("mkv"), QStringLiteral("mka"), QStringLiteral("mk3d")};
    case MediaFileType::Ogg:
        return {QStringLiteral("ogg"), QStringLiteral("oga"), QStringLiteral("ogv"), QStringLiteral("opus"), QStringLiteral("spx")};
    case MediaFileType::AIFF:
        return {QStringLiteral("aiff"), QStringLiteral("aif"), QStringLiteral("aifc")};
    default:
        return {MediaFileTypes::extension(type)};
    }
}

// The family a demuxer's files belong to, for sources that are not MPEG-4.
MediaFileType familyOf(const MediaAsset& asset)
{
    const QString format = asset.formatName();
    const QString suffix = QFileInfo(asset.path()).suffix().toLower();
    if (format == QLatin1String("mp3"))
        return MediaFileType::MP3;
    if (format == QLatin1String("flac"))
        return MediaFileType::FLAC;
    if (format == QLatin1String("wav") || format == QLatin1String("w64"))
        return MediaFileType::WAVE;
    if (format == QLatin1String("aiff"))
        return MediaFileType::AIFF;
    if (format == QLatin1String("ogg"))
        return MediaFileType::Ogg;
    if (format == QLatin1String("avi"))
        return MediaFileType::AVI;
    if (format.startsWith(QLatin1String("matroska")) && suffix == QLatin1String("webm"))
        return MediaFileType::WebM;
    return MediaFileType::Matroska;
}

bool isAudioFamily(MediaFileType type)
{
    return type == MediaFileType::MP3 || type == MediaFileType::FLAC || type == MediaFileType::WAVE || type == MediaFileType::AIFF ||
           type == MediaFileType::Ogg;
}

// Every audio, video and subtitle track fits (a subtitle track that does not would be lost).
bool holdsEverything(const MediaAsset& asset, MediaFileType type)
{
    if (!ExportCompatibility::isCompatible(asset, PlatformExportPreset::Passthrough, type))
        return false;
    for (const MediaTrack& track : asset.tracksWithMediaType(MediaType::Subtitle))
        if (!ExportCompatibility::containerTakes(type, track.codecName))
            return false;
    return true;
}

} // namespace

MediaFileType fileType(const MediaAsset& asset)
{
    // The extension is compared exactly, as the MPEG-4 family's files are always named: "MOV" is not "mov".
    const QString extension = QFileInfo(asset.path()).suffix();
    if (extension == QLatin1String("mov"))
        return MediaFileType::QuickTimeMovie;
    if (extension == QLatin1String("m4v"))
        return MediaFileType::AppleM4V;
    if (extension == QLatin1String("mp4") || extension == QLatin1String("m4a") || asset.formatName().contains(QLatin1String("mp4")))
        return MediaFileType::MPEG4;
    const MediaFileType family = familyOf(asset);
    if (isAudioFamily(family))
        return family;
    if (holdsEverything(asset, MediaFileType::MPEG4))
        return MediaFileType::MPEG4;
    // AVI states no presentation times (B-frames are timed by their order alone): an AVI source is
    // written as AVI only where Matroska cannot hold it.
    if (family == MediaFileType::AVI)
        return holdsEverything(asset, MediaFileType::Matroska) ? MediaFileType::Matroska : MediaFileType::AVI;
    if (family != MediaFileType::Matroska && !holdsEverything(asset, family))
        return MediaFileType::Matroska;
    return family;
}

QString extension(const MediaAsset& asset)
{
    const MediaFileType type = fileType(asset);
    const QString own = QFileInfo(asset.path()).suffix();
    if (type == MediaFileType::QuickTimeMovie || type == MediaFileType::AppleM4V)
        return own;
    return isExtensionOf(own, type) ? own.toLower() : MediaFileTypes::extension(type);
}

QString nameWithArticle(MediaFileType type)
{
    switch (type) {
    case MediaFileType::MPEG4:
        return QStringLiteral("an MPEG-4");
    case MediaFileType::QuickTimeMovie:
        return QStringLiteral("a QuickTime");
    case MediaFileType::AppleM4V:
        return QStringLiteral("an M4V");
    case MediaFileType::AppleM4A:
        return QStringLiteral("an M4A");
    case MediaFileType::FLAC:
        return QStringLiteral("a FLAC");
    case MediaFileType::MP3:
        return QStringLiteral("an MP3");
    case MediaFileType::QOA:
        return QStringLiteral("a QOA");
    case MediaFileType::Matroska:
        return QStringLiteral("a Matroska");
    case MediaFileType::WebM:
        return QStringLiteral("a WebM");
    case MediaFileType::Ogg:
        return QStringLiteral("an Ogg");
    case MediaFileType::WAVE:
        return QStringLiteral("a WAV");
    case MediaFileType::AIFF:
        return QStringLiteral("an AIFF");
    case MediaFileType::AVI:
        return QStringLiteral("an AVI");
    }
    return {};
}

bool cutsAtKeyframes(MediaFileType type, const MediaAsset& asset)
{
    return !MediaFileTypes::hasEditLists(type) && !asset.tracksWithMediaType(MediaType::Video).empty();
}

bool isExtensionOf(const QString& extension, MediaFileType type) { return extensionsOf(type).contains(extension.toLower()); }

} // namespace PassthroughContainer
