// Reader output that mixes audio tracks of a composition into one stream of interleaved PCM in the
// requested format (16-bit integers or 32-bit floats; rate and channels as asked), in buffers of up to
// 4096 frames stamped with composition time. Each track is read exactly to the sample
// (AudioTrackReader), scaled by its mix volume, summed, and clipped when converted to integers.
// With one track it is the single-track audio output.
#pragma once

#include "AudioTrackReader.h"
#include "ReaderOutput.h"

class AudioMixOutput : public ReaderOutput {
public:
    AudioMixOutput(std::shared_ptr<const MediaAsset> asset, const Composition& composition, std::vector<int32_t> trackIDs,
                   const AudioMix& mix, const PcmFormat& format);
    bool start(Error* error) override;
    const PcmFormat& format() const { return format_; }

protected:
    bool readNext(std::shared_ptr<SampleBuffer>& next, Error* error) override;

private:
    struct Input {
        const CompositionTrack* track = nullptr;
        double volume = 1.0;
        AudioTrackReader reader;
    };
    std::shared_ptr<const MediaAsset> asset_;
    PcmFormat format_;
    std::vector<std::unique_ptr<Input>> inputs_;
    int64_t delivered_ = 0;
    bool direct_ = false;
};
