#include "CWBasicExportSession.h"

#include "AssetExportSession.h"
#include "MediaAsset.h"

CWBasicExportSession::CWBasicExportSession(std::shared_ptr<CWExportProject> project, CWExportTarget target,
                                           std::shared_ptr<CWPreset> preset)
    : CWExportSession(std::move(project), std::move(target), std::move(preset))
{
    const CWExportProject& p = *this->project();
    exportSession_ = std::make_unique<AssetExportSession>(
        p.asset(), *p.composition(), this->preset()->exportSessionPresetName().value_or(PlatformExportPreset::Passthrough));
    exportSession_->setVideoComposition(p.videoComposition());
    exportSession_->setAudioMix(p.audioMix());
    exportSession_->setOutputFileType(p.fileType());
    exportSession_->setOutputPath(workingPath());
    exportSession_->setMetadata(metadataForExport());
    exportSession_->setChapters(p.chaptersForExport());
    if (const std::optional<PassthroughMode> mode = this->preset()->passthroughMode())
        exportSession_->setPassthroughMode(*mode);
}

CWBasicExportSession::~CWBasicExportSession() = default;

void CWBasicExportSession::startExport(CWProgressHandler progress, CWCompletionHandler completion)
{
    progress_ = std::move(progress);
    completion_ = std::move(completion);
    timer_ = std::make_unique<QTimer>();
    timer_->setInterval(500);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { tick(); });
    timer_->start();
    std::weak_ptr<CWExportSession> weak = weak_from_this();
    AssetExportSession* session = exportSession_.get();
    exportSession_->exportAsynchronously([this, weak, session] {
        // On the session's thread; finish() takes the result to the main thread.
        if (auto self = weak.lock()) {
            const AssetExportSession::Status status = session->status();
            std::optional<Error> error;
            if (status == AssetExportSession::Status::Failed)
                error = session->error();
            finish(error, int64_t(status));
        }
    });
}

void CWBasicExportSession::tick()
{
    if (exportSession_->status() != AssetExportSession::Status::Exporting) {
        timer_->stop();
        return;
    }
    const double progress = exportSession_->progress();
    const CMTime time = project() ? project()->targetProgressToSourceTime(progress) : kCMTimeZero;
    if (progress_ && !progress_(progress, time))
        exportSession_->cancelExport();
}
