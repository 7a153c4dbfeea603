#include "CWCustomExportSession.h"

#include "BufferPump.h"
#include "CompositionReader.h"
#include "InterleavedTransfer.h"
#include "MainQueue.h"
#include "MediaAsset.h"
#include "SerialQueue.h"

CWCustomExportSession::CWCustomExportSession(std::shared_ptr<CWExportProject> project, CWExportTarget target,
                                             std::shared_ptr<CWPreset> preset)
    : CWExportSession(std::move(project), std::move(target), std::move(preset))
{
    const CWExportProject& p = *this->project();
    const Composition& composition = *p.composition();
    totalDuration_ = composition.duration();
    std::vector<MediaTrack> sources;
    for (const CompositionTrack* track : composition.tracksWithMediaType(MediaType::Audio))
        if (const std::optional<MediaTrack> source = p.sourceTrackForCompositionTrack(*track))
            sources.push_back(*source);
    source_ = audioMixFormat(sources);
    source_.bitsPerSample = std::max(source_.bitsPerSample, 16);
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
    audioFormat_ = PcmFormat{sourceSampleRate(), channels, channels == source_.channelCount ? sourceChannelLayout() : 0, sampleType()};
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
    {
        std::lock_guard lock(progressMutex_);
        pendingProgress_ = {progress, time};
        if (progressPosted_)
            return;
        progressPosted_ = true;
    }
    // Reported on the main thread, ahead of the completion, which follows it through the same queue.
    auto self = std::static_pointer_cast<CWCustomExportSession>(shared_from_this());
    MainQueue::async([self] {
        std::pair<double, CMTime> report;
        {
            std::lock_guard lock(self->progressMutex_);
            report = self->pendingProgress_;
            self->progressPosted_ = false;
        }
        if (self->progressHandler_ && !self->progressHandler_(report.first, report.second))
            self->cancelled_ = true;
    });
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
    std::vector<std::pair<BufferPump, WriterInput*>> pumps;
    pumps.emplace_back(
        BufferPump(*audioOutput_, [this](SampleBuffer& buffer, Error* e) { return exportAudioBuffer(static_cast<PcmBuffer&>(buffer), e); }),
        nullptr);
    const double total = CMTimeGetSeconds(totalDuration_);
    const auto reached = [&](CMTime time) {
        if (total > 0)
            updateWithProgress(std::min(1.0, CMTimeGetSeconds(time) / total), time);
    };
    switch (transferInterleaved(pumps, cancelled_, reached, error)) {
    case TransferEnd::Finished:
        return true;
    case TransferEnd::Cancelled:
        cancelled_ = true;
        return true;
    case TransferEnd::Failed:
        // A reader that fails mid-way is a failed export, not a shorter file.
        return false;
    }
    return false;
}

void CWCustomExportSession::completeExport(std::optional<Error> error)
{
    const int64_t status = cancelled_ ? CWExportStatusCancelled : (error ? CWExportStatusFailed : CWExportStatusCompleted);
    finish(cancelled_ ? std::nullopt : error, status);
}
