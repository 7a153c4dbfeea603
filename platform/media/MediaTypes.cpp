#include "MediaTypes.h"

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
