// Exports the H.264 and HEVC presets: reads the composition, encodes the video itself (libx264 /
// libx265 through the video encoder, configured by the preset), encodes each audio track to AAC, copies
// other tracks the container accepts, and writes everything with the media writer; one transfer
// (worker) per track. Progress comes from the video transfer, on the main thread; a progress handler
// answering false cancels. The export ends once, when every transfer has ended: completed, failed
// (status 4 with the error: an encoder that cannot start, a reading failure, a refused write) or
// cancelled (status 5). Main thread for start and end.
#pragma once

#include "CWExportSession.h"

#include <vector>

class CWAssetTrackTransfer;
class CompositionReader;
class MediaWriter;

class CWAssetWriterExportSession : public CWExportSession {
public:
    enum ErrorCode { NothingToExport = 1 };
    CWAssetWriterExportSession(std::shared_ptr<CWExportProject> project, CWExportTarget target, std::shared_ptr<CWPreset> preset);
    ~CWAssetWriterExportSession() override;
    void startExport(CWProgressHandler progress, CWCompletionHandler completion) override;

private:
    bool setUp(Error* error);
    void endAssetWriting();
    void logTransferProgress(double progress);

    std::unique_ptr<CompositionReader> reader_;
    std::unique_ptr<MediaWriter> writer_;
    std::vector<std::shared_ptr<CWAssetTrackTransfer>> transfers_;
    bool isEnding_ = false;
    bool cancelled_ = false;
    std::optional<Error> failure_;
    CWProgressHandler progressHandler_;
};
