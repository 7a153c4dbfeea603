#include "CWPreset.h"

#include "MediaAsset.h"
#include "UserDefaults.h"

#include <QFileInfo>

#include <algorithm>
#include <map>

namespace {

const QString kLastPresetKey = QStringLiteral("lastPreset");

struct Catalogue {
    // Node-based map: registered classes keep their address for the life of the process.
    std::map<QString, CWPresetClass> classes;
    QString defaultIdentifier;
};

Catalogue& catalogue()
{
    static Catalogue instance;
    return instance;
}

} // namespace

void CWPreset::registerClass(const CWPresetClass& presetClass)
{
    catalogue().classes.insert_or_assign(presetClass.identifier, presetClass);
}

void CWPreset::beDefaultClass(const QString& identifier) { catalogue().defaultIdentifier = identifier; }

const CWPresetClass* CWPreset::classWithIdentifier(const QString& identifier)
{
    const auto it = catalogue().classes.find(identifier);
    return it == catalogue().classes.end() ? nullptr : &it->second;
}

std::vector<const CWPresetClass*> CWPreset::allPresetClasses()
{
    std::vector<const CWPresetClass*> result;
    for (const auto& [identifier, presetClass] : catalogue().classes)
        result.push_back(&presetClass);
    std::stable_sort(result.begin(), result.end(), [](const CWPresetClass* a, const CWPresetClass* b) {
        return QString::compare(a->presetName, b->presetName, Qt::CaseSensitive) < 0;
    });
    return result;
}

std::shared_ptr<CWPreset> CWPreset::lastPreset()
{
    const CWPresetClass* presetClass = classWithIdentifier(UserDefaults::stringForKey(kLastPresetKey));
    if (!presetClass)
        presetClass = classWithIdentifier(catalogue().defaultIdentifier);
    return presetClass && presetClass->create ? presetClass->create() : nullptr;
}

void CWPreset::lastPresetClass(const CWPresetClass& presetClass) { UserDefaults::setString(kLastPresetKey, presetClass.identifier); }

QString CWPreset::suggestedFilenameBasedOn(const QString& sourcePath, const QString& extension) const
{
    const QString suffix = QFileInfo(sourcePath).suffix();
    const QString base = suffix.isEmpty() ? sourcePath : sourcePath.left(sourcePath.size() - suffix.size() - 1);
    return base + QStringLiteral(" - ") + defaultFileSuffix() + QLatin1Char('.') + extension;
}

void CWPreset::determineCompatibilityWithAsset(const MediaAsset& asset, const std::function<void(bool)>& handler) const
{
    handler(obstacleForAsset(asset).isEmpty());
}

QString CWPreset::obstacleForAsset(const MediaAsset& asset) const
{
    const std::optional<PlatformExportPreset> platformPreset = exportSessionPresetName();
    if (exportSessionClass() == CWExportSessionClass::Basic && platformPreset)
        return ExportCompatibility::incompatibility(asset, *platformPreset, fileTypeForSource(asset));
    // The engine's own audio encoders make a file of the sound alone.
    if (CWExportSessionClasses::writesSoundOnly(exportSessionClass()) && asset.tracksWithMediaType(MediaType::Audio).empty())
        return QStringLiteral("needs an audio track");
    return {};
}

QString CWPreset::incompatibilityWithAsset(const MediaAsset& asset) const
{
    bool compatible = true;
    determineCompatibilityWithAsset(asset, [&](bool answer) { compatible = answer; });
    if (compatible)
        return {};
    QString obstacle = obstacleForAsset(asset);
    if (obstacle.isEmpty())
        obstacle = QStringLiteral("cannot export \"%1\"").arg(QFileInfo(asset.path()).fileName());
    const bool hasVideo = !asset.tracksWithMediaType(MediaType::Video).empty();
    QStringList others;
    for (const CWPresetClass* presetClass : allPresetClasses()) {
        if (presetClass == class_ || !presetClass->create || !(hasVideo ? presetClass->isValidForVideo : presetClass->isValidForAudio))
            continue;
        bool fits = false;
        presetClass->create()->determineCompatibilityWithAsset(asset, [&](bool answer) { fits = answer; });
        if (fits)
            others << presetClass->identifier;
    }
    QString sentence = presetName() + QLatin1Char(' ') + obstacle;
    if (others.size() == 1)
        sentence += QStringLiteral(": choose the %1 preset").arg(others.front());
    else if (others.size() > 1)
        sentence +=
            QStringLiteral(": choose the %1 or %2 preset").arg(others.mid(0, others.size() - 1).join(QStringLiteral(", ")), others.back());
    return sentence + QLatin1Char('.');
}

std::shared_ptr<CWPreset> CWPreset::presetForAsset(const MediaAsset& asset, std::shared_ptr<CWPreset> lastPreset)
{
    const bool hasVideo = !asset.tracksWithMediaType(MediaType::Video).empty();
    const bool hasAudio = !asset.tracksWithMediaType(MediaType::Audio).empty();
    if (lastPreset && ((hasVideo && lastPreset->isValidForVideo()) || (!hasVideo && hasAudio && lastPreset->isValidForAudio())))
        return lastPreset;
    if (hasVideo || hasAudio) {
        for (const CWPresetClass* presetClass : allPresetClasses())
            if ((hasVideo ? presetClass->isValidForVideo : presetClass->isValidForAudio) && presetClass->create)
                return presetClass->create();
    }
    return lastPreset;
}
