#include "CWWorkingFile.h"

#include "CWWorkingFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kNameAttempts = 8;
} // namespace

CWWorkingFile::CWWorkingFile(int folderFd) : folderFd_(folderFd)
{
    fd_ = ::openat(folderFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    for (int attempt = 0; fd_ < 0 && attempt < kNameAttempts; ++attempt) {
        const QByteArray name = CWWorkingFiles::hiddenName();
        fd_ = ::openat(folderFd_, name.constData(), O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            hiddenName_ = name;
        else if (errno != EEXIST)
            break;
    }
    if (fd_ >= 0)
        ::flock(fd_, LOCK_EX);
}

CWWorkingFile::~CWWorkingFile() { close(); }

QString CWWorkingFile::path() const { return fd_ >= 0 ? QStringLiteral("/proc/self/fd/%1").arg(fd_) : QString(); }

bool CWWorkingFile::moveTo(const QByteArray& name)
{
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    struct stat replaced {};
    const bool replaces = ::fstatat(folderFd_, name.constData(), &replaced, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(replaced.st_mode);
    if (hiddenName_.isEmpty()) {
        const QByteArray descriptor = "/proc/self/fd/" + QByteArray::number(fd_);
        // Where no file has the name, the finished file takes it in one step.
        if (!replaces && ::linkat(AT_FDCWD, descriptor.constData(), folderFd_, name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        for (int attempt = 0; attempt < kNameAttempts && hiddenName_.isEmpty(); ++attempt) {
            const QByteArray candidate = CWWorkingFiles::hiddenName();
            if (::linkat(AT_FDCWD, descriptor.constData(), folderFd_, candidate.constData(), AT_SYMLINK_FOLLOW) == 0)
                hiddenName_ = candidate;
            else if (errno != EEXIST)
                return false;
        }
        if (hiddenName_.isEmpty()) {
            errno = EEXIST;
            return false;
        }
    }
    if (replaces) {
        [[maybe_unused]] const int owned =
            ::fchownat(folderFd_, hiddenName_.constData(), replaced.st_uid, replaced.st_gid, AT_SYMLINK_NOFOLLOW);
        if (::fchmodat(folderFd_, hiddenName_.constData(), replaced.st_mode & 07777, 0) != 0)
            return false;
    }
    if (::renameat(folderFd_, hiddenName_.constData(), folderFd_, name.constData()) != 0)
        return false;
    hiddenName_.clear();
    return true;
}

void CWWorkingFile::close()
{
    const int code = errno;
    if (!hiddenName_.isEmpty())
        ::unlinkat(folderFd_, hiddenName_.constData(), 0);
    hiddenName_.clear();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    errno = code;
}
