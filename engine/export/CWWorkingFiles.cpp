#include "CWWorkingFiles.h"

#include <QRandomGenerator>

#include <cctype>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace CWWorkingFiles {

namespace {
constexpr time_t kQuietSeconds = 60; // a live export writes more often than this; one just made is younger
constexpr int kLongestFolderScan = 100000;
} // namespace

QByteArray hiddenName() { return ".cw-" + QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0'); }

bool isWorkingName(const QByteArray& name)
{
    if (name.size() != 12 || !name.startsWith(".cw-"))
        return false;
    for (qsizetype i = 4; i < name.size(); ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i])) || std::isupper(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

int removeAbandoned(int folderFd)
{
    const int listing = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return 0;
    DIR* dir = ::fdopendir(listing);
    if (!dir) {
        ::close(listing);
        return 0;
    }
    int removed = 0;
    int seen = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (++seen > kLongestFolderScan)
            break;
        const QByteArray name(entry->d_name);
        if (!isWorkingName(name))
            continue;
        const int fd = ::openat(folderFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            continue;
        struct stat opened {};
        struct stat named {};
        // Only a lock taken here proves the owner gone; the name must still be this very file when it goes.
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid() &&
            std::time(nullptr) - opened.st_mtime > kQuietSeconds && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(folderFd, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == opened.st_dev &&
            named.st_ino == opened.st_ino && ::unlinkat(folderFd, name.constData(), 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

} // namespace CWWorkingFiles
