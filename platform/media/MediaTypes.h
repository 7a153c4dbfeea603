// Value types that describe what a media file holds: its tracks and its metadata items. They carry no
// library objects, so the engine can use them freely on any thread.
#pragma once

#include "CMTime.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <QTransform>
#include <QVariant>

#include <cstdint>
#include <vector>

enum class MediaType { Video, Audio, Subtitle, TimedMetadata, Other };

QString mediaTypeName(MediaType type);

struct MediaTrack {
    int32_t trackID = 0;  // stable: the container's track ID when unique and non-zero, else index + 1
    int streamIndex = -1; // the demuxer's stream index
    MediaType mediaType = MediaType::Other;
    QString codecName;     // the media library's codec name ("h264", "aac", ...)
    uint32_t codecTag = 0; // the container's four-character code, 0 when it has none
    QSize naturalSize;     // coded picture size, before the transform
    double pixelAspectRatio = 1.0;
    QTransform preferredTransform; // the display matrix: x' = m11·x + m21·y + dx, y' = m12·x + m22·y + dy
    double nominalFrameRate = 0.0;
    QString languageCode;                     // ISO 639-2 as the container states it, empty when it states none
    QString title;                            // the track's own title, empty when it has none
    CMTimeRange timeRange = kCMTimeRangeZero; // in source time (zero at the asset's start)
    int sampleRate = 0;
    int channelCount = 0;
    uint64_t channelLayoutMask = 0; // speaker positions when the file names them, else 0
    // The resolution of the audio: 16, or 24 for lossless sources of more than 16 bits and for
    // floating-point PCM. Lossy codecs count as 16.
    int bitsPerSample = 0;
    int64_t bitRate = 0;
    int timeBaseNum = 0, timeBaseDen = 1; // the demuxer's time base of this track
    bool lengthIsIndexed = false;         // the container's index states this track's exact length
};

// The format every mix of audio tracks is read in, before a preset narrows it: the largest sample rate,
// the largest channel count with the speaker layout of the first track that has that many (0 when it
// names none), the largest resolution, and the language when every track states the same one. Zeros
// for no tracks.
struct AudioMixFormat {
    int sampleRate = 0;
    int channelCount = 0;
    uint64_t channelLayoutMask = 0;
    int bitsPerSample = 0;
    QString languageCode;
};
AudioMixFormat audioMixFormat(const std::vector<MediaTrack>& audioTracks);

// What sets a track apart from the others of its kind, as short phrases in this order: its language,
// its channels ("2 channels") or picture size ("160×120"), its title in quotes; each left out when
// the file does not say it.
QStringList trackFacts(const MediaTrack& track);

// A named stretch of a file (a chapter), in source time or, once mapped, in output time.
struct MediaChapter {
    CMTimeRange timeRange = kCMTimeRangeZero;
    QString title;
};

// Key spaces and common keys of metadata items.
namespace MetadataKeySpace {
inline const QString Common = QStringLiteral("comn");
inline const QString ID3 = QStringLiteral("org.id3");
inline const QString iTunes = QStringLiteral("itsk");
inline const QString QuickTimeUserData = QStringLiteral("udta");
inline const QString VorbisComment = QStringLiteral("org.xiph.vorbis-comment");
inline const QString RIFF = QStringLiteral("riff");
inline const QString Matroska = QStringLiteral("org.matroska");
} // namespace MetadataKeySpace

namespace CommonMetadataKey {
inline const QString Title = QStringLiteral("title");
inline const QString Artist = QStringLiteral("artist");
inline const QString AlbumName = QStringLiteral("albumName");
inline const QString CreationDate = QStringLiteral("creationDate");
inline const QString Author = QStringLiteral("author");
inline const QString Description = QStringLiteral("description");
inline const QString Artwork = QStringLiteral("artwork");
} // namespace CommonMetadataKey

struct MetadataItem {
    QString keySpace;
    QString key;
    QString commonKey; // empty when the key has no common counterpart
    QVariant value;    // QString for text, QByteArray for artwork and other binary data

    QString stringValue() const { return value.toString(); }
    QByteArray dataValue() const { return value.toByteArray(); }
};
