// The window of video documents: the film strip, and only the presets valid for video (isValidForVideo).
// Main thread; owned by its document.
#pragma once

#include "CWDocumentWindowController.h"

class CWVideoDocumentWindowController : public CWDocumentWindowController {
    Q_OBJECT
public:
    using CWDocumentWindowController::CWDocumentWindowController;

protected:
    bool shouldIncludePresetClass(const CWPresetClass& presetClass) const override;
    CWBaseSplitViewController* makeSplitViewController() override;
};
