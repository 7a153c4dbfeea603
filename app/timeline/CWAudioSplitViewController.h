// Makes the audio document's strip, a CWAudioSplitView. Main thread.
#pragma once

#include "CWBaseSplitViewController.h"

class CWAudioSplitViewController : public CWBaseSplitViewController {
    Q_OBJECT
public:
    using CWBaseSplitViewController::CWBaseSplitViewController;

protected:
    CWBaseSplitView* makeSplitView() override;
};
