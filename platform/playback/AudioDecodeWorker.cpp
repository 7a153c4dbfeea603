#include "AudioDecodeWorker.h"

#include "CompositionReader.h"
#include "MediaAsset.h"

#include <cstring>

AudioDecodeWorker::AudioDecodeWorker(std::shared_ptr<const MediaAsset> asset, const PcmFormat& format)
    : asset_(std::move(asset)), format_(format), capacity_(size_t(format.bytesPerFrame()) * size_t(format.sampleRate) / 2),
      thread_([this] { run(); })
{
}

AudioDecodeWorker::~AudioDecodeWorker()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void AudioDecodeWorker::start(CMTime from)
{
    {
        std::lock_guard lock(mutex_);
        request_ = from;
        ++generation_;
        buffer_.clear();
        head_ = 0;
        producing_ = true;
        failure_.reset();
    }
    wake_.notify_all();
}

int64_t AudioDecodeWorker::read(char* data, int64_t maxBytes)
{
    size_t taken = 0;
    {
        std::lock_guard lock(mutex_);
        const size_t frame = size_t(format_.bytesPerFrame());
        taken = std::min(buffer_.size() - head_, size_t(std::max<int64_t>(maxBytes, 0))) / frame * frame;
        if (taken == 0)
            return 0;
        memcpy(data, buffer_.data() + head_, taken);
        head_ += taken;
        if (head_ > buffer_.size() / 2) {
            buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(head_));
            head_ = 0;
        }
    }
    wake_.notify_all();
    return int64_t(taken);
}

bool AudioDecodeWorker::finished() const
{
    std::lock_guard lock(mutex_);
    return !producing_ && head_ == buffer_.size();
}

std::optional<Error> AudioDecodeWorker::failure() const
{
    std::lock_guard lock(mutex_);
    return failure_;
}

void AudioDecodeWorker::run()
{
    for (;;) {
        CMTime from;
        uint64_t generation = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || request_.has_value(); });
            if (stopping_)
                return;
            from = *request_;
            request_.reset();
            generation = generation_;
        }
        mixFrom(from, generation);
    }
}

void AudioDecodeWorker::mixFrom(CMTime from, uint64_t generation)
{
    auto current = [&] { return !stopping_ && generation_ == generation; }; // caller holds mutex_
    auto finish = [&](std::optional<Error> failure) {
        std::lock_guard lock(mutex_);
        if (current()) {
            producing_ = false;
            failure_ = std::move(failure);
        }
    };
    // A composition of every audio track from the start time to the asset's end.
    Composition composition;
    std::vector<int32_t> trackIDs;
    const CMTimeRange range = CMTimeRangeFromTimeToTime(from, asset_->duration());
    Error error;
    for (const MediaTrack& track : asset_->tracksWithMediaType(MediaType::Audio)) {
        CompositionTrack& added = composition.addMutableTrack(MediaType::Audio, track.trackID);
        if (CMTIMERANGE_IS_EMPTY(range) || !added.insertTimeRange(range, track, kCMTimeZero, &error))
            return finish(std::nullopt);
        trackIDs.push_back(added.trackID);
    }
    CompositionReader reader(asset_, composition);
    std::shared_ptr<ReaderOutput> output = reader.addAudioMixOutput(trackIDs, AudioMix{}, format_);
    if (!reader.startReading(&error))
        return finish(error);
    for (;;) {
        const std::shared_ptr<SampleBuffer> buffer = output->copyNextSampleBuffer();
        auto* pcm = dynamic_cast<PcmBuffer*>(buffer.get());
        if (!pcm)
            return finish(output->status() == ReaderOutput::Status::Failed ? std::optional(output->error()) : std::nullopt);
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return !current() || buffer_.size() - head_ < capacity_; });
        if (!current())
            return;
        buffer_.insert(buffer_.end(), pcm->data.begin(), pcm->data.end());
    }
}
