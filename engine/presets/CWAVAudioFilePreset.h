// Presets whose option lists come from their export session class: a bit rate list when the session
// reports bit rates, and a sample rate list (not offered in the interface: sample-rate choice is off).
#pragma once

#include "CWPreset.h"

class CWAVAudioFilePreset : public CWPreset {
public:
    using CWPreset::CWPreset;
    bool supportsBitrateConfiguration() const override;
    CWConfigurationItems availableBitrateConfigurationItems() const override;
    CWConfigurationItems availableSampleRateConfigurationItems() const override;
};
