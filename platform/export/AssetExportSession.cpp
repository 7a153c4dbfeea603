#include "AssetExportSession.h"

#include "BufferPump.h"
#include "CompositionReader.h"
#include "InterleavedTransfer.h"
#include "MediaAsset.h"
#include "MediaWriter.h"
#include "PassthroughCopier.h"
#include "VideoEncodingInput.h"

#include <QFile>

#include <cmath>

namespace {

// The mix format of the composition's audio tracks.
AudioMixFormat sourceMix(const MediaAsset& asset, const Composition& composition)
{
    std::vector<MediaTrack> sources;
    for (const CompositionTrack* track : composition.tracksWithMediaType(MediaType::Audio))
        if (const std::optional<MediaTrack> source = asset.trackWithID(track->trackID))
            sources.push_back(*source);
    return audioMixFormat(sources);
}

// The same as floating point samples.
PcmFormat sourceAudioFormat(const AudioMixFormat& mix)
{
    return PcmFormat{mix.sampleRate, mix.channelCount, 0, PcmFormat::Sample::Float32};
}

std::vector<int32_t> audioTrackIDs(const Composition& composition)
{
    std::vector<int32_t> ids;
    for (const CompositionTrack* track : composition.tracksWithMediaType(MediaType::Audio))
        ids.push_back(track->trackID);
    return ids;
}

} // namespace

AssetExportSession::AssetExportSession(std::shared_ptr<const MediaAsset> asset, Composition composition, PlatformExportPreset preset)
    : asset_(std::move(asset)), composition_(std::move(composition)), preset_(preset)
{
    status_ = Status::Waiting;
}

AssetExportSession::~AssetExportSession()
{
    cancelled_ = true;
    if (worker_.joinable()) {
        if (worker_.get_id() == std::this_thread::get_id())
            worker_.detach(); // released from its own completion
        else
            worker_.join();
    }
}

Error AssetExportSession::error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

void AssetExportSession::exportAsynchronously(std::function<void()> completion)
{
    status_ = Status::Exporting;
    worker_ = std::thread([this, completion = std::move(completion)] {
        Error error;
        const bool ok = run(&error);
        {
            std::lock_guard lock(mutex_);
            error_ = error;
        }
        if (ok)
            progress_ = 1.0f;
        status_ = ok ? Status::Completed : (cancelled_ ? Status::Cancelled : Status::Failed);
        if (status_ == Status::Cancelled) {
            std::lock_guard lock(mutex_);
            error_ = Error{};
        }
        if (completion)
            completion();
    });
}

bool AssetExportSession::run(Error* error)
{
    switch (preset_) {
    case PlatformExportPreset::Passthrough: {
        PassthroughCopier copier(asset_, composition_, fileType_, path_, metadata_, chapters_, passthroughMode_);
        return copier.run(
            cancelled_, [this](double p) { progress_ = float(p); }, error);
    }
    case PlatformExportPreset::AppleM4A:
        return exportAudio(error);
    case PlatformExportPreset::LowQuality:
        return exportLowQuality(error);
    }
    return false;
}

bool AssetExportSession::exportAudio(Error* error)
{
    const AudioMixFormat mix = sourceMix(*asset_, composition_);
    PcmFormat format = sourceAudioFormat(mix);
    if (format.sampleRate <= 0) {
        setError(error, mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("There is no audio to export.")));
        return false;
    }
    format.channelCount = std::min(format.channelCount, 8);
    CompositionReader reader(asset_, composition_);
    auto audio = reader.addAudioMixOutput(audioTrackIDs(composition_), audioMix_, format);
    MediaWriter writer(path_, fileType_);
    const int64_t bitRate = 128000 * std::min(format.channelCount, 2) + 64000 * std::max(format.channelCount - 2, 0);
    WriterInput* input =
        writer.addAudioEncoderInput(AudioEncoderSettings{QStringLiteral("aac"), format.sampleRate, format.channelCount, 0, bitRate});
    if (!mix.languageCode.isEmpty())
        writer.setLanguage(input, mix.languageCode);
    writer.setMetadata(metadata_);
    writer.setChapters(chapters_);
    if (!reader.startReading(error) || !writer.startWriting(error))
        return false;
    std::vector<std::pair<BufferPump, WriterInput*>> pumps;
    pumps.emplace_back(BufferPump(
                           *audio, [input](SampleBuffer& b, Error* e) { return input->append(b, e); },
                           [input](Error* e) { return input->markAsFinished(e); }),
                       input);
    return write(writer, pumps, error);
}

bool AssetExportSession::write(MediaWriter& writer, std::vector<std::pair<BufferPump, WriterInput*>>& pumps, Error* error)
{
    const double total = CMTimeGetSeconds(composition_.duration());
    const TransferEnd end = transferInterleaved(
        pumps, cancelled_, [&](CMTime t) { progress_ = float(std::min(0.999, CMTimeGetSeconds(t) / total)); }, error);
    if (end != TransferEnd::Finished) {
        writer.cancelWriting();
        return false;
    }
    return writer.finishWriting(error);
}

bool AssetExportSession::exportLowQuality(Error* error)
{
    if (!videoComposition_) {
        setError(error, mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("There is no video to export.")));
        return false;
    }
    // The longer side at most 320 pixels, both sides even.
    const QSize render = videoComposition_->renderSize;
    const double scale = std::min(1.0, 320.0 / std::max(render.width(), render.height()));
    auto even = [](double v) { return std::max(2, int(std::lround(v / 2)) * 2); };
    const QSize size(even(render.width() * scale), even(render.height() * scale));

    CompositionReader reader(asset_, composition_);
    auto video = reader.addVideoCompositionOutput(*videoComposition_);
    MediaWriter writer(path_, fileType_);
    VideoEncoderOptions options;
    options.size = size;
    options.settings = VideoEncoderSettings{fourCharCode("avc1"), QStringLiteral("baseline")};
    options.preset = QStringLiteral("veryfast");
    options.crf = 28;
    const double frameDuration = CMTimeGetSeconds(videoComposition_->frameDuration);
    options.frameRate = frameDuration > 0 ? 1.0 / frameDuration : 30;
    const std::unique_ptr<VideoEncodingInput> encoding = VideoEncodingInput::create(writer, options, error);
    if (!encoding)
        return false;
    std::vector<std::pair<BufferPump, WriterInput*>> pumps;
    pumps.emplace_back(BufferPump(
                           *video, [&](SampleBuffer& b, Error* e) { return encoding->append(b, e); },
                           [&](Error* e) { return encoding->markAsFinished(e); }),
                       &encoding->writerInput());

    const AudioMixFormat mix = sourceMix(*asset_, composition_);
    const PcmFormat source = sourceAudioFormat(mix);
    std::shared_ptr<ReaderOutput> audio;
    if (source.sampleRate > 0) {
        const int rate = std::min(source.sampleRate, 48000);
        audio = reader.addAudioMixOutput(audioTrackIDs(composition_), audioMix_, PcmFormat{rate, 1, 0, PcmFormat::Sample::Float32});
        WriterInput* input = writer.addAudioEncoderInput(AudioEncoderSettings{QStringLiteral("aac"), rate, 1, 0, 64000});
        if (!mix.languageCode.isEmpty())
            writer.setLanguage(input, mix.languageCode);
        pumps.emplace_back(BufferPump(
                               *audio, [input](SampleBuffer& b, Error* e) { return input->append(b, e); },
                               [input](Error* e) { return input->markAsFinished(e); }),
                           input);
    }
    writer.setMetadata(metadata_);
    writer.setChapters(chapters_);
    if (!reader.startReading(error) || !writer.startWriting(error))
        return false;
    return write(writer, pumps, error);
}
