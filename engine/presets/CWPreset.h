// The export preset base and the preset catalogue.
//
// A preset kind is described once by a CWPresetClass (its class-level attributes and a factory); a
// CWPreset instance refers to its class and adds per-instance state. The catalogue is process-wide:
// classes are registered at start-up, one of them is the default, and the identifier of the preset
// used last is kept in the user defaults under "lastPreset". The catalogue is filled on the main
// thread before any project exists and only read afterwards.
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class CWPreset;

struct CWPresetClass {
    QString className;          // "CWH264Preset"; also the stem of its "isHigh" defaults key
    QString identifier;         // "h264"
    QString presetName;         // "AVC / h264"
    QString presetDescription;
    QString defaultFileSuffix;
    bool isValidForAudio = true;
    bool isValidForVideo = true;
    std::function<std::shared_ptr<CWPreset>()> create;
};

class CWPreset {
public:
    explicit CWPreset(const CWPresetClass& presetClass) : class_(&presetClass) {}
    virtual ~CWPreset() = default;

    const CWPresetClass& presetClass() const { return *class_; }
    QString identifier() const { return class_->identifier; }
    QString presetName() const { return class_->presetName; }
    QString presetDescription() const { return class_->presetDescription; }
    QString defaultFileSuffix() const { return class_->defaultFileSuffix; }
    bool isValidForAudio() const { return class_->isValidForAudio; }
    bool isValidForVideo() const { return class_->isValidForVideo; }
    virtual bool isPassthrough() const { return false; }

    // Catalogue. A later registration under the same identifier replaces the earlier one.
    static void registerClass(const CWPresetClass& presetClass);
    static void beDefaultClass(const QString& identifier);
    static const CWPresetClass* classWithIdentifier(const QString& identifier);
    // Sorted by presetName with a plain case-sensitive comparison.
    static std::vector<const CWPresetClass*> allPresetClasses();
    // An instance of the class named by "lastPreset", else of the default class; null with an empty catalogue.
    static std::shared_ptr<CWPreset> lastPreset();
    static void lastPresetClass(const CWPresetClass& presetClass);

private:
    const CWPresetClass* class_;
};
