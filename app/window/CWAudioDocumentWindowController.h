// The window of audio documents: the waveform strip, the file's tags and cover art over the player, and
// only the presets valid for audio (isValidForAudio). The edit menu waits while the waveform is computed.
// Main thread; owned by its document.
#pragma once

#include "CWDocumentWindowController.h"

class CWAudioMetadataOverlay;

class CWAudioDocumentWindowController : public CWDocumentWindowController {
    Q_OBJECT
public:
    using CWDocumentWindowController::CWDocumentWindowController;
    void windowDidLoad() override;
    CWAudioMetadataOverlay* metadataOverlay() const { return metadataOverlay_; }

protected:
    bool shouldIncludePresetClass(const CWPresetClass& presetClass) const override;
    CWBaseSplitViewController* makeSplitViewController() override;

private:
    CWAudioMetadataOverlay* metadataOverlay_ = nullptr;
};
