// Output container formats of the media layer: the identifier each is known by, the muxer that writes
// it and its usual extension. QOA is written by the engine's own encoder, not by a muxer.
#pragma once

#include <QString>

enum class MediaFileType { MPEG4, QuickTimeMovie, AppleM4V, AppleM4A, FLAC, MP3, QOA };

namespace MediaFileTypes {
// "public.mpeg-4", "com.apple.quicktime-movie", "com.apple.m4v-video", "com.apple.m4a-audio", "flac",
// "public.mp3", "public.qoa-audio".
QString identifier(MediaFileType type);
// libavformat's muxer name ("mp4", "mov", "ipod", "flac", "mp3"); empty for QOA.
QString muxerName(MediaFileType type);
QString extension(MediaFileType type);
} // namespace MediaFileTypes
