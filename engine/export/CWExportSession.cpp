#include "CWExportSession.h"

#include "CWAppleLosslessAudioFileExportSession.h"
#include "CWAssetWriterExportSession.h"
#include "CWBasicExportSession.h"
#include "CWFLACAudioFileExportSession.h"
#include "CWLameCustomExportSession.h"
#include "CWMetadataConverter.h"
#include "CWQOAExportSession.h"
#include "MainQueue.h"
#include "MediaAsset.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Sessions own main-thread objects (progress timers) and their workers hold references while they
// report, so the last reference may go on a worker: the session is then deleted on the main thread.
template <typename Session>
std::shared_ptr<CWExportSession> makeSession(std::shared_ptr<CWExportProject> project, const QString& url, std::shared_ptr<CWPreset> preset)
{
    return std::shared_ptr<Session>(new Session(std::move(project), url, std::move(preset)), [](Session* session) {
        if (MainQueue::isMainThread())
            delete session;
        else
            MainQueue::async([session] { delete session; });
    });
}

} // namespace

std::shared_ptr<CWExportSession> CWExportSession::exportProject(std::shared_ptr<CWExportProject> project, const QString& url,
                                                                std::shared_ptr<CWPreset> preset, Error* error)
{
    switch (preset->exportSessionClass()) {
    case CWExportSessionClass::Basic:
    case CWExportSessionClass::AudioOnly:
        return makeSession<CWBasicExportSession>(std::move(project), url, std::move(preset));
    case CWExportSessionClass::AssetWriter:
        return makeSession<CWAssetWriterExportSession>(std::move(project), url, std::move(preset));
    case CWExportSessionClass::LameCustom:
        return makeSession<CWLameCustomExportSession>(std::move(project), url, std::move(preset));
    case CWExportSessionClass::QOA:
        return makeSession<CWQOAExportSession>(std::move(project), url, std::move(preset));
    case CWExportSessionClass::FLACAudioFile:
        return makeSession<CWFLACAudioFileExportSession>(std::move(project), url, std::move(preset));
    case CWExportSessionClass::AppleLosslessAudioFile:
        return makeSession<CWAppleLosslessAudioFileExportSession>(std::move(project), url, std::move(preset));
    }
    setError(error, Error{QStringLiteral("CWExportSession"), 1, QStringLiteral("No export session for this preset."), {}, {}});
    return nullptr;
}

namespace {
std::atomic<int> liveSessions{0};
}

int CWExportSession::liveSessionCount() { return liveSessions.load(); }

CWExportSession::CWExportSession(std::shared_ptr<CWExportProject> project, QString url, std::shared_ptr<CWPreset> preset)
    : project_(std::move(project)), outputUrl_(std::move(url)), preset_(std::move(preset))
{
    ++liveSessions;
    fileType_ = preset_ ? preset_->fileType() : MediaFileType::MPEG4;
    // A hidden name in the target's folder, keeping its extension (muxers look at it).
    const QFileInfo target(outputUrl_);
    workingPath_ = target.absolutePath() + QStringLiteral("/.") + target.completeBaseName() +
                   QStringLiteral(".partial-%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')) +
                   (target.suffix().isEmpty() ? QString() : QLatin1Char('.') + target.suffix());
}

CWExportSession::~CWExportSession()
{
    if (!finished_)
        QFile::remove(workingPath_);
    --liveSessions;
}

std::vector<MetadataItem> CWExportSession::metadataForExport() const
{
    CWMetadataConverter converter(project_->asset()->metadata());
    if (configuration()->enforceSmallArtwork())
        converter.forceSmallArtwork();
    converter.addMetadataItems(configuration()->additionalMetadata());
    return converter.combinedMetadata();
}

void CWExportSession::finish(std::optional<Error> error, int64_t status)
{
    if (finished_.exchange(true))
        return;
    if (status == CWExportStatusCompleted && !error) {
        // rename() replaces the target in one step: readers see the old file or the new one.
        if (std::rename(QFile::encodeName(workingPath_).constData(), QFile::encodeName(outputUrl_).constData()) != 0) {
            error = Error{
                QStringLiteral("CWExportSession"),
                errno,
                QStringLiteral("Cannot move the finished file to \"%1\": %2").arg(outputUrl_, QString::fromLocal8Bit(std::strerror(errno))),
                {},
                {}};
            status = CWExportStatusFailed;
        }
    }
    if (status != CWExportStatusCompleted || error)
        QFile::remove(workingPath_);
    // The hidden working file means nothing to the user: messages name the file being made.
    if (error)
        error->message.replace(workingPath_, outputUrl_);
    auto self = shared_from_this();
    MainQueue::async([self, error, status] {
        if (self->completion_)
            self->completion_(error, status);
    });
}
