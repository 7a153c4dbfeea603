#include "ExportCompatibility.h"

#include "ContainerTraits.h"
#include "MediaAsset.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace ExportCompatibility {

bool containerTakes(MediaFileType fileType, const QString& codecName) { return ContainerTraitsTable::holds(fileType, codecName); }

namespace {
QString codecLabel(const QString& codecName)
{
    return codecName.startsWith(QLatin1String("pcm_")) ? QStringLiteral("PCM audio") : codecName.toUpper();
}
} // namespace

QString incompatibility(const MediaAsset& asset, PlatformExportPreset preset, MediaFileType fileType)
{
    const bool hasVideo = !asset.tracksWithMediaType(MediaType::Video).empty();
    const bool hasAudio = !asset.tracksWithMediaType(MediaType::Audio).empty();
    switch (preset) {
    case PlatformExportPreset::AppleM4A:
        return hasAudio ? QString() : QStringLiteral("needs an audio track");
    case PlatformExportPreset::LowQuality:
        return hasVideo ? QString() : QStringLiteral("needs a video track");
    case PlatformExportPreset::Passthrough:
        break;
    }
    if (!hasVideo && !hasAudio)
        return QStringLiteral("needs an audio or video track");
    const QString container = MediaFileTypes::extension(fileType).toUpper();
    if (!av_guess_format(MediaFileTypes::muxerName(fileType).toUtf8().constData(), nullptr, nullptr))
        return QStringLiteral("cannot write %1 files").arg(container);
    for (const MediaTrack& track : asset.tracks())
        if ((track.mediaType == MediaType::Video || track.mediaType == MediaType::Audio) && !containerTakes(fileType, track.codecName))
            return QStringLiteral("cannot put %1 into %2").arg(codecLabel(track.codecName), container);
    return {};
}

} // namespace ExportCompatibility
