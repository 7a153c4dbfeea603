// Hands the whole export to the media layer's export session (pass-through, M4A, low quality) and
// reports its progress from a 0.5 s timer on the main thread, mapped to source time; a progress
// handler answering false cancels. The audio-only variant differs only in leaving video out of the
// composition (decided by the export project).
#pragma once

#include "CWExportSession.h"

#include <QTimer>

class AssetExportSession;

class CWBasicExportSession : public CWExportSession {
public:
    CWBasicExportSession(std::shared_ptr<CWExportProject> project, CWExportTarget target, std::shared_ptr<CWPreset> preset);
    ~CWBasicExportSession() override;
    void startExport(CWProgressHandler progress, CWCompletionHandler completion) override;

private:
    void tick();

    std::unique_ptr<AssetExportSession> exportSession_;
    std::unique_ptr<QTimer> timer_;
    CWProgressHandler progress_;
};
