#include "AudioMixOutput.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int kFramesPerBuffer = 4096;
}

AudioMixOutput::AudioMixOutput(std::shared_ptr<const MediaAsset> asset, const Composition& composition,
                               std::vector<int32_t> trackIDs, const AudioMix& mix, const PcmFormat& format)
    : asset_(std::move(asset)), format_(format)
{
    for (int32_t id : trackIDs) {
        const CompositionTrack* track = composition.trackWithID(id);
        if (!track || track->mediaType != MediaType::Audio)
            continue;
        double volume = 1.0;
        for (const AudioMixInputParameters& parameters : mix.inputParameters)
            if (parameters.trackID == id)
                volume = parameters.volume;
        auto input = std::make_unique<Input>();
        input->track = track;
        input->volume = volume;
        inputs_.push_back(std::move(input));
    }
}

bool AudioMixOutput::start(Error* error)
{
    if (format_.sampleRate <= 0 || format_.channelCount <= 0) {
        setError(error, Error{kMediaErrorDomain, AVERROR(EINVAL), QStringLiteral("The audio output format is not valid."), {}, {}});
        return false;
    }
    PcmFormat internal = format_;
    internal.sample = PcmFormat::Sample::Float32;
    for (auto& input : inputs_)
        if (!input->reader.open(asset_, *input->track, internal, error))
            return false;
    return true;
}

std::shared_ptr<SampleBuffer> AudioMixOutput::readNext(Error* error, bool& failed)
{
    const int channels = format_.channelCount;
    std::vector<float> mixed;
    int frames = -1;
    std::vector<float> samples;
    for (auto& input : inputs_) {
        samples.clear();
        const int got = input->reader.read(samples, kFramesPerBuffer, error);
        if (got < 0) {
            failed = true;
            return nullptr;
        }
        // Every track covers the same segments, so all deliver the same count.
        frames = frames < 0 ? got : std::min(frames, got);
        if (mixed.empty())
            mixed.assign(size_t(kFramesPerBuffer) * channels, 0.0f);
        for (size_t i = 0; i < samples.size(); ++i)
            mixed[i] += float(samples[i] * input->volume);
        if (isCancelled())
            return nullptr;
    }
    if (frames <= 0)
        return nullptr;
    auto buffer = std::make_shared<PcmBuffer>();
    buffer->format = format_;
    buffer->presentationTime = CMTimeMake(delivered_, format_.sampleRate);
    buffer->duration = CMTimeMake(frames, format_.sampleRate);
    buffer->data.resize(size_t(frames) * format_.bytesPerFrame());
    const size_t count = size_t(frames) * channels;
    if (format_.sample == PcmFormat::Sample::Float32) {
        std::copy_n(mixed.begin(), count, buffer->floatSamples());
    } else {
        int16_t* out = buffer->int16Samples();
        for (size_t i = 0; i < count; ++i)
            out[i] = int16_t(std::lrint(std::clamp(mixed[i] * 32768.0f, -32768.0f, 32767.0f)));
    }
    delivered_ += frames;
    return buffer;
}
