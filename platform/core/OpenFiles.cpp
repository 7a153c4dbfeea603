#include "OpenFiles.h"

#include "Locked.h"

#include <algorithm>
#include <cerrno>
#include <map>
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

std::optional<QByteArray> read(const QString& path, qint64 limit)
{
    const std::optional<int> fd = descriptorFor(path);
    if (!fd)
        return std::nullopt;
    QByteArray bytes;
    char chunk[64 * 1024];
    while (bytes.size() < limit) {
        const ssize_t got = ::pread(*fd, chunk, size_t(std::min<qint64>(sizeof chunk, limit - bytes.size())), bytes.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        bytes.append(chunk, qsizetype(got));
    }
    return bytes;
}

} // namespace OpenFiles
