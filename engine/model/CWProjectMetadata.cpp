#include "CWProjectMetadata.h"

#include "OpenFiles.h"

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
    const std::optional<QByteArray> bytes = OpenFiles::readFile(path, kMaximumArtworkBytes + 1);
    if (!bytes || bytes->isEmpty() || bytes->size() > kMaximumArtworkBytes)
        return std::nullopt;
    return MetadataItem{MetadataKeySpace::Common, CommonMetadataKey::Artwork, CommonMetadataKey::Artwork, *bytes};
}

std::vector<MetadataItem> withSourceTags(const std::vector<MetadataItem>& sourceTags, const std::vector<MetadataItem>& set)
{
    std::vector<MetadataItem> items = sourceTags;
    items.insert(items.end(), set.begin(), set.end());
    return items;
}

} // namespace CWProjectMetadata
