#include "MediaFileType.h"

namespace MediaFileTypes {

QString identifier(MediaFileType type)
{
    switch (type) {
    case MediaFileType::MPEG4:
        return QStringLiteral("public.mpeg-4");
    case MediaFileType::QuickTimeMovie:
        return QStringLiteral("com.apple.quicktime-movie");
    case MediaFileType::AppleM4V:
        return QStringLiteral("com.apple.m4v-video");
    case MediaFileType::AppleM4A:
        return QStringLiteral("com.apple.m4a-audio");
    case MediaFileType::FLAC:
        return QStringLiteral("flac");
    case MediaFileType::MP3:
        return QStringLiteral("public.mp3");
    case MediaFileType::QOA:
        return QStringLiteral("public.qoa-audio");
    case MediaFileType::Matroska:
        return QStringLiteral("org.matroska.mkv");
    case MediaFileType::WebM:
        return QStringLiteral("org.webmproject.webm");
    case MediaFileType::Ogg:
        return QStringLiteral("org.xiph.ogg");
    case MediaFileType::WAVE:
        return QStringLiteral("com.microsoft.waveform-audio");
    case MediaFileType::AIFF:
        return QStringLiteral("public.aiff-audio");
    case MediaFileType::AVI:
        return QStringLiteral("public.avi");
    }
    return {};
}

QString muxerName(MediaFileType type)
{
    switch (type) {
    case MediaFileType::MPEG4:
    case MediaFileType::AppleM4V: // MPEG-4 with the M4V brand
        return QStringLiteral("mp4");
    case MediaFileType::QuickTimeMovie:
        return QStringLiteral("mov");
    case MediaFileType::AppleM4A:
        return QStringLiteral("ipod");
    case MediaFileType::FLAC:
        return QStringLiteral("flac");
    case MediaFileType::MP3:
        return QStringLiteral("mp3");
    case MediaFileType::Matroska:
        return QStringLiteral("matroska");
    case MediaFileType::WebM:
        return QStringLiteral("webm");
    case MediaFileType::Ogg:
        return QStringLiteral("ogg");
    case MediaFileType::WAVE:
        return QStringLiteral("wav");
    case MediaFileType::AIFF:
        return QStringLiteral("aiff");
    case MediaFileType::AVI:
        return QStringLiteral("avi");
    case MediaFileType::QOA:
        break;
    }
    return {};
}

QString extension(MediaFileType type)
{
    switch (type) {
    case MediaFileType::MPEG4:
        return QStringLiteral("mp4");
    case MediaFileType::QuickTimeMovie:
        return QStringLiteral("mov");
    case MediaFileType::AppleM4V:
        return QStringLiteral("m4v");
    case MediaFileType::AppleM4A:
        return QStringLiteral("m4a");
    case MediaFileType::FLAC:
        return QStringLiteral("flac");
    case MediaFileType::MP3:
        return QStringLiteral("mp3");
    case MediaFileType::QOA:
        return QStringLiteral("qoa");
    case MediaFileType::Matroska:
        return QStringLiteral("mkv");
    case MediaFileType::WebM:
        return QStringLiteral("webm");
    case MediaFileType::Ogg:
        return QStringLiteral("ogg");
    case MediaFileType::WAVE:
        return QStringLiteral("wav");
    case MediaFileType::AIFF:
        return QStringLiteral("aiff");
    case MediaFileType::AVI:
        return QStringLiteral("avi");
    }
    return {};
}

bool hasEditLists(MediaFileType type)
{
    return type == MediaFileType::MPEG4 || type == MediaFileType::QuickTimeMovie || type == MediaFileType::AppleM4V ||
           type == MediaFileType::AppleM4A;
}

} // namespace MediaFileTypes
