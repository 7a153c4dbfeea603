// Lossless audio files from the custom pipeline's PCM, encoded by libavcodec (FLAC or Apple Lossless)
// at the source's sample rate, channel layout and resolution (16 bits, or 24 for deeper and
// floating-point sources) and written by the media writer with the
// export's metadata in the file itself: Vorbis comments and a PICTURE block in FLAC, MPEG-4 tags and
// cover art in Apple Lossless (M4A). The subclasses choose the codec.
#pragma once

#include "CWCustomExportSession.h"
#include "MediaWriter.h"

class CWAVAudioFileExportSession : public CWCustomExportSession {
public:
    enum ErrorCode { NoInputFormat = 2 };
    using CWCustomExportSession::CWCustomExportSession;
    ~CWAVAudioFileExportSession() override;

protected:
    virtual QString encoderName() const = 0;
    PcmFormat::Sample sampleType() const override
    {
        return sourceBitsPerSample() > 16 ? PcmFormat::Sample::Int32 : PcmFormat::Sample::Int16;
    }
    bool beginExport(Error* error) override;
    bool exportAudioBuffer(PcmBuffer& buffer, Error* error) override;
    bool finalizeExport(Error* error) override;
    void closeOutput() override;

private:
    std::unique_ptr<MediaWriter> writer_;
    WriterInput* input_ = nullptr;
    uint64_t totalFramesWritten_ = 0;
};
