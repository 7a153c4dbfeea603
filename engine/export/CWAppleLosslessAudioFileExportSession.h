// Apple Lossless audio in an M4A file, with MPEG-4 tags and cover art.
#pragma once

#include "CWAVAudioFileExportSession.h"

class CWAppleLosslessAudioFileExportSession : public CWAVAudioFileExportSession {
public:
    using CWAVAudioFileExportSession::CWAVAudioFileExportSession;

protected:
    QString encoderName() const override { return QStringLiteral("alac"); }
};
