// The presentation time and duration of every frame of a track, in presentation order, in source time.
// MP4 and QuickTime files are answered from their sample tables without reading any media data; other
// containers by a scan of the track's packets with every other stream discarded. Correct for B-frames
// (decode order differs from presentation order) and for variable frame rates.
// Blocking; call it off the main thread for long files. Fails with an Error when the file cannot be read.
#pragma once

#include "CMTime.h"
#include "Error.h"

#include <optional>
#include <vector>

class MediaAsset;

struct FrameSample {
    CMTime presentationTime;
    CMTime duration; // until the next frame is shown; for the last frame, as the container states it
};

namespace FrameTiming {

enum class Source { SampleTable, PacketScan };

std::optional<std::vector<FrameSample>> read(const MediaAsset& asset, int32_t trackID, Error* error, Source* source = nullptr);

} // namespace FrameTiming
