// Lossless audio files from the custom pipeline's 16-bit PCM, encoded by libavcodec (FLAC or Apple
// Lossless) at the source's sample rate and channel layout and written by the media writer with the
// export's metadata in the file itself: Vorbis comments and a PICTURE block in FLAC, MPEG-4 tags and
// cover art in Apple Lossless (M4A). The subclasses choose the codec.
#pragma once

#include "CWCustomExportSession.h"
#include "MediaWriter.h"

class CWAVAudioFileExportSession : public CWCustomExportSession {
public:
    using CWCustomExportSession::CWCustomExportSession;
    ~CWAVAudioFileExportSession() override;

protected:
    virtual QString encoderName() const = 0;
    bool beginExport(Error* error) override;
    bool exportAudioBuffer(PcmBuffer& buffer, Error* error) override;
    bool finalizeExport(Error* error) override;
    void closeOutput() override;

private:
    std::unique_ptr<MediaWriter> writer_;
    WriterInput* input_ = nullptr;
    uint64_t totalFramesWritten_ = 0;
};
