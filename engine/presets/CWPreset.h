// The export preset base and the preset catalogue.
//
// A preset kind is described once by a CWPresetClass (its class-level attributes and a factory); a
// CWPreset instance refers to its class, answers the instance-level attributes and hooks (overridden
// by the concrete presets) and adds per-instance state. The catalogue is process-wide: classes are
// registered at start-up (registerStandardPresets()), one of them is the default, and the identifier
// of the preset used last is kept in the user defaults under "lastPreset". The catalogue is filled
// on the main thread before any project exists and only read afterwards; presets are used on the
// main thread and read by export workers.
#pragma once

#include "Composition.h"
#include "CWExportSessionClass.h"
#include "CWPresetConfigurationItem.h"
#include "ExportCompatibility.h"
#include "MediaFileType.h"
#include "PassthroughMode.h"
#include "VideoEncoderSettings.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CWPreset;
class MediaAsset;

enum class CWConfigurationViewKind { None, QualityControl };

struct CWPresetClass {
    QString className;  // "CWH264Preset"; also the stem of its "isHigh" defaults key
    QString identifier; // "h264"
    QString presetName; // "AVC / h264"
    QString presetDescription;
    QString defaultFileSuffix;
    bool isValidForAudio = true;
    bool isValidForVideo = true;
    CWConfigurationViewKind configurationViewKind = CWConfigurationViewKind::None;
    std::function<std::shared_ptr<CWPreset>()> create;
};

using CWConfigurationItems = std::vector<std::shared_ptr<CWPresetConfigurationItem>>;

class CWPreset {
public:
    explicit CWPreset(const CWPresetClass& presetClass) : class_(&presetClass) {}
    virtual ~CWPreset() = default;

    // Class-level attributes, forwarded.
    const CWPresetClass& presetClass() const { return *class_; }
    QString identifier() const { return class_->identifier; }
    QString presetName() const { return class_->presetName; }
    QString presetDescription() const { return class_->presetDescription; }
    QString defaultFileSuffix() const { return class_->defaultFileSuffix; }
    bool isValidForAudio() const { return class_->isValidForAudio; }
    bool isValidForVideo() const { return class_->isValidForVideo; }
    CWConfigurationViewKind configurationViewKind() const { return class_->configurationViewKind; }

    // Export attributes and hooks.
    virtual CWExportSessionClass exportSessionClass() const { return CWExportSessionClass::Basic; }
    // The media layer's preset, for presets whose session is the media layer's export session.
    virtual std::optional<PlatformExportPreset> exportSessionPresetName() const { return std::nullopt; }
    // Called while the export project builds its video composition; may adjust it.
    virtual void configureVideoComposition(VideoComposition&, const MediaAsset&) const {}
    virtual uint32_t codecType() const { return 0; }
    virtual void configureCompressionSession(VideoEncoderSettings&) const {}
    virtual MediaFileType fileType() const { return MediaFileType::MPEG4; }
    virtual MediaFileType fileTypeForSource(const MediaAsset&) const { return fileType(); }
    virtual QString defaultFileExtensionForSource(const MediaAsset&) const { return QStringLiteral("mp4"); }
    // The description for a source: what the preset writes of it (pass-through names the container).
    virtual QString descriptionForSource(const MediaAsset&) const { return presetDescription(); }
    virtual bool isPassthrough() const { return false; }
    // How a pass-through preset joins and trims video; none for the others.
    virtual std::optional<PassthroughMode> passthroughMode() const { return std::nullopt; }
    // "<source without extension> - <suffix>.<extension>".
    QString suggestedFilenameBasedOn(const QString& sourcePath, const QString& extension) const;
    // Calls the handler (before returning) with whether this preset can export the asset.
    virtual void determineCompatibilityWithAsset(const MediaAsset& asset, const std::function<void(bool)>& handler) const;
    // Empty when this preset can export the asset; else a sentence that says why not and names the
    // presets that can ("Passthrough cannot put FLAC into MP4: choose the alac, flac, ... preset.").
    QString incompatibilityWithAsset(const MediaAsset& asset) const;

    // Selectable options; empty lists where a kind is not offered.
    virtual bool supportsBitrateConfiguration() const { return false; }
    virtual bool supportsSampleRateConfiguration() const { return false; }
    virtual bool supportsQualityConfiguration() const { return false; }
    virtual CWConfigurationItems availableBitrateConfigurationItems() const { return {}; }
    virtual CWConfigurationItems availableSampleRateConfigurationItems() const { return {}; }
    virtual CWConfigurationItems availableQualityConfigurationItems() const { return {}; }

    // Catalogue. A later registration under the same identifier replaces the earlier one.
    static void registerClass(const CWPresetClass& presetClass);
    static void beDefaultClass(const QString& identifier);
    static const CWPresetClass* classWithIdentifier(const QString& identifier);
    // Sorted by presetName with a plain case-sensitive comparison.
    static std::vector<const CWPresetClass*> allPresetClasses();
    // An instance of the class named by "lastPreset", else of the default class; null with an empty catalogue.
    static std::shared_ptr<CWPreset> lastPreset();
    static void lastPresetClass(const CWPresetClass& presetClass);
    // The preset a new project of the asset starts with: the last one when it fits the media (video
    // presets for video, audio presets for audio only), else the first fitting class of the catalogue.
    static std::shared_ptr<CWPreset> presetForAsset(const MediaAsset& asset, std::shared_ptr<CWPreset> lastPreset);
    // The nine presets, registered once in their fixed order with H.265 as the default.
    static void registerStandardPresets();

private:
    // What stands in the way, as the end of a sentence that starts with the preset's name.
    QString obstacleForAsset(const MediaAsset& asset) const;

    const CWPresetClass* class_;
};
