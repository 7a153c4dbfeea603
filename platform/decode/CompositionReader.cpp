#include "CompositionReader.h"

#include "AudioMixOutput.h"
#include "TrackOutput.h"
#include "VideoCompositionOutput.h"

CompositionReader::CompositionReader(std::shared_ptr<const MediaAsset> asset, Composition composition)
    : asset_(std::move(asset)), composition_(std::move(composition))
{
}

std::shared_ptr<ReaderOutput> CompositionReader::add(std::shared_ptr<ReaderOutput> output)
{
    output->setCancelFlag(cancelled_);
    outputs_.push_back(output);
    return output;
}

std::shared_ptr<ReaderOutput> CompositionReader::addAudioMixOutput(std::vector<int32_t> trackIDs, const AudioMix& mix,
                                                                   const PcmFormat& format)
{
    return add(std::make_shared<AudioMixOutput>(asset_, composition_, std::move(trackIDs), mix, format));
}

std::shared_ptr<ReaderOutput> CompositionReader::addVideoCompositionOutput(const VideoComposition& videoComposition)
{
    return add(std::make_shared<VideoCompositionOutput>(asset_, composition_, videoComposition));
}

std::shared_ptr<ReaderOutput> CompositionReader::addTrackOutput(int32_t trackID)
{
    return add(std::make_shared<TrackOutput>(asset_, composition_, trackID));
}

bool CompositionReader::startReading(Error* error)
{
    for (const auto& output : outputs_)
        if (!output->start(error))
            return false;
    started_ = true;
    return true;
}

CompositionReader::Status CompositionReader::status() const
{
    if (!started_)
        return Status::Unknown;
    bool reading = false;
    for (const auto& output : outputs_) {
        switch (output->status()) {
        case ReaderOutput::Status::Failed:
            return Status::Failed;
        case ReaderOutput::Status::Reading:
        case ReaderOutput::Status::Unknown:
            reading = true;
            break;
        default:
            break;
        }
    }
    if (cancelled_->load())
        return Status::Cancelled;
    return reading ? Status::Reading : Status::Completed;
}

Error CompositionReader::error() const
{
    for (const auto& output : outputs_)
        if (output->status() == ReaderOutput::Status::Failed)
            return output->error();
    return {};
}
