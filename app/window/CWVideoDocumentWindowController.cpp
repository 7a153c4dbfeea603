#include "CWVideoDocumentWindowController.h"

#include "CWPreset.h"
#include "CWVideoSplitViewController.h"

bool CWVideoDocumentWindowController::shouldIncludePresetClass(const CWPresetClass& presetClass) const
{
    return presetClass.isValidForVideo;
}

CWBaseSplitViewController* CWVideoDocumentWindowController::makeSplitViewController() { return new CWVideoSplitViewController(this); }
