// Mixes all audio tracks of an asset, from a start time to the end, on a thread of its own into a
// bounded buffer of interleaved 32-bit float samples (about half a second) that an audio output pulls
// from. The mix is the export's: every track at its own volume, silence where a track has no media.
// start() drops what is buffered and begins anew; the destructor stops the thread at once.
//
// Thread-safe: start() and the destructor on the owner's thread, read() on the audio output's.
#pragma once

#include "CMTime.h"
#include "Error.h"
#include "SampleBuffer.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class MediaAsset;

class AudioDecodeWorker {
public:
    AudioDecodeWorker(std::shared_ptr<const MediaAsset> asset, const PcmFormat& format);
    ~AudioDecodeWorker();

    const PcmFormat& format() const { return format_; }
    void start(CMTime from);
    // Copies up to maxBytes (whole sample frames) of what is buffered; 0 when nothing is.
    int64_t read(char* data, int64_t maxBytes);
    // The mix reached its end and everything was read.
    bool finished() const;
    std::optional<Error> failure() const;

private:
    void run();
    void mixFrom(CMTime from, uint64_t generation);

    std::shared_ptr<const MediaAsset> asset_;
    PcmFormat format_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<char> buffer_; // what is decoded and not yet read, from head_ on
    size_t head_ = 0;
    size_t capacity_; // bytes: about half a second
    uint64_t generation_ = 0;
    std::optional<CMTime> request_;
    bool stopping_ = false;
    bool producing_ = false;
    std::optional<Error> failure_;
    std::thread thread_;
};
