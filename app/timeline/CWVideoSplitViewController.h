// Makes the video document's strip, a CWVideoSplitView. Main thread.
#pragma once

#include "CWBaseSplitViewController.h"

class CWVideoSplitViewController : public CWBaseSplitViewController {
    Q_OBJECT
public:
    using CWBaseSplitViewController::CWBaseSplitViewController;

protected:
    CWBaseSplitView* makeSplitView() override;
};
