#include "CWVideoSplitViewController.h"

#include "CWVideoSplitView.h"

CWBaseSplitView* CWVideoSplitViewController::makeSplitView() { return new CWVideoSplitView; }
