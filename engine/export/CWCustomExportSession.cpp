#include "CWCustomExportSession.h"

#include "BufferPump.h"
#include "CompositionReader.h"
#include "MainQueue.h"
#include "MediaAsset.h"
#include "SerialQueue.h"

CWCustomExportSession::CWCustomExportSession(std::shared_ptr<CWExportProject> project, QString url, std::shared_ptr<CWPreset> preset)
    : CWExportSession(std::move(project), std::move(url), std::move(preset))
{
    const CWExportProject& p = *this->project();
    const Composition& composition = *p.composition();
    totalDuration_ = composition.duration();
    // The largest rate and channel count; the layout of the first track that reached that count.
    for (const CompositionTrack* track : composition.tracksWithMediaType(MediaType::Audio)) {
        const std::optional<MediaTrack> source = p.sourceTrackForCompositionTrack(*track);
        if (!source)
            continue;
        sourceRate_ = std::max(sourceRate_, source->sampleRate);
        sourceBits_ = std::max(sourceBits_, source->bitsPerSample);
        if (source->channelCount > sourceChannels_) {
            sourceChannels_ = source->channelCount;
            sourceLayout_ = source->channelLayoutMask;
        }
    }
}

CWCustomExportSession::~CWCustomExportSession()
{
    cancelled_ = true;
    if (reader_)
        reader_->cancelReading();
    queue_.reset(); // waits for the worker
}

void CWCustomExportSession::startExport(CWProgressHandler progress, CWCompletionHandler completion)
{
    progressHandler_ = std::move(progress);
    completion_ = std::move(completion);
    const CWExportProject& p = *project();
    reader_ = std::make_unique<CompositionReader>(p.asset(), *p.composition());
    const int channels = sourceChannelCount();
    audioFormat_ = PcmFormat{sourceSampleRate(), channels, channels == sourceChannels_ ? sourceChannelLayout() : 0, sampleType()};
    std::vector<int32_t> audioTracks;
    for (const CompositionTrack* track : p.composition()->tracksWithMediaType(MediaType::Audio))
        audioTracks.push_back(track->trackID);
    if (preset()->isValidForAudio() && !audioTracks.empty() && audioFormat_.sampleRate > 0)
        audioOutput_ = reader_->addAudioMixOutput(audioTracks, p.audioMix(), audioFormat_);
    queue_ = std::make_unique<SerialQueue>(QStringLiteral("custom-export"));
    auto self = std::static_pointer_cast<CWCustomExportSession>(shared_from_this());
    queue_->async([self] { self->performCustomExport(); });
}

void CWCustomExportSession::updateWithProgress(double progress, CMTime time)
{
    if (progressHandler_ && !progressHandler_(progress, time))
        cancelled_ = true;
}

void CWCustomExportSession::performCustomExport()
{
    Error error;
    if (!beginExport(&error) || !reader_->startReading(&error) || !transferAudio(&error)) {
        reader_->cancelReading();
        closeOutput();
        return completeExport(error);
    }
    if (cancelled_) {
        reader_->cancelReading();
        closeOutput();
        return completeExport(std::nullopt);
    }
    if (!finalizeExport(&error)) {
        closeOutput();
        return completeExport(error);
    }
    completeExport(std::nullopt);
}

bool CWCustomExportSession::transferAudio(Error* error)
{
    if (!audioOutput_)
        return true;
    BufferPump pump(*audioOutput_,
                    [this](SampleBuffer& buffer, Error* e) { return exportAudioBuffer(static_cast<PcmBuffer&>(buffer), e); });
    const double total = CMTimeGetSeconds(totalDuration_);
    while (!cancelled_) {
        switch (pump.step(error)) {
        case BufferPump::Step::Moved:
            if (total > 0)
                updateWithProgress(std::min(1.0, CMTimeGetSeconds(pump.reachedTime()) / total), pump.reachedTime());
            break;
        case BufferPump::Step::Finished:
            return true;
        case BufferPump::Step::Cancelled:
            cancelled_ = true;
            return true;
        case BufferPump::Step::Failed:
            // A reader that fails mid-way is a failed export, not a shorter file.
            return false;
        }
    }
    return true;
}

void CWCustomExportSession::completeExport(std::optional<Error> error)
{
    const int64_t status = cancelled_ ? CWExportStatusCancelled : (error ? CWExportStatusFailed : CWExportStatusCompleted);
    finish(cancelled_ ? std::nullopt : error, status);
}
