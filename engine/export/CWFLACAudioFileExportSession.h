// FLAC files, with Vorbis comments and a PICTURE block for the metadata.
#pragma once

#include "CWAVAudioFileExportSession.h"

class CWFLACAudioFileExportSession : public CWAVAudioFileExportSession {
public:
    using CWAVAudioFileExportSession::CWAVAudioFileExportSession;

protected:
    QString encoderName() const override { return QStringLiteral("flac"); }
};
