#include "CWExportSession.h"

#include "CWAppleLosslessAudioFileExportSession.h"
#include "CWAssetWriterExportSession.h"
#include "CWBasicExportSession.h"
#include "CWFLACAudioFileExportSession.h"
#include "CWLameCustomExportSession.h"
#include "CWMetadataConverter.h"
#include "CWQOAExportSession.h"
#include "CWWorkingFile.h"
#include "CWWorkingFiles.h"
#include "MainQueue.h"
#include "MediaAsset.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sessions own main-thread objects (progress timers) and their workers hold references while they
// report, so the last reference may go on a worker: the session is then deleted on the main thread.
template <typename Session> std::shared_ptr<CWExportSession> makeSession(std::shared_ptr<CWExportProject> project,
                                                                         const CWExportTarget& target, std::shared_ptr<CWPreset> preset)
{
    return std::shared_ptr<Session>(new Session(std::move(project), target, std::move(preset)), [](Session* session) {
        if (MainQueue::isMainThread())
            delete session;
        else
            MainQueue::async([session] { delete session; });
    });
}

} // namespace

std::shared_ptr<CWExportSession> CWExportSession::exportProject(std::shared_ptr<CWExportProject> project, const CWExportTarget& target,
                                                                std::shared_ptr<CWPreset> preset, Error* error)
{
    switch (preset->exportSessionClass()) {
    case CWExportSessionClass::Basic:
    case CWExportSessionClass::AudioOnly:
        return makeSession<CWBasicExportSession>(std::move(project), target, std::move(preset));
    case CWExportSessionClass::AssetWriter:
        return makeSession<CWAssetWriterExportSession>(std::move(project), target, std::move(preset));
    case CWExportSessionClass::LameCustom:
        return makeSession<CWLameCustomExportSession>(std::move(project), target, std::move(preset));
    case CWExportSessionClass::QOA:
        return makeSession<CWQOAExportSession>(std::move(project), target, std::move(preset));
    case CWExportSessionClass::FLACAudioFile:
        return makeSession<CWFLACAudioFileExportSession>(std::move(project), target, std::move(preset));
    case CWExportSessionClass::AppleLosslessAudioFile:
        return makeSession<CWAppleLosslessAudioFileExportSession>(std::move(project), target, std::move(preset));
    }
    setError(error,
             Error{QStringLiteral("CWExportSession"), NoSessionForPreset, QStringLiteral("No export session for this preset."), {}, {}});
    return nullptr;
}

namespace {
std::atomic<int> liveSessions{0};
} // namespace

int CWExportSession::liveSessionCount() { return liveSessions.load(); }

namespace {
struct FolderIdentity {
    dev_t device = 0;
    ino_t inode = 0;
};
std::optional<FolderIdentity> requiredAncestor;

// Whether the folder is, or lies beneath, the required one: walked up by "..", never by name.
bool beneathRequiredFolder(int folderFd)
{
    if (!requiredAncestor)
        return true;
    int current = ::openat(folderFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (int depth = 0; current >= 0 && depth < 4096; ++depth) {
        struct stat here {};
        if (::fstat(current, &here) != 0)
            break;
        if (here.st_dev == requiredAncestor->device && here.st_ino == requiredAncestor->inode) {
            ::close(current);
            return true;
        }
        const int parent = ::openat(current, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(current);
        current = parent;
        struct stat above {};
        if (current >= 0 && ::fstat(current, &above) == 0 && above.st_dev == here.st_dev && above.st_ino == here.st_ino)
            break; // the root, whose ".." is itself
    }
    if (current >= 0)
        ::close(current);
    return false;
}
} // namespace

void CWExportSession::keepOutputsBeneath(int folderFd)
{
    struct stat info {};
    if (::fstat(folderFd, &info) == 0)
        requiredAncestor = FolderIdentity{info.st_dev, info.st_ino};
}

CWExportSession::CWExportSession(std::shared_ptr<CWExportProject> project, CWExportTarget target, std::shared_ptr<CWPreset> preset)
    : project_(std::move(project)), target_(std::move(target)), outputUrl_(target_.path()), preset_(std::move(preset))
{
    ++liveSessions;
    fileType_ = preset_ ? preset_->fileType() : MediaFileType::MPEG4;
    prepareWorkingFile();
}

CWExportSession::~CWExportSession()
{
    working_.reset(); // removes an unfinished file
    if (folderFd_ >= 0)
        ::close(folderFd_);
    --liveSessions;
}

void CWExportSession::prepareWorkingFile()
{
    // The target's folder is held open (or was already held by whoever named the target), so the
    // finished file goes where the export began even if the folder is renamed or replaced meanwhile.
    folderFd_ = target_.openFolder();
    if (folderFd_ >= 0) {
        CWWorkingFiles::removeAbandoned(folderFd_);
        // Writers reach the file by its descriptor's name.
        working_ = std::make_unique<CWWorkingFile>(folderFd_);
        workingPath_ = working_->path();
    }
    // Where no file can be made, the writer reports why, trying a hidden name beside the target.
    if (workingPath_.isEmpty())
        workingPath_ = QFileInfo(outputUrl_).absolutePath() + QLatin1Char('/') + QFile::decodeName(CWWorkingFiles::hiddenName());
}

bool CWExportSession::moveWorkingFileToTarget() { return working_ && working_->moveTo(QFile::encodeName(target_.fileName())); }

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
    if (status == CWExportStatusCompleted && !error && !beneathRequiredFolder(folderFd_)) {
        error = Error{QStringLiteral("CWExportSession"),
                      EACCES,
                      QStringLiteral("The folder of \"%1\" was moved out of the granted folder during the export; nothing was "
                                     "written.")
                          .arg(outputUrl_),
                      {},
                      {}};
        status = CWExportStatusFailed;
    }
    if (status == CWExportStatusCompleted && !error) {
        if (!moveWorkingFileToTarget()) {
            const int reason = errno;
            error = Error{QStringLiteral("CWExportSession"),
                          reason,
                          QStringLiteral("Cannot move the finished file to \"%1\": %2")
                              .arg(outputUrl_, QString::fromLocal8Bit(std::strerror(reason))),
                          {},
                          {}};
            status = CWExportStatusFailed;
        }
    }
    if (working_)
        working_->close(); // nothing is left of a file that was not moved
    // The hidden working file means nothing to the user: messages name the file being made.
    if (error)
        error->message.replace(workingPath_, outputUrl_);
    auto self = shared_from_this();
    MainQueue::async([self, error, status] {
        if (self->completion_)
            self->completion_(error, status);
    });
}
