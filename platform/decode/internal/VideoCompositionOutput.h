// Reader output of a composition's video: the frames of its first video track across all segments,
// turned upright and sized to the video composition's render size, in presentation order, stamped
// with composition time. Every source frame shown within a segment is delivered once at its own
// time with its own duration (cut at the segment's end), so the source's frame rate, constant or
// variable, is kept and pictures stay in step with the sound across joins. A frame whose start was
// cut out is shown from the segment's start when most of it was kept and left out otherwise (no
// sliver frames at joins); the output's first frame always covers it from the start. The
// composition's frame duration is used only for a last frame whose length the source does not give.
#pragma once

#include "Composition.h"
#include "FrameConverter.h"
#include "FrameRun.h"
#include "ReaderOutput.h"
#include "TrackDecoder.h"

class VideoCompositionOutput : public ReaderOutput {
public:
    VideoCompositionOutput(std::shared_ptr<const MediaAsset> asset, const Composition& composition,
                           const VideoComposition& videoComposition);
    bool start(Error* error) override;

protected:
    bool readNext(std::shared_ptr<SampleBuffer>& next, Error* error) override;

private:
    // The held frame as it shows within the current segment (it ends at frameEnd in source time);
    // delivered stays null for a frame the segment does not show. False when the picture cannot be converted.
    bool deliver(FramePtr frame, CMTime frameStart, CMTime frameEnd, std::shared_ptr<SampleBuffer>& delivered, Error* error);

    std::shared_ptr<const MediaAsset> asset_;
    const CompositionTrack* track_ = nullptr;
    VideoComposition videoComposition_;
    TrackDecoder decoder_;
    std::unique_ptr<FrameConverter> converter_;
    size_t segment_ = 0;
    bool inSegment_ = false;
    bool emittedAny_ = false;
    FrameRun run_{decoder_};
};
