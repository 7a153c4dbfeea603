// Whether the media layer's export session can make a file of a type from an asset with one of its
// presets. Pass-through copies every audio and video track, so the container must take each codec
// (as a muxer writes it without experimental flags); AppleM4A needs audio; LowQuality re-encodes and
// needs video. Answers from libavformat's codec tables without touching the file again. Plain
// functions, any thread.
#pragma once

#include "MediaFileType.h"

#include <QString>

class MediaAsset;

enum class PlatformExportPreset { Passthrough, AppleM4A, LowQuality };

namespace ExportCompatibility {
// Empty when the preset can make the file; else what stands in the way, as the end of a sentence
// that starts with the preset's name: "needs an audio track", "cannot put FLAC into MP4".
QString incompatibility(const MediaAsset& asset, PlatformExportPreset preset, MediaFileType fileType);
// Whether the muxer of the type writes a track of the codec (the media layer's codec name).
bool containerTakes(MediaFileType fileType, const QString& codecName);
inline bool isCompatible(const MediaAsset& asset, PlatformExportPreset preset, MediaFileType fileType)
{
    return incompatibility(asset, preset, fileType).isEmpty();
}
} // namespace ExportCompatibility
