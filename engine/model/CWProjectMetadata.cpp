#include "CWProjectMetadata.h"

#include "OpenFiles.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace CWProjectMetadata {

std::vector<MetadataItem> itemsFromCustomMetadata(const std::map<QString, QString>& metadata)
{
    static const std::pair<QString, QString> keys[] = {
        {QStringLiteral("title"), CommonMetadataKey::Title},     {QStringLiteral("artist"), CommonMetadataKey::Artist},
        {QStringLiteral("album"), CommonMetadataKey::AlbumName}, {QStringLiteral("year"), CommonMetadataKey::CreationDate},
        {QStringLiteral("author"), CommonMetadataKey::Author},   {QStringLiteral("comment"), CommonMetadataKey::Description},
    };
    std::vector<MetadataItem> items;
    for (const auto& [name, key] : keys) {
        const auto it = metadata.find(name);
        if (it != metadata.end())
            items.push_back(MetadataItem{MetadataKeySpace::Common, key, key, it->second});
    }
    return items;
}

std::optional<MetadataItem> artworkFromFile(const QString& path)
{
    // A file the program checked and holds open is read through its descriptor.
    if (std::optional<QByteArray> held = OpenFiles::read(path, kMaximumArtworkBytes + 1)) {
        if (held->isEmpty() || held->size() > kMaximumArtworkBytes)
            return std::nullopt;
        return MetadataItem{MetadataKeySpace::Common, CommonMetadataKey::Artwork, CommonMetadataKey::Artwork, *held};
    }
    // Opened without waiting (a named pipe would block the open forever) and read only when it is a
    // regular file of picture size: a device or a pipe could be read without end.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QFile file;
    struct stat info {};
    QByteArray bytes;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaximumArtworkBytes &&
        file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        bytes = file.read(kMaximumArtworkBytes);
    else
        ::close(fd);
    if (bytes.isEmpty())
        return std::nullopt;
    return MetadataItem{MetadataKeySpace::Common, CommonMetadataKey::Artwork, CommonMetadataKey::Artwork, bytes};
}

std::vector<MetadataItem> withSourceTags(const std::vector<MetadataItem>& sourceTags, const std::vector<MetadataItem>& set)
{
    std::vector<MetadataItem> items = sourceTags;
    items.insert(items.end(), set.begin(), set.end());
    return items;
}

} // namespace CWProjectMetadata
