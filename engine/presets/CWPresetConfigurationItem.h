// One selectable export option (a bit rate, a sample rate, a quality level) with its label for the
// interface. Immutable values, made fresh each time a preset is asked for its list.
#pragma once

#include <QString>

class CWPresetConfigurationItem {
public:
    virtual ~CWPresetConfigurationItem() = default;
    virtual QString humanReadableDescription() const { return {}; }
};
