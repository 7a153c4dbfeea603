// The pass-through export: packets of the composition's tracks copied without decoding into a new
// file. A single kept piece is cut exactly: copying starts at the keyframe before the cut, with
// negative times for the lead-in, so that the MPEG-4 / QuickTime edit list hides it; video ends with
// exactly the frames shown before the end of the piece. Pieces joined into one file each start at the
// keyframe at or before their start, shown from there (the lead-in of a later piece cannot be hidden),
// with every track moved by the same amount so that audio and video stay in sync.
// Blocking; runs on the export session's worker. Fails with the library's message.
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
                      std::vector<MetadataItem> metadata);
    // True when the file was written completely; false on failure (error set) or when cancelled.
    bool run(const std::atomic<bool>& cancelled, const std::function<void(double)>& progress, Error* error);

private:
    std::shared_ptr<const MediaAsset> asset_;
    const Composition& composition_;
    MediaFileType fileType_;
    QString path_;
    std::vector<MetadataItem> metadata_;
};
