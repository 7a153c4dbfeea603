// One kept piece of the source: the stretch of the source (source range) and where it lands in the
// composition (target range); both have the same duration. The slice copies its stretch of every
// composition track into the composition and contributes one video instruction. It refers to its
// export project without owning it (the project owns its slices). Ranges are guarded by a lock.
#pragma once

#include "CMTime.h"
#include "Composition.h"
#include "Locked.h"

#include <memory>
#include <vector>

class CWExportProject;
class MediaAsset;

class CWCompositionSlice {
public:
    static std::shared_ptr<CWCompositionSlice> fromSourceRange(CMTimeRange source, CMTimeRange target,
                                                               std::weak_ptr<CWExportProject> project = {});
    CWCompositionSlice(CMTimeRange source, CMTimeRange target, std::weak_ptr<CWExportProject> project)
        : project_(std::move(project)), sourceTimeRange_(source), targetTimeRange_(target)
    {
    }

    void useProject(std::weak_ptr<CWExportProject> project) { project_.set(std::move(project)); }
    CMTimeRange sourceTimeRange() const { return sourceTimeRange_.get(); }
    CMTimeRange targetTimeRange() const { return targetTimeRange_.get(); }
    CMTime duration() const { return sourceTimeRange().duration; }
    CMTime sourceEndTime() const { return CMTimeRangeGetEnd(sourceTimeRange()); }
    CMTime targetEndTime() const { return CMTimeRangeGetEnd(targetTimeRange()); }
    bool includesTargetTime(CMTime time) const { return CMTimeRangeContainsTime(targetTimeRange(), time); }
    CMTime sourceTimeAtTargetTime(CMTime time) const;
    void moveTargetToStart();

    // Inserts the source range of every composition track's source track at the target start and
    // appends this slice's video instruction. The Boolean is not consulted: the composition's tracks
    // already say what is included. On failure the composition keeps what was inserted.
    bool composeAsset(const MediaAsset& asset, bool includeAudioTracks, Composition& composition,
                      std::vector<VideoCompositionInstruction>& instructions, Error* error) const;
    void composeVideoTracks(const std::vector<MediaTrack>& videoTracks, std::vector<VideoCompositionInstruction>& instructions) const;
    VideoCompositionInstruction passThroughInstructionForTracks(const std::vector<MediaTrack>& videoTracks, CMTimeRange range) const;
    QString description() const;

private:
    Locked<std::weak_ptr<CWExportProject>> project_;
    Locked<CMTimeRange> sourceTimeRange_;
    Locked<CMTimeRange> targetTimeRange_;
};
