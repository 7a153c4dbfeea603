#include "PassthroughContainer.h"

#include "ContainerTraits.h"
#include "ExportCompatibility.h"
#include "MediaAsset.h"
#include "SpliceEncoder.h"

#include <QFileInfo>

namespace PassthroughContainer {

namespace {

// The family a demuxer's files belong to, for sources that are not MPEG-4: the table's, WebM by its
// name, Matroska for everything else.
MediaFileType familyOf(const MediaAsset& asset)
{
    const ContainerTraits* family = ContainerTraitsTable::forDemuxer(asset.formatName());
    if (!family || family->mpeg4Family)
        return MediaFileType::Matroska;
    if (family->type == MediaFileType::Matroska && QFileInfo(asset.path()).suffix().toLower() == QLatin1String("webm"))
        return MediaFileType::WebM;
    return family->type;
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
    if (ContainerTraitsTable::of(family).audioFamily)
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

QString nameWithArticle(MediaFileType type) { return ContainerTraitsTable::of(type).nameWithArticle; }

QString exactUnavailable(const MediaAsset& asset)
{
    const std::vector<MediaTrack> video = asset.tracksWithMediaType(MediaType::Video);
    return video.empty() ? QString() : SpliceEncoder::unavailableFor(video.front().codecName);
}

bool isExtensionOf(const QString& extension, MediaFileType type)
{
    return ContainerTraitsTable::of(type).extensions.contains(extension.toLower());
}

} // namespace PassthroughContainer
