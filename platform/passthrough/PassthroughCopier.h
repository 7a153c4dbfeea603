// The pass-through export: the composition's tracks copied into a new file, piece by piece, with as
// little made anew as exactness needs. The plan (CopyPlan) is made once; each track then gets the
// strategy its kind, codec, container and the mode call for:
//   Exact (the default): video by smart rendering (VideoSmartCopy), audio as one unbroken run
//     joined at the packet nearest each cut (AudioCopy, exact at the file's ends where the format
//     allows), subtitles held to their piece. MPEG-4 files get at most one edit per track (the
//     decoder delay of B-frames, an audio lead-in) and state the kept length.
//   CopyOnly: the same, but video copied from the keyframe at or before each piece's start
//     (VideoKeyframeCopy), nothing encoded anew.
//   EditLists (MPEG-4 only): every piece copied from its keyframe and every track given an edit list
//     entry per piece (EditListTrackCopy).
// Copied tracks keep what their source streams say of themselves (display matrix, language, handler
// name, disposition); Matroska's attachments go with a copy into Matroska. Finishing is per
// container: MPEG-4 edit lists written into the finished file, an Ogg Opus pre-skip set in its header.
//
// Blocking; runs on the export session's worker. Fails with the library's message, or with the
// early-end check's when the source turns out shorter than it says; a failed or cancelled copy leaves
// no file.
#pragma once

#include "Composition.h"
#include "Error.h"
#include "MediaFileType.h"
#include "MediaTypes.h"
#include "PassthroughMode.h"

#include <atomic>
#include <functional>
#include <memory>

class MediaAsset;

class PassthroughCopier {
public:
    PassthroughCopier(std::shared_ptr<const MediaAsset> asset, const Composition& composition, MediaFileType fileType, QString path,
                      std::vector<MetadataItem> metadata, std::vector<MediaChapter> chapters = {},
                      PassthroughMode mode = PassthroughMode::Exact);
    // True when the file was written completely; false on failure (error set) or when cancelled.
    bool run(const std::atomic<bool>& cancelled, const std::function<void(double)>& progress, Error* error);

private:
    std::shared_ptr<const MediaAsset> asset_;
    const Composition& composition_;
    MediaFileType fileType_;
    QString path_;
    std::vector<MetadataItem> metadata_;
    std::vector<MediaChapter> chapters_;
    PassthroughMode mode_;
};
