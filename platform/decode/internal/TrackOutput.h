// Reader output that copies the packets of one composition track (subtitles, timed metadata, or any
// track) without decoding, re-stamped into composition time: packets shown within a segment are
// kept, moved by the segment's offset and cut to its bounds. The source stream is available for the
// writer input that takes the packets.
#pragma once

#include "Composition.h"
#include "ReaderOutput.h"
#include "TrackDecoder.h"

class TrackOutput : public ReaderOutput {
public:
    TrackOutput(std::shared_ptr<const MediaAsset> asset, const Composition& composition, int32_t trackID);
    bool start(Error* error) override;
    // The source stream; valid after start() for the output's life.
    const AVStream* stream() const { return decoder_.stream(); }
    MediaType mediaType() const { return track_ ? track_->mediaType : MediaType::Other; }

protected:
    bool readNext(std::shared_ptr<SampleBuffer>& next, Error* error) override;

private:
    std::shared_ptr<const MediaAsset> asset_;
    const CompositionTrack* track_ = nullptr;
    TrackDecoder decoder_;
    size_t segment_ = 0;
    bool inSegment_ = false;
};
