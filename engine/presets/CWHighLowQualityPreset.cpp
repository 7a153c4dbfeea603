#include "CWHighLowQualityPreset.h"

#include "UserDefaults.h"

CWHighLowQualityPreset::CWHighLowQualityPreset(const CWPresetClass& presetClass)
    : CWAVAudioFilePreset(presetClass), highQuality_(UserDefaults::boolForKey(defaultsKey(), true))
{
}

void CWHighLowQualityPreset::useHighQuality(bool high)
{
    highQuality_ = high;
    UserDefaults::setBool(defaultsKey(), high);
}
