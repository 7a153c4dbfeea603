#include "MediaSource.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

MediaSource MediaSource::heldOpen(int descriptor, QString shownPath)
{
    MediaSource source(std::move(shownPath));
    source.held_ = SharedDescriptor(descriptor);
    return source;
}

int MediaSource::openOwnDescriptor() const
{
    const QByteArray path = held_ ? "/proc/self/fd/" + QByteArray::number(held_.get()) : QFile::encodeName(path_);
    return ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
}

namespace {
std::optional<struct stat> statusOf(int fd, const QString& path)
{
    struct stat info {};
    const int found = fd >= 0 ? ::fstat(fd, &info) : ::stat(QFile::encodeName(path).constData(), &info);
    return found == 0 ? std::optional<struct stat>(info) : std::nullopt;
}
} // namespace

qint64 MediaSource::size() const
{
    const std::optional<struct stat> info = statusOf(descriptor(), path_);
    return info ? qint64(info->st_size) : -1;
}

std::optional<MediaSource::Identity> MediaSource::identity() const
{
    const std::optional<struct stat> info = statusOf(descriptor(), path_);
    return info ? std::optional<Identity>(Identity{quint64(info->st_dev), quint64(info->st_ino)}) : std::nullopt;
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

std::optional<QByteArray> MediaSource::read(qint64 limit, Error* error) const
{
    if (held_)
        return readFrom(held_.get(), limit);
    // Opened without waiting (a named pipe would block the open for ever) and read only when it is a
    // regular file: a device or a pipe could be read without end.
    const int fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
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
