// Output container formats of the media layer: the identifier each is known by, the muxer that writes
// it and its usual extension. QOA is written by the engine's own encoder, not by a muxer. The formats
// after QOA are written by pass-through copies of sources that an MPEG-4 file cannot hold.
#pragma once

#include <QString>

enum class MediaFileType { MPEG4, QuickTimeMovie, AppleM4V, AppleM4A, FLAC, MP3, QOA, Matroska, WebM, Ogg, WAVE, AIFF, AVI };

namespace MediaFileTypes {
// "public.mpeg-4", "com.apple.quicktime-movie", "com.apple.m4v-video", "com.apple.m4a-audio", "flac",
// "public.mp3", "public.qoa-audio", "org.matroska.mkv", "org.webmproject.webm", "org.xiph.ogg",
// "com.microsoft.waveform-audio", "public.aiff-audio", "public.avi".
QString identifier(MediaFileType type);
// libavformat's muxer name ("mp4", "mov", "ipod", "flac", "mp3", "matroska", ...); empty for QOA.
QString muxerName(MediaFileType type);
QString extension(MediaFileType type);
// Whether the format has edit lists, so that a copy can show exactly the kept material of a piece that
// begins between keyframes (the MPEG-4 family).
bool hasEditLists(MediaFileType type);
} // namespace MediaFileTypes
