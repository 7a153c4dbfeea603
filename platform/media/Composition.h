// A composition: tracks whose media is laid out from stretches of an asset's tracks, each stretch
// (source range) placed at a time of the composition (target start). Plain values built on one thread
// and then read, never changed, by readers on others. Also the audio mix and the video composition
// that go with it, and the validation of a video composition against its composition.
#pragma once

#include "CMTime.h"
#include "Error.h"
#include "MediaTypes.h"

#include <QSize>
#include <QTransform>

#include <functional>
#include <vector>

// Domain of what a composition refuses: a stretch it cannot place, a track it does not have.
inline constexpr const char* kCompositionErrorDomain = "Composition";
enum class CompositionErrorCode { CannotInsert = 1 };
Error compositionError(CompositionErrorCode code, const QString& message);

struct CompositionSegment {
    int32_t sourceTrackID = 0;
    CMTimeRange sourceRange;
    CMTime targetStart;

    CMTimeRange targetRange() const { return CMTimeRangeMake(targetStart, sourceRange.duration); }
};

struct CompositionTrack {
    int32_t trackID = 0;
    MediaType mediaType = MediaType::Other;
    QTransform preferredTransform;
    std::vector<CompositionSegment> segments; // in target order

    // Places the source range of the source track at the given time. Fails (with an error) for an
    // empty or invalid range or a track of another media type.
    bool insertTimeRange(CMTimeRange sourceRange, const MediaTrack& sourceTrack, CMTime at, Error* error);
    CMTime duration() const;
};

struct Composition {
    std::vector<CompositionTrack> tracks;

    // A new empty track with the preferred ID (the next free one when taken or zero). The reference
    // is valid until the next track is added.
    CompositionTrack& addMutableTrack(MediaType mediaType, int32_t preferredTrackID);
    const CompositionTrack* trackWithID(int32_t trackID) const;
    std::vector<const CompositionTrack*> tracksWithMediaType(MediaType mediaType) const;
    CMTime duration() const;
};

struct AudioMixInputParameters {
    int32_t trackID = 0;
    double volume = 1.0;
};

struct AudioMix {
    std::vector<AudioMixInputParameters> inputParameters;
};

struct VideoCompositionLayerInstruction {
    int32_t trackID = 0;
    QTransform transform;
};

struct VideoCompositionInstruction {
    CMTimeRange timeRange;
    std::vector<VideoCompositionLayerInstruction> layerInstructions;
};

struct VideoComposition {
    // Used only where a source frame has no timing of its own; frames keep their own timing otherwise.
    CMTime frameDuration = CMTimeMake(1, 30);
    QSize renderSize;
    std::vector<VideoCompositionInstruction> instructions;

    // Render size and frame duration taken from the asset's first video track (upright size).
    static VideoComposition withPropertiesOfAsset(const class MediaAsset& asset);
};

// Receives what validation finds; each callback answers whether to go on (the engine always does).
class VideoCompositionValidationDelegate {
public:
    virtual ~VideoCompositionValidationDelegate() = default;
    virtual bool invalidValueForKey(const QString& key) = 0;
    virtual bool emptyTimeRange(CMTimeRange range) = 0;
    virtual bool invalidTimeRangeInInstruction(size_t index, const VideoCompositionInstruction& instruction) = 0;
    virtual bool invalidTrackIDInInstruction(const VideoCompositionInstruction& instruction,
                                             const VideoCompositionLayerInstruction& layerInstruction) = 0;
};

// Checks frame duration and render size, that the instructions cover the range without gaps or
// overlaps, and that every layer instruction names a video track of the composition. True when
// nothing was found.
bool validateVideoComposition(const VideoComposition& videoComposition, const Composition& composition, CMTimeRange timeRange,
                              VideoCompositionValidationDelegate* delegate);
