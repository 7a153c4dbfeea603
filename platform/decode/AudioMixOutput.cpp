#include "AudioMixOutput.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int kFramesPerBuffer = 4096;
}

AudioMixOutput::AudioMixOutput(std::shared_ptr<const MediaAsset> asset, const Composition& composition, std::vector<int32_t> trackIDs,
                               const AudioMix& mix, const PcmFormat& format)
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
        setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument, QStringLiteral("The audio output format is not valid.")));
        return false;
    }
    // One track at its own level needs no mixing: it is converted straight to the output format.
    direct_ = inputs_.size() == 1 && inputs_.front()->volume == 1.0;
    PcmFormat internal = format_;
    if (!direct_)
        internal.sample = PcmFormat::Sample::Float32;
    for (auto& input : inputs_)
        if (!input->reader.open(asset_, *input->track, internal, error))
            return false;
    return true;
}

bool AudioMixOutput::readNext(std::shared_ptr<SampleBuffer>& next, Error* error)
{
    next.reset();
    auto buffer = std::make_shared<PcmBuffer>();
    buffer->format = format_;
    int frames = 0;
    if (direct_) {
        frames = inputs_.front()->reader.read(buffer->data, kFramesPerBuffer, error);
    } else {
        const int channels = format_.channelCount;
        std::vector<float> mixed(size_t(kFramesPerBuffer) * size_t(channels), 0.0f);
        std::vector<uint8_t> bytes;
        frames = -1;
        for (auto& input : inputs_) {
            bytes.clear();
            const int got = input->reader.read(bytes, kFramesPerBuffer, error);
            if (got < 0) {
                frames = -1;
                break;
            }
            // Every track covers the same segments, so all deliver the same count.
            frames = frames < 0 ? got : std::min(frames, got);
            const float* samples = reinterpret_cast<const float*>(bytes.data());
            const float volume = float(input->volume);
            for (size_t i = 0, n = bytes.size() / sizeof(float); i < n; ++i)
                mixed[i] += samples[i] * volume;
            if (isCancelled())
                return true;
        }
        if (frames > 0) {
            const size_t count = size_t(frames) * size_t(channels);
            buffer->data.resize(size_t(frames) * size_t(format_.bytesPerFrame()));
            if (format_.sample == PcmFormat::Sample::Float32) {
                std::copy_n(mixed.begin(), count, buffer->floatSamples());
            } else if (format_.sample == PcmFormat::Sample::Int32) {
                int32_t* out = buffer->int32Samples();
                for (size_t i = 0; i < count; ++i)
                    out[i] = int32_t(std::lrint(std::clamp(double(mixed[i]) * 2147483648.0, -2147483648.0, 2147483647.0)));
            } else {
                int16_t* out = buffer->int16Samples();
                for (size_t i = 0; i < count; ++i)
                    out[i] = int16_t(std::lrint(std::clamp(mixed[i] * 32768.0f, -32768.0f, 32767.0f)));
            }
        }
    }
    if (frames < 0)
        return false;
    if (frames == 0)
        return true;
    buffer->presentationTime = CMTimeMake(delivered_, format_.sampleRate);
    buffer->duration = CMTimeMake(frames, format_.sampleRate);
    delivered_ += frames;
    next = std::move(buffer);
    return true;
}
