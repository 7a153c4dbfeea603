// A transfer that appends buffers as they are: PCM into an encoding audio input, or packets of a
// copied track.
#pragma once

#include "CWAssetTrackTransfer.h"

class CWAudioTrackTransfer : public CWAssetTrackTransfer {
public:
    using CWAssetTrackTransfer::CWAssetTrackTransfer;
};
