#include "CWAudioFileMetadataExtractor.h"

#include "MediaAsset.h"

#include <map>

std::optional<std::vector<MetadataItem>> CWAudioFileMetadataExtractor::extractMetadataFromAudioFile(const QString& path)
{
    const auto asset = MediaAsset::open(path);
    return asset ? extractMetadataFromAsset(*asset) : std::nullopt;
}

std::optional<std::vector<MetadataItem>> CWAudioFileMetadataExtractor::extractMetadataFromAsset(const MediaAsset& asset)
{
    if (asset.tracksWithMediaType(MediaType::Audio).empty())
        return std::nullopt;
    // The file's tag names (as the media library reports them) and the item keys they become.
    static const std::map<QString, QString> keys{
        {QStringLiteral("title"), CommonMetadataKey::Title},       {QStringLiteral("artist"), CommonMetadataKey::Artist},
        {QStringLiteral("album"), CommonMetadataKey::AlbumName},   {QStringLiteral("date"), CommonMetadataKey::CreationDate},
        {QStringLiteral("year"), CommonMetadataKey::CreationDate}, {QStringLiteral("genre"), QStringLiteral("genre")},
        {QStringLiteral("composer"), QStringLiteral("composer")},  {QStringLiteral("comment"), CommonMetadataKey::Description},
    };
    std::vector<MetadataItem> items;
    for (const MetadataItem& tag : asset.metadata()) {
        const auto it = keys.find(tag.key.toLower());
        if (it != keys.end() && tag.value.typeId() == QMetaType::QString)
            items.push_back(MetadataItem{MetadataKeySpace::Common, it->second, it->second, tag.value});
    }
    return items;
}
