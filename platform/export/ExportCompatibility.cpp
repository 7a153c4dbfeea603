#include "ExportCompatibility.h"

#include "MediaAsset.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace ExportCompatibility {

namespace {
bool containerTakes(const AVOutputFormat* format, MediaFileType fileType, const QString& codecName)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(codecName.toUtf8().constData());
    if (!descriptor || avformat_query_codec(format, descriptor->id, FF_COMPLIANCE_NORMAL) != 1)
        return false;
    // The muxer's own refusals beyond its tables: FLAC in MPEG-4 is experimental, and QuickTime
    // files take neither FLAC nor Opus.
    const bool quickTime = fileType == MediaFileType::QuickTimeMovie;
    return !(descriptor->id == AV_CODEC_ID_FLAC || (quickTime && descriptor->id == AV_CODEC_ID_OPUS));
}

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
    const AVOutputFormat* format = av_guess_format(MediaFileTypes::muxerName(fileType).toUtf8().constData(), nullptr, nullptr);
    if (!format)
        return QStringLiteral("cannot write %1 files").arg(container);
    for (const MediaTrack& track : asset.tracks())
        if ((track.mediaType == MediaType::Video || track.mediaType == MediaType::Audio) &&
            !containerTakes(format, fileType, track.codecName))
            return QStringLiteral("cannot put %1 into %2").arg(codecLabel(track.codecName), container);
    return {};
}

} // namespace ExportCompatibility
