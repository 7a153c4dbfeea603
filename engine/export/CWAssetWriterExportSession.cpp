#include "CWAssetWriterExportSession.h"

#include "CompositionReader.h"
#include "CWAudioTrackTransfer.h"
#include "CWUtility.h"
#include "CWVideoTrackTransfer.h"
#include "MainQueue.h"
#include "MediaAsset.h"
#include "MediaWriter.h"
#include "VideoEncodingInput.h"

#include <QDateTime>

#include <mutex>

namespace {
// The session's progress notes are for diagnosis: shown with --debug, never otherwise.
void log(const QString& message) { CWUtility::debugLog(QStringLiteral("CWAssetWriterExportSession"), message); }
} // namespace

CWAssetWriterExportSession::CWAssetWriterExportSession(std::shared_ptr<CWExportProject> project, CWExportTarget target,
                                                       std::shared_ptr<CWPreset> preset)
    : CWExportSession(std::move(project), std::move(target), std::move(preset))
{
}

CWAssetWriterExportSession::~CWAssetWriterExportSession()
{
    for (const auto& transfer : transfers_)
        transfer->cancelTransfer();
    if (reader_)
        reader_->cancelReading();
}

bool CWAssetWriterExportSession::setUp(Error* error)
{
    const CWExportProject& p = *project();
    const Composition& composition = *p.composition();
    reader_ = std::make_unique<CompositionReader>(p.asset(), composition);
    writer_ = std::make_unique<MediaWriter>(workingPath(), fileType());
    writer_->setMetadata(metadataForExport());
    writer_->setChapters(p.chaptersForExport());

    // Audio: every track its own AAC input; two or more form one alternate group (the writer's rule).
    for (const CompositionTrack* track : composition.tracksWithMediaType(MediaType::Audio)) {
        const std::optional<MediaTrack> source = p.sourceTrackForCompositionTrack(*track);
        const int rate = source && source->sampleRate > 0 ? source->sampleRate : 48000;
        const int channels = source && source->channelCount > 0 ? std::min(source->channelCount, 2) : 2;
        auto output = reader_->addAudioMixOutput({track->trackID}, p.audioMix(), PcmFormat{rate, channels, 0, PcmFormat::Sample::Float32});
        WriterInput* input =
            writer_->addAudioEncoderInput(AudioEncoderSettings{QStringLiteral("aac"), rate, channels, 0, 64000 * channels});
        if (source && !source->languageCode.isEmpty())
            writer_->setLanguage(input, source->languageCode);
        transfers_.push_back(std::make_shared<CWAudioTrackTransfer>(output, input, track->trackID));
    }

    // Video: encoded at the upright size.
    const auto videoTracks = composition.tracksWithMediaType(MediaType::Video);
    if (!videoTracks.empty() && p.videoComposition()) {
        VideoEncoderOptions options;
        // Encoders take even sizes; an odd side loses its last pixel row or column.
        options.size = QSize(p.renderVideoWidth() & ~1, p.renderVideoHeight() & ~1);
        const double frameDuration = CMTimeGetSeconds(p.videoComposition()->frameDuration);
        options.frameRate = frameDuration > 0 ? 1.0 / frameDuration : 30;
        preset()->configureCompressionSession(options.settings);
        std::unique_ptr<VideoEncodingInput> encoding = VideoEncodingInput::create(*writer_, options, error);
        if (!encoding) {
            log(QStringLiteral("FAILED TO CREATE ENCODER: %1").arg(error ? error->message : QString()));
            return false;
        }
        log(QStringLiteral("created compressor"));
        VideoComposition videoComposition = *p.videoComposition();
        videoComposition.renderSize = options.size;
        auto output = reader_->addVideoCompositionOutput(videoComposition);
        auto transfer = std::make_shared<CWVideoTrackTransfer>(output, std::move(encoding), videoTracks.front()->trackID);
        std::weak_ptr<CWExportSession> weak = weak_from_this();
        transfer->useProgressBlock(
            [weak](double progress) {
                auto self = std::static_pointer_cast<CWAssetWriterExportSession>(weak.lock());
                if (!self || self->isEnding_)
                    return;
                self->logTransferProgress(progress);
                const CMTime time = self->project() ? self->project()->targetProgressToSourceTime(progress) : kCMTimeZero;
                if (self->progressHandler_ && !self->progressHandler_(progress, time)) {
                    self->cancelled_ = true;
                    self->reader_->cancelReading();
                    for (const auto& t : self->transfers_)
                        t->cancelTransfer();
                }
            },
            composition.duration());
        transfers_.push_back(transfer);
    }

    // Other tracks (subtitles, timed metadata): copied where the container takes them.
    for (const CompositionTrack& track : composition.tracks) {
        if (track.mediaType == MediaType::Audio || track.mediaType == MediaType::Video)
            continue;
        const std::optional<MediaTrack> source = p.sourceTrackForCompositionTrack(track);
        if (!source || !MediaWriter::canHold(fileType(), source->codecName))
            continue;
        auto output = reader_->addTrackOutput(track.trackID);
        transfers_.push_back(std::make_shared<CWAudioTrackTransfer>(output, nullptr, track.trackID));
    }
    if (transfers_.empty()) {
        setError(
            error,
            Error{QStringLiteral("CWAssetWriterExportSession"), NothingToExport, QStringLiteral("There is nothing to export."), {}, {}});
        return false;
    }
    if (!reader_->startReading(error))
        return false;
    // Copied tracks know their codec only now that their outputs have started.
    for (auto& transfer : transfers_)
        transfer->connectInputIfMissing(*writer_);
    return writer_->startWriting(error);
}

void CWAssetWriterExportSession::startExport(CWProgressHandler progress, CWCompletionHandler completion)
{
    progressHandler_ = std::move(progress);
    completion_ = std::move(completion);
    Error error;
    if (!setUp(&error)) {
        // Nothing is written: the working file was not begun or is removed by the writer.
        writer_.reset();
        finish(error, CWExportStatusFailed);
        return;
    }
    std::weak_ptr<CWExportSession> weak = weak_from_this();
    for (const auto& transfer : transfers_) {
        transfer->startAsyncTransfer([weak](bool cancelled, const std::optional<Error>& error) {
            auto self = std::static_pointer_cast<CWAssetWriterExportSession>(weak.lock());
            if (!self)
                return;
            if (error && !self->failure_) {
                // The first failure ends everything: the other transfers stop at their next buffer.
                self->failure_ = error;
                self->reader_->cancelReading();
                for (const auto& t : self->transfers_)
                    t->cancelTransfer();
            }
            self->cancelled_ = self->cancelled_ || (cancelled && !self->failure_);
            self->endAssetWriting();
        });
    }
}

void CWAssetWriterExportSession::endAssetWriting()
{
    if (isEnding_)
        return;
    for (const auto& transfer : transfers_)
        if (!transfer->isComplete())
            return;
    isEnding_ = true;
    if (failure_) {
        writer_->cancelWriting();
        finish(failure_, CWExportStatusFailed);
        return;
    }
    if (cancelled_) {
        writer_->cancelWriting();
        finish(std::nullopt, CWExportStatusCancelled);
        return;
    }
    Error error;
    if (writer_->finishWriting(&error))
        finish(std::nullopt, CWExportStatusCompleted);
    else
        finish(error, CWExportStatusFailed);
}

void CWAssetWriterExportSession::logTransferProgress(double progress)
{
    // At most once every 2.5 s in the whole process.
    static std::mutex mutex;
    static qint64 lastLog = 0;
    std::lock_guard lock(mutex);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - lastLog < 2500)
        return;
    lastLog = now;
    QString text = QString::asprintf("Transfer Progress: %0.2f\n", progress);
    for (const auto& transfer : transfers_)
        text += QStringLiteral("\t\t %1\n").arg(transfer->description());
    log(text.trimmed());
}
