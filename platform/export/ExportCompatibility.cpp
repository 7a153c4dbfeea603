#include "ExportCompatibility.h"

#include "MediaAsset.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace ExportCompatibility {

namespace {
bool containerTakes(const AVOutputFormat* format, const QString& codecName)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(codecName.toUtf8().constData());
    return descriptor && avformat_query_codec(format, descriptor->id, FF_COMPLIANCE_NORMAL) == 1;
}
} // namespace

bool isCompatible(const MediaAsset& asset, PlatformExportPreset preset, MediaFileType fileType)
{
    const bool hasVideo = !asset.tracksWithMediaType(MediaType::Video).empty();
    const bool hasAudio = !asset.tracksWithMediaType(MediaType::Audio).empty();
    switch (preset) {
    case PlatformExportPreset::AppleM4A:
        return hasAudio;
    case PlatformExportPreset::LowQuality:
        return hasVideo;
    case PlatformExportPreset::Passthrough:
        break;
    }
    const AVOutputFormat* format = av_guess_format(MediaFileTypes::muxerName(fileType).toUtf8().constData(), nullptr, nullptr);
    if (!format || (!hasVideo && !hasAudio))
        return false;
    for (const MediaTrack& track : asset.tracks())
        if ((track.mediaType == MediaType::Video || track.mediaType == MediaType::Audio) && !containerTakes(format, track.codecName))
            return false;
    return true;
}

} // namespace ExportCompatibility
