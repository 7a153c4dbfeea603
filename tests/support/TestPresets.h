// Two preset kinds for model tests, registered once: one for audio only ("Audio Only Test"), one for
// video only ("Video Only Test", the default). Real presets come with the preset catalogue.
#pragma once

#include "CWPreset.h"

namespace TestPresets {
void registerOnce();
const CWPresetClass& audioOnly();
const CWPresetClass& videoOnly();
} // namespace TestPresets
