#include "MediaTypes.h"

#include <algorithm>

QString mediaTypeName(MediaType type)
{
    switch (type) {
    case MediaType::Video:
        return QStringLiteral("video");
    case MediaType::Audio:
        return QStringLiteral("audio");
    case MediaType::Subtitle:
        return QStringLiteral("subtitle");
    case MediaType::TimedMetadata:
        return QStringLiteral("metadata");
    case MediaType::Other:
        break;
    }
    return QStringLiteral("other");
}

AudioMixFormat audioMixFormat(const std::vector<MediaTrack>& audioTracks)
{
    AudioMixFormat format;
    for (const MediaTrack& track : audioTracks) {
        format.sampleRate = std::max(format.sampleRate, track.sampleRate);
        format.bitsPerSample = std::max(format.bitsPerSample, track.bitsPerSample);
        if (track.channelCount > format.channelCount) {
            format.channelCount = track.channelCount;
            format.channelLayoutMask = track.channelLayoutMask;
        }
    }
    return format;
}
