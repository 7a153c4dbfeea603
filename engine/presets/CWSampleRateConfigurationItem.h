// A sample rate option: "44.1 kHz", "800 Hz".
#pragma once

#include "CWPresetConfigurationItem.h"

#include <cstdint>

class CWSampleRateConfigurationItem : public CWPresetConfigurationItem {
public:
    explicit CWSampleRateConfigurationItem(int64_t sampleRate) : sampleRate_(sampleRate) {}
    int64_t sampleRate() const { return sampleRate_; }
    QString humanReadableDescription() const override
    {
        if (sampleRate_ < 1000)
            return QString::asprintf("%ld Hz", long(sampleRate_));
        return QString::asprintf("%.1f kHz", sampleRate_ / 1000.0);
    }

private:
    int64_t sampleRate_;
};
