// Whether the media layer's export session can make a file of a type from an asset with one of its
// presets. Pass-through copies every audio and video track, so the container must take each codec;
// AppleM4A needs audio; LowQuality re-encodes and needs video. Answers from libavformat's codec tables
// without touching the file again. Plain function, any thread.
#pragma once

#include "MediaFileType.h"

class MediaAsset;

enum class PlatformExportPreset { Passthrough, AppleM4A, LowQuality };

namespace ExportCompatibility {
bool isCompatible(const MediaAsset& asset, PlatformExportPreset preset, MediaFileType fileType);
}
