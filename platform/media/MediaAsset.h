// A media file opened for reading its description: tracks in file order with stable IDs, duration and
// metadata. Opening reads the container once (as ffprobe does) and keeps only plain values, so an asset
// is immutable afterwards and safe to share between threads (hold it by shared_ptr). Readers of the
// media data (image generator, frame timing, composition reader) open their own demuxers on source().
//
// Source time: zero is the earliest start of the file's tracks, so a file whose timestamps begin at
// 1.4 s still starts at 0 here. Cover art (attached pictures) is an artwork metadata item and the
// chapters are a list of their own, never tracks (a QuickTime chapter track is not listed).
// open() fails with an Error carrying the library's message; it never throws.
#pragma once

#include "CMTime.h"
#include "Error.h"
#include "MediaSource.h"
#include "MediaTypes.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class MediaAsset {
public:
    static std::shared_ptr<MediaAsset> open(const MediaSource& source, Error* error = nullptr);

    const QString& path() const { return source_.path(); }
    // The file, held open where whoever opened the asset held it.
    const MediaSource& source() const { return source_; }
    // The demuxer's short name ("mov,mp4,m4a,3gp,3g2,mj2", "mp3", ...).
    const QString& formatName() const { return formatName_; }
    const std::vector<MediaTrack>& tracks() const { return tracks_; }
    std::vector<MediaTrack> tracksWithMediaType(MediaType type) const;
    std::optional<MediaTrack> trackWithID(int32_t trackID) const;
    // The same file as seen without some of its tracks (IDs): what an export of the others reads.
    // Everything else (length, start, tags, chapters, the held file) stays as it is; the asset itself
    // is returned when no listed ID is one of its tracks.
    static std::shared_ptr<MediaAsset> withoutTracks(const std::shared_ptr<MediaAsset>& asset, const std::vector<int32_t>& trackIDs);
    CMTime duration() const { return duration_; }
    // The container timestamp (exact) that source time zero stands for.
    CMTime startOffset() const { return startOffset_; }
    const std::vector<MetadataItem>& metadata() const { return metadata_; }
    // In source time and file order; a chapter without an end lasts until the next one (or the end).
    const std::vector<MediaChapter>& chapters() const { return chapters_; }

    // True when the file is now smaller than when it was opened (cut short while being read).
    bool fileShrank() const;
    // True when the length came from the container's header or its tracks, false when the library
    // guessed it from the bit rate (a file without a length header).
    bool lengthIsStated() const { return lengthIsStated_; }
    // Whether any track holds a packet that begins after the time (source time). Reads the file from
    // a seek near that time; a file that cannot be read there holds nothing after it.
    bool holdsMediaAfter(CMTime time) const;

    // Delivers the duration to the handler on a worker thread, never on the caller's thread.
    void loadDurationAsync(std::function<void(CMTime)> completion) const;

private:
    MediaAsset() = default;

    MediaSource source_;
    QString formatName_;
    std::vector<MediaTrack> tracks_;
    CMTime duration_ = kCMTimeInvalid;
    CMTime startOffset_ = kCMTimeZero;
    std::vector<MetadataItem> metadata_;
    std::vector<MediaChapter> chapters_;
    qint64 fileSize_ = -1;
    bool lengthIsStated_ = false;
};
