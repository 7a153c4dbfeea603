#include "CWExportSession.h"

#include "CWAppleLosslessAudioFileExportSession.h"
#include "CWAssetWriterExportSession.h"
#include "CWBasicExportSession.h"
#include "CWFLACAudioFileExportSession.h"
#include "CWLameCustomExportSession.h"
#include "CWMetadataConverter.h"
#include "CWQOAExportSession.h"
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
#include <sys/file.h>
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
    if (!finished_ && !workingName_.isEmpty())
        ::unlinkat(folderFd_, workingName_.constData(), 0);
    if (workingFd_ >= 0)
        ::close(workingFd_);
    if (folderFd_ >= 0)
        ::close(folderFd_);
    --liveSessions;
}

void CWExportSession::prepareWorkingFile()
{
    // The target's folder is held open (or was already held by whoever named the target), so the
    // finished file goes where the export began even if the folder is renamed or replaced meanwhile.
    const QFileInfo target(outputUrl_);
    folderFd_ = target_.openFolder();
    if (folderFd_ < 0) {
        // The writer reports why it cannot create its file there.
        workingName_ = CWWorkingFiles::hiddenName();
        workingPath_ = target.absolutePath() + QLatin1Char('/') + QFile::decodeName(workingName_);
        return;
    }
    CWWorkingFiles::removeAbandoned(folderFd_);
    // An unnamed file in that folder: nothing of it is left after any end, a crash or SIGKILL included.
    // Writers reach it by its descriptor's name. It is locked from the start, for the moment it has a
    // name before it replaces an older file.
    workingFd_ = ::openat(folderFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (workingFd_ >= 0) {
        ::flock(workingFd_, LOCK_EX);
        workingPath_ = QStringLiteral("/proc/self/fd/%1").arg(workingFd_);
        return;
    }
    // A file system without unnamed files: a short hidden name, whatever the target's length, locked
    // while the export runs so that a later export knows it from an abandoned one.
    for (int attempt = 0; attempt < 8 && workingFd_ < 0; ++attempt) {
        workingName_ = CWWorkingFiles::hiddenName();
        workingFd_ = ::openat(folderFd_, workingName_.constData(), O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (workingFd_ < 0 && errno != EEXIST)
            break;
    }
    if (workingFd_ >= 0) {
        ::flock(workingFd_, LOCK_EX);
        workingPath_ = QStringLiteral("/proc/self/fd/%1").arg(workingFd_);
    } else {
        workingPath_ = target.absolutePath() + QLatin1Char('/') + QFile::decodeName(workingName_);
    }
}

bool CWExportSession::moveWorkingFileToTarget()
{
    const QByteArray targetName = QFile::encodeName(target_.fileName());
    struct stat replaced {};
    const bool replaces = ::fstatat(folderFd_, targetName.constData(), &replaced, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(replaced.st_mode);
    if (workingName_.isEmpty()) {
        const QByteArray descriptor = QFile::encodeName(workingPath_);
        // Where no file has the target's name, the finished file takes it in one step.
        if (!replaces && ::linkat(AT_FDCWD, descriptor.constData(), folderFd_, targetName.constData(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        // Otherwise it is named under a short hidden name first, then renamed over the target in one
        // step: readers see the old file or the new one.
        for (int attempt = 0; attempt < 8 && workingName_.isEmpty(); ++attempt) {
            const QByteArray name = CWWorkingFiles::hiddenName();
            if (::linkat(AT_FDCWD, descriptor.constData(), folderFd_, name.constData(), AT_SYMLINK_FOLLOW) == 0)
                workingName_ = name;
            else if (errno != EEXIST)
                return false;
        }
        if (workingName_.isEmpty())
            return false;
    }
    if (replaces) {
        // The new file keeps the replaced one's owner where this user may give it (else it stays this
        // user's) and its permissions.
        [[maybe_unused]] const int owned =
            ::fchownat(folderFd_, workingName_.constData(), replaced.st_uid, replaced.st_gid, AT_SYMLINK_NOFOLLOW);
        if (::fchmodat(folderFd_, workingName_.constData(), replaced.st_mode & 07777, 0) != 0)
            return false;
    }
    return ::renameat(folderFd_, workingName_.constData(), folderFd_, targetName.constData()) == 0;
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
    if ((status != CWExportStatusCompleted || error) && !workingName_.isEmpty())
        ::unlinkat(folderFd_, workingName_.constData(), 0);
    if (workingFd_ >= 0) {
        ::close(workingFd_);
        workingFd_ = -1;
    }
    // The hidden working file means nothing to the user: messages name the file being made.
    if (error)
        error->message.replace(workingPath_, outputUrl_);
    auto self = shared_from_this();
    MainQueue::async([self, error, status] {
        if (self->completion_)
            self->completion_(error, status);
    });
}
