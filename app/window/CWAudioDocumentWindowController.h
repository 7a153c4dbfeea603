// The window of audio documents: offers only the presets valid for audio (isValidForAudio).
// Main thread; owned by its document.
#pragma once

#include "CWDocumentWindowController.h"

class CWAudioDocumentWindowController : public CWDocumentWindowController {
    Q_OBJECT
public:
    using CWDocumentWindowController::CWDocumentWindowController;

protected:
    bool shouldIncludePresetClass(const CWPresetClass& presetClass) const override;
};
