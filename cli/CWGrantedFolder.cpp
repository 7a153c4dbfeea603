#include "CWGrantedFolder.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

int openat2At(int dirFd, const char* path, int flags, uint64_t resolve)
{
    open_how how{};
    how.flags = uint64_t(flags | O_CLOEXEC);
    how.resolve = resolve;
    return int(::syscall(SYS_openat2, dirFd, path, &how, sizeof how));
}

QString realPathOf(int fd)
{
    char buffer[PATH_MAX];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t size = ::readlink(link.constData(), buffer, sizeof buffer);
    return size > 0 ? QFile::decodeName(QByteArray(buffer, int(size))) : QString();
}

bool isBeneath(const QByteArray& path, const QByteArray& root)
{
    return path == root || path.startsWith(root.endsWith('/') ? root : root + '/');
}

// `path` (beneath `root`) relative to it; "." for the root itself.
QByteArray below(const QByteArray& path, const QByteArray& root)
{
    QByteArray rest = path.mid(root.size());
    while (rest.startsWith('/'))
        rest.remove(0, 1);
    return rest.isEmpty() ? QByteArray(".") : rest;
}

bool leadsOut(int error) { return error == EXDEV || error == ELOOP; }

CWGrantedFolder::Outcome outcomeOf(int error)
{
    switch (error) {
    case ENOENT:
        return CWGrantedFolder::Outcome::Missing;
    case ENOTDIR:
        return CWGrantedFolder::Outcome::NotAFile;
    case EXDEV: // out of the folder, by ".." or by a link
    case ELOOP: // a link to an absolute path, or a magic link
        return CWGrantedFolder::Outcome::Outside;
    default:
        return CWGrantedFolder::Outcome::Unusable;
    }
}

} // namespace

std::unique_ptr<CWGrantedFolder> CWGrantedFolder::open(const QString& path, dev_t device, ino_t inode, Error* error)
{
    // The recorded path is the folder's real path: a link anywhere on it now means it was relinked.
    const int fd =
        openat2At(AT_FDCWD, QFile::encodeName(path).constData(), O_PATH | O_DIRECTORY, RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS);
    if (fd < 0) {
        const int code = errno;
        setError(error,
                 code == ELOOP || code == ENOTDIR
                     ? systemError(ESTALE,
                                   QStringLiteral("\"%1\" is no longer the folder that was granted: it was replaced by a link.").arg(path))
                     : systemError(code, QStringLiteral("The granted folder \"%1\" cannot be opened: %2.")
                                             .arg(path, QString::fromLocal8Bit(std::strerror(code)))));
        return nullptr;
    }
    std::unique_ptr<CWGrantedFolder> folder(new CWGrantedFolder(fd, path));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_dev != device || info.st_ino != inode) {
        setError(
            error,
            systemError(ESTALE,
                        QStringLiteral("\"%1\" is no longer the folder that was granted: it was replaced by another folder.").arg(path)));
        return nullptr;
    }
    return folder;
}

CWGrantedFolder::~CWGrantedFolder() { ::close(fd_); }

std::optional<QByteArray> CWGrantedFolder::relativePath(const QString& userPath, bool physical) const
{
    QByteArray path = QFile::encodeName(userPath);
    if (!path.startsWith('/')) {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd))
            return std::nullopt;
        path = QByteArray(cwd) + '/' + path;
    }
    const QByteArray root = QFile::encodeName(path_);
    // As written: the kernel resolves the rest beneath the folder.
    if (!physical)
        return isBeneath(path, root) ? std::optional<QByteArray>(below(path, root)) : std::nullopt;
    // Resolved: the nearest existing folder above the name, resolved by the kernel (links followed
    // wherever they lead), must be the folder or beneath it; the rest is again resolved beneath it.
    const qsizetype last = path.lastIndexOf('/');
    QByteArray existing = path.left(last), rest = path.mid(last + 1);
    for (;;) {
        char resolved[PATH_MAX];
        if (::realpath(existing.isEmpty() ? "/" : existing.constData(), resolved)) {
            const QByteArray real(resolved);
            if (!isBeneath(real, root))
                return std::nullopt;
            const QByteArray inside = below(real, root);
            return rest.isEmpty() ? inside : inside + '/' + rest;
        }
        const qsizetype slash = existing.lastIndexOf('/');
        if (slash < 0)
            return std::nullopt;
        rest = existing.mid(slash + 1) + '/' + rest;
        existing.truncate(slash);
    }
}

int CWGrantedFolder::openBeneath(const QByteArray& relative, int flags) const
{
    return openat2At(fd_, relative.constData(), flags, RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS);
}

CWGrantedFolder::Resolved CWGrantedFolder::resolve(const QString& userPath, bool mustExist, bool wantFolder)
{
    Resolved result;
    auto failed = [&result](int error) {
        result.outcome = outcomeOf(error);
        result.reason = QString::fromLocal8Bit(std::strerror(error));
        return result;
    };
    // First as written beneath the folder; a path that reaches the folder through links from elsewhere,
    // or passes an absolute link that points back inside, is tried again as the kernel resolves it.
    std::optional<QByteArray> relative = relativePath(userPath, false);
    QByteArray folder, name;
    int folderFd = -1;
    for (const bool physical : {false, true}) {
        if (physical)
            relative = relativePath(userPath, true);
        if (!relative)
            continue;
        const qsizetype slash = relative->lastIndexOf('/');
        folder = wantFolder ? *relative : slash < 0 ? QByteArray(".") : relative->left(slash);
        name = wantFolder ? QByteArray() : relative->mid(slash + 1);
        if (!wantFolder && (name.isEmpty() || name == "." || name == "..")) {
            result.outcome = Outcome::NotAFile;
            return result;
        }
        folderFd = openBeneath(folder, O_PATH | O_DIRECTORY);
        if (folderFd >= 0 || !leadsOut(errno))
            break;
    }
    if (!relative) {
        result.outcome = Outcome::Outside;
        return result;
    }
    if (folderFd < 0)
        return failed(errno);
    const SharedDescriptor heldFolder(folderFd);
    const QString realFolder = realPathOf(folderFd);
    result.real = name.isEmpty() ? realFolder : realFolder + QLatin1Char('/') + QFile::decodeName(name);
    result.outcome = Outcome::Inside;
    // An output goes into the folder held here; a file to read is held itself, opened beneath it.
    if (wantFolder)
        result.target = CWExportTarget::heldFolder(heldFolder, result.real);
    else if (!mustExist)
        result.target = CWExportTarget::fileInHeldFolder(heldFolder, result.real);
    if (wantFolder)
        return result;
    // The file itself, links followed as long as they stay inside; O_PATH never opens a pipe or a device.
    QByteArray file = folder + '/' + name;
    int fileFd = openBeneath(file, O_PATH);
    if (fileFd < 0 && leadsOut(errno)) {
        char real[PATH_MAX];
        const QByteArray throughFolder = "/proc/self/fd/" + QByteArray::number(folderFd) + '/' + name;
        if (!::realpath(throughFolder.constData(), real) || !isBeneath(real, QFile::encodeName(path_)))
            return failed(EXDEV);
        file = below(real, QFile::encodeName(path_));
        fileFd = openBeneath(file, O_PATH);
    }
    if (fileFd < 0)
        return errno == ENOENT && !mustExist ? result : failed(errno);
    struct stat info {};
    const bool regular = ::fstat(fileFd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fileFd);
    if (!regular) {
        result.outcome = Outcome::NotAFile;
        return result;
    }
    if (mustExist) {
        // A file to read is held open from here on; it is read through this descriptor.
        const int readFd = openBeneath(file, O_RDONLY | O_NONBLOCK);
        if (readFd < 0)
            return failed(errno);
        MediaSource held = MediaSource::heldOpen(readFd, result.real);
        if (::fstat(readFd, &info) != 0 || !S_ISREG(info.st_mode)) {
            result.outcome = Outcome::NotAFile;
            return result;
        }
        result.file = held;
    }
    return result;
}

bool CWGrantedFolder::isBeneath(const QString& path, const QString& folder)
{
    return ::isBeneath(QFile::encodeName(path), QFile::encodeName(folder));
}

CWGrantedFolder::Resolved CWGrantedFolder::fileToRead(const QString& userPath) { return resolve(userPath, true, false); }

CWGrantedFolder::Resolved CWGrantedFolder::fileToWrite(const QString& userPath) { return resolve(userPath, false, false); }

CWGrantedFolder::Resolved CWGrantedFolder::folderToWriteInto(const QString& userPath) { return resolve(userPath, true, true); }
