#include "CWAudioDocumentWindowController.h"

#include "CWPreset.h"

bool CWAudioDocumentWindowController::shouldIncludePresetClass(const CWPresetClass& presetClass) const
{
    return presetClass.isValidForAudio;
}
