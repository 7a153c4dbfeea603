// The pass-through export: the packets of the composition's tracks copied without decoding into a new
// MPEG-4 / QuickTime file, exact to the frame and to the sample. Each kept piece is copied from the
// keyframe at or before its start through the frames its last shown frames need (PassthroughPlan);
// the pieces follow each other in the file, all tracks moved by the same amount, and every track gets
// an edit list with one entry per piece that shows exactly the kept material. A player that ignores
// edit lists shows each piece from its keyframe, still in sync. Copied tracks keep what their source
// streams say of themselves (display matrix, language, handler name, disposition). Matroska's missing
// decode times are supplied, AVI's MPEG-4 Part 2 frames timed (TimedPacketReader), and containers
// without an index (MPEG-TS) read forward to each keyframe.
//
// Containers without edit lists (Matroska, WebM, AVI, Ogg, and the audio formats) cannot hide a
// lead-in: there each piece of a video source shows from its keyframe, all tracks together, and is
// otherwise copied as above. Audio-only sources are cut to the sample where the format allows it: PCM
// (WAV, AIFF) sliced, FLAC frames cut and renumbered (FlacReframer), an MP3 file's first and last
// kept samples marked as its encoder delay and padding, an Ogg Opus file's as its pre-skip and last
// granule position; Vorbis begins with the packet that holds the kept start. Joins are to the packet.
//
// Blocking; runs on the export session's worker. Fails with the library's message, or with the
// early-end check's when the source turns out shorter than it says; a failed or cancelled copy leaves
// no file.
#pragma once

#include "Composition.h"
#include "Error.h"
#include "MediaFileType.h"
#include "MediaTypes.h"

#include <atomic>
#include <functional>
#include <memory>

class MediaAsset;

class PassthroughCopier {
public:
    PassthroughCopier(std::shared_ptr<const MediaAsset> asset, const Composition& composition, MediaFileType fileType, QString path,
                      std::vector<MetadataItem> metadata, std::vector<MediaChapter> chapters = {});
    // True when the file was written completely; false on failure (error set) or when cancelled.
    bool run(const std::atomic<bool>& cancelled, const std::function<void(double)>& progress, Error* error);

private:
    std::shared_ptr<const MediaAsset> asset_;
    const Composition& composition_;
    MediaFileType fileType_;
    QString path_;
    std::vector<MetadataItem> metadata_;
    std::vector<MediaChapter> chapters_;
};
