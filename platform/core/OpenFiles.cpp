#include "OpenFiles.h"

#include "Locked.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace OpenFiles {

namespace {
Locked<std::map<QString, int>>& registry()
{
    static Locked<std::map<QString, int>> files;
    return files;
}
} // namespace

void add(const QString& path, int descriptor)
{
    registry().update([&](std::map<QString, int>& files) { files[path] = descriptor; });
}

std::optional<int> descriptorFor(const QString& path)
{
    return registry().update([&](const std::map<QString, int>& files) -> std::optional<int> {
        const auto found = files.find(path);
        return found == files.end() ? std::nullopt : std::optional<int>(found->second);
    });
}

namespace {
QByteArray readFrom(int fd, qint64 limit)
{
    QByteArray bytes;
    char chunk[64 * 1024];
    while (bytes.size() < limit) {
        const ssize_t got = ::pread(fd, chunk, size_t(std::min<qint64>(sizeof chunk, limit - bytes.size())), bytes.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        bytes.append(chunk, qsizetype(got));
    }
    return bytes;
}
} // namespace

std::optional<QByteArray> readFile(const QString& path, qint64 limit, Error* error)
{
    if (const std::optional<int> held = descriptorFor(path))
        return readFrom(*held, limit);
    // Opened without waiting (a named pipe would block the open for ever) and read only when it is a
    // regular file: a device or a pipe could be read without end.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        setError(error, systemError(code, QString::fromLocal8Bit(std::strerror(code))));
        return std::nullopt;
    }
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const QByteArray bytes = regular ? readFrom(fd, limit) : QByteArray();
    ::close(fd);
    if (!regular) {
        setError(error, systemError(EINVAL, QStringLiteral("not a regular file")));
        return std::nullopt;
    }
    return bytes;
}

} // namespace OpenFiles
