#include "CWAudioDocumentWindowController.h"

#include "CWAudioMetadataOverlay.h"
#include "CWAudioSplitViewController.h"
#include "CWBaseDocument.h"
#include "CWPreset.h"
#include "CWProject.h"
#include "MediaAsset.h"

bool CWAudioDocumentWindowController::shouldIncludePresetClass(const CWPresetClass& presetClass) const
{
    return presetClass.isValidForAudio;
}

CWBaseSplitViewController* CWAudioDocumentWindowController::makeSplitViewController() { return new CWAudioSplitViewController(this); }

void CWAudioDocumentWindowController::windowDidLoad()
{
    CWDocumentWindowController::windowDidLoad();
    if (metadataOverlay_ || !project() || !project()->avAsset())
        return;
    metadataOverlay_ = CWAudioMetadataOverlay::overlayForPlayerView(playerView(), project()->avAsset()->path());
    metadataOverlay_->showWithAutoHide(false);
}
