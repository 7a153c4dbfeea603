#include "CWVideoDocumentWindowController.h"

#include "CWPreset.h"

bool CWVideoDocumentWindowController::shouldIncludePresetClass(const CWPresetClass& presetClass) const
{
    return presetClass.isValidForVideo;
}
