#include "ExportCompatibility.h"

#include "MediaAsset.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace ExportCompatibility {

namespace {
// Muxers without codec tables (Ogg, MP3, FLAC) answer "unknown" for all but their default codecs;
// these are the ones they write.
bool writesWithoutTable(MediaFileType fileType, AVCodecID codec)
{
    switch (fileType) {
    case MediaFileType::Ogg:
        return codec == AV_CODEC_ID_VORBIS || codec == AV_CODEC_ID_OPUS || codec == AV_CODEC_ID_FLAC || codec == AV_CODEC_ID_SPEEX ||
               codec == AV_CODEC_ID_THEORA || codec == AV_CODEC_ID_VP8;
    case MediaFileType::MP3:
        return codec == AV_CODEC_ID_MP3;
    case MediaFileType::FLAC:
        return codec == AV_CODEC_ID_FLAC;
    default:
        return false;
    }
}
} // namespace

bool containerTakes(MediaFileType fileType, const QString& codecName)
{
    const AVOutputFormat* format = av_guess_format(MediaFileTypes::muxerName(fileType).toUtf8().constData(), nullptr, nullptr);
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(codecName.toUtf8().constData());
    if (!format || !descriptor)
        return false;
    const int answer = avformat_query_codec(format, descriptor->id, FF_COMPLIANCE_NORMAL);
    if (answer == 0 || (answer < 0 && !writesWithoutTable(fileType, descriptor->id)))
        return false;
    // The muxer's own refusals beyond its tables: FLAC in MPEG-4 is experimental, and QuickTime
    // files take neither FLAC nor Opus.
    const bool mpeg4 = MediaFileTypes::hasEditLists(fileType);
    const bool quickTime = fileType == MediaFileType::QuickTimeMovie;
    return !((mpeg4 && descriptor->id == AV_CODEC_ID_FLAC) || (quickTime && descriptor->id == AV_CODEC_ID_OPUS));
}

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
