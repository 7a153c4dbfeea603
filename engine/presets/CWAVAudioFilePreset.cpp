#include "CWAVAudioFilePreset.h"

#include "CWBitrateConfigurationItem.h"
#include "CWSampleRateConfigurationItem.h"

bool CWAVAudioFilePreset::supportsBitrateConfiguration() const
{
    const auto bitrates = CWExportSessionClasses::availableBitrates(exportSessionClass());
    return bitrates && !bitrates->empty();
}

CWConfigurationItems CWAVAudioFilePreset::availableBitrateConfigurationItems() const
{
    CWConfigurationItems items;
    for (int64_t bitrate : CWExportSessionClasses::availableBitrates(exportSessionClass()).value_or(std::vector<int64_t>{}))
        items.push_back(std::make_shared<CWBitrateConfigurationItem>(bitrate));
    return items;
}

CWConfigurationItems CWAVAudioFilePreset::availableSampleRateConfigurationItems() const
{
    CWConfigurationItems items;
    for (int64_t rate : CWExportSessionClasses::availableSampleRates(exportSessionClass()).value_or(std::vector<int64_t>{}))
        items.push_back(std::make_shared<CWSampleRateConfigurationItem>(rate));
    return items;
}
