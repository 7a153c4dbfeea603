#include "MediaTypes.h"

#include <algorithm>

QStringList trackFacts(const MediaTrack& track)
{
    QStringList facts;
    if (!track.languageCode.isEmpty())
        facts << track.languageCode;
    if (track.mediaType == MediaType::Audio)
        facts << (track.channelCount == 1 ? QStringLiteral("1 channel") : QStringLiteral("%1 channels").arg(track.channelCount));
    if (track.mediaType == MediaType::Video)
        facts << QStringLiteral("%1×%2").arg(track.naturalSize.width()).arg(track.naturalSize.height());
    if (!track.title.isEmpty())
        facts << QStringLiteral("\"%1\"").arg(track.title);
    return facts;
}

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
    QStringList languages;
    for (const MediaTrack& track : audioTracks) {
        languages << track.languageCode;
        format.sampleRate = std::max(format.sampleRate, track.sampleRate);
        format.bitsPerSample = std::max(format.bitsPerSample, track.bitsPerSample);
        if (track.channelCount > format.channelCount) {
            format.channelCount = track.channelCount;
            format.channelLayoutMask = track.channelLayoutMask;
        }
    }
    languages.removeDuplicates();
    if (languages.size() == 1)
        format.languageCode = languages.front();
    return format;
}
