// A bit rate option: "1.4 Mbps", "128 kbps", "999 bps".
#pragma once

#include "CWPresetConfigurationItem.h"

#include <cstdint>

class CWBitrateConfigurationItem : public CWPresetConfigurationItem {
public:
    explicit CWBitrateConfigurationItem(int64_t bitrate) : bitrate_(bitrate) {}
    int64_t bitrate() const { return bitrate_; }
    QString humanReadableDescription() const override
    {
        if (bitrate_ >= 1000000)
            return QString::asprintf("%.1f Mbps", bitrate_ / 1000000.0);
        if (bitrate_ < 1000)
            return QString::asprintf("%ld bps", long(bitrate_));
        return QString::asprintf("%.0f kbps", bitrate_ / 1000.0);
    }

private:
    int64_t bitrate_;
};
