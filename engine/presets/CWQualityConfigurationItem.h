// A quality option, levels 0 to 3 ("Low Quality" … "Maximum Quality"); other levels have no label.
#pragma once

#include "CWPresetConfigurationItem.h"

#include <QCoreApplication>

#include <cstdint>

class CWQualityConfigurationItem : public CWPresetConfigurationItem {
public:
    explicit CWQualityConfigurationItem(uint64_t qualityLevel) : qualityLevel_(qualityLevel) {}
    uint64_t qualityLevel() const { return qualityLevel_; }
    QString humanReadableDescription() const override
    {
        static const char* const labels[] = {"Low Quality", "Medium Quality", "High Quality", "Maximum Quality"};
        return qualityLevel_ < 4 ? QCoreApplication::translate("CWQualityConfigurationItem", labels[qualityLevel_]) : QString();
    }

private:
    uint64_t qualityLevel_;
};
