#include "CWAudioSplitViewController.h"

#include "CWAudioSplitView.h"

CWBaseSplitView* CWAudioSplitViewController::makeSplitView() { return new CWAudioSplitView; }
