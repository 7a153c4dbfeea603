// Reads a composition of an asset through outputs: an audio mix (all or some audio tracks, mixed into
// one PCM stream), a video composition (frames upright at the render size), and track outputs (packets
// copied). Outputs are added before startReading() and then pulled independently, each by one thread.
// cancelReading() makes every output end (status Cancelled) at its next pull; a failing output reports
// its error and makes the reader's status Failed. Owned by the session that reads; outlives its outputs' use.
#pragma once

#include "Composition.h"
#include "ReaderOutput.h"

#include <atomic>
#include <memory>
#include <vector>

class MediaAsset;

class CompositionReader {
public:
    enum class Status { Unknown, Reading, Completed, Failed, Cancelled };

    CompositionReader(std::shared_ptr<const MediaAsset> asset, Composition composition);

    std::shared_ptr<ReaderOutput> addAudioMixOutput(std::vector<int32_t> trackIDs, const AudioMix& mix, const PcmFormat& format);
    std::shared_ptr<ReaderOutput> addVideoCompositionOutput(const VideoComposition& videoComposition);
    std::shared_ptr<ReaderOutput> addTrackOutput(int32_t trackID);

    bool startReading(Error* error);
    void cancelReading() { cancelled_->store(true); }
    Status status() const;
    // The first failing output's error.
    Error error() const;
    const Composition& composition() const { return composition_; }

private:
    std::shared_ptr<ReaderOutput> add(std::shared_ptr<ReaderOutput> output);

    std::shared_ptr<const MediaAsset> asset_;
    Composition composition_;
    std::vector<std::shared_ptr<ReaderOutput>> outputs_;
    std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
    bool started_ = false;
};
