#include "VideoCompositionOutput.h"

#include "EarlyEnd.h"
#include "MediaAsset.h"
#include "SampleBufferInternal.h"

VideoCompositionOutput::VideoCompositionOutput(std::shared_ptr<const MediaAsset> asset, const Composition& composition,
                                               const VideoComposition& videoComposition)
    : asset_(std::move(asset)), videoComposition_(videoComposition)
{
    // The track the instructions name, else the composition's first video track.
    int32_t wanted = 0;
    for (const auto& instruction : videoComposition_.instructions)
        if (!instruction.layerInstructions.empty() && !wanted)
            wanted = instruction.layerInstructions.front().trackID;
    track_ = wanted ? composition.trackWithID(wanted) : nullptr;
    if (!track_ || track_->mediaType != MediaType::Video) {
        const auto video = composition.tracksWithMediaType(MediaType::Video);
        track_ = video.empty() ? nullptr : video.front();
    }
}

bool VideoCompositionOutput::start(Error* error)
{
    if (!track_) {
        setError(error, mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("The composition has no video track.")));
        return false;
    }
    if (track_->segments.empty())
        return true;
    if (!decoder_.open(asset_, track_->segments.front().sourceTrackID, error))
        return false;
    QTransform transform = track_->preferredTransform;
    for (const auto& instruction : videoComposition_.instructions)
        for (const auto& layer : instruction.layerInstructions)
            if (layer.trackID == track_->trackID)
                transform = layer.transform;
    QSize size = videoComposition_.renderSize;
    if (size.isEmpty())
        size = transform.mapRect(QRectF(QPointF(0, 0), QSizeF(decoder_.track().naturalSize))).size().toSize();
    converter_ = std::make_unique<FrameConverter>(size, transform);
    return true;
}

bool VideoCompositionOutput::deliver(FramePtr frame, CMTime frameStart, CMTime frameEnd, std::shared_ptr<SampleBuffer>& delivered,
                                     Error* error)
{
    const CompositionSegment& segment = track_->segments[segment_];
    const CMTime start = segment.sourceRange.start, end = CMTimeRangeGetEnd(segment.sourceRange);
    if (CMTimeCompare(frameEnd, start) <= 0 || CMTimeCompare(frameStart, end) >= 0)
        return true;
    const CMTime shownUntil = CMTimeMinimum(frameEnd, end);
    CMTime shownFrom = frameStart;
    if (CMTimeCompare(frameStart, start) < 0) {
        // A frame that begins before the segment: the output's first picture covers it from the start.
        // Later, a frame most of which was cut out is left out (the picture before it stays on screen
        // until the next frame's own time); one mostly kept is shown from the segment's start.
        const bool mostlyKept =
            CMTimeCompare(CMTimeMultiply(CMTimeSubtract(shownUntil, start), 2), CMTimeSubtract(frameEnd, frameStart)) >= 0;
        if (emittedAny_ && !mostlyKept)
            return true;
        shownFrom = start;
    }
    if (CMTimeCompare(shownUntil, shownFrom) <= 0)
        return true;
    FramePtr converted = converter_->convert(std::move(frame), error);
    if (!converted) {
        return false;
    }
    emittedAny_ = true;
    auto buffer =
        std::make_shared<VideoFrameBuffer>(std::make_unique<VideoFrameBuffer::Frame>(VideoFrameBuffer::Frame{std::move(converted)}));
    buffer->presentationTime = CMTimeAdd(segment.targetStart, CMTimeSubtract(shownFrom, start));
    buffer->duration = CMTimeSubtract(shownUntil, shownFrom);
    delivered = std::move(buffer);
    return true;
}

bool VideoCompositionOutput::readNext(std::shared_ptr<SampleBuffer>& out, Error* error)
{
    out.reset();
    while (track_ && segment_ < track_->segments.size()) {
        if (isCancelled())
            return true;
        const CompositionSegment& segment = track_->segments[segment_];
        const CMTime end = CMTimeRangeGetEnd(segment.sourceRange);
        if (!inSegment_) {
            if (!decoder_.seek(segment.sourceRange.start, error))
                return false;
            inSegment_ = true;
            run_.restart(segment.sourceRange.start, videoComposition_.frameDuration);
        }
        const bool decoded = run_.decodeNext(error, decoder_.timestampForTime(segment.sourceRange.start));
        if (!decoded && decoder_.failed())
            return false;
        std::shared_ptr<SampleBuffer> buffer;
        CMTime reached = segment.sourceRange.start; // where the frames decoded so far end
        if (run_.held()) {
            const CMTime heldTime = run_.heldTime(), heldEnd = run_.heldEnd();
            if (!deliver(run_.takeHeld(), heldTime, heldEnd, buffer, error))
                return false;
            reached = heldEnd;
        }
        // The stream ran out: fine at the track's end, a damaged file well before it.
        if (!decoded && !checkTrackReachedEnd(*asset_, decoder_.track(), reached, end, error))
            return false;
        run_.advance();
        if (!run_.held() || CMTimeCompare(run_.heldTime(), end) >= 0) {
            ++segment_;
            // A segment that goes on where this one stopped (a split point) continues without seeking.
            const bool continues =
                run_.held() && segment_ < track_->segments.size() && CMTimeCompare(track_->segments[segment_].sourceRange.start, end) == 0;
            if (!continues)
                inSegment_ = false;
        }
        if (buffer) {
            out = std::move(buffer);
            return true;
        }
    }
    return true;
}
