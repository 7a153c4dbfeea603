// Presets with a high/low quality switch, kept per preset class in the user defaults under the class
// name followed by "isHigh" (YES on a fresh install). The quality popover calls useHighQuality().
#pragma once

#include "CWAVAudioFilePreset.h"

class CWHighLowQualityPreset : public CWAVAudioFilePreset {
public:
    explicit CWHighLowQualityPreset(const CWPresetClass& presetClass);
    bool highQuality() const { return highQuality_; }
    // Sets the switch and remembers it for the preset class.
    void useHighQuality(bool high);
    QString defaultsKey() const { return presetClass().className + QStringLiteral("isHigh"); }

private:
    bool highQuality_ = true;
};
