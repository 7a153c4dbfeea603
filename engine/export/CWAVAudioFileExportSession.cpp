#include "CWAVAudioFileExportSession.h"

#include "MediaWriter.h"

CWAVAudioFileExportSession::~CWAVAudioFileExportSession() = default;

bool CWAVAudioFileExportSession::beginExport(Error* error)
{
    const PcmFormat& format = audioFormat();
    if (format.sampleRate <= 0 || format.channelCount <= 0) {
        setError(error, Error{QStringLiteral("CWAVAudioFileExportSession"),
                              NoInputFormat,
                              QStringLiteral("Failed to create input audio format"),
                              {},
                              {}});
        return false;
    }
    writer_ = std::make_unique<MediaWriter>(workingPath(), fileType());
    input_ = writer_->addAudioEncoderInput(
        AudioEncoderSettings{encoderName(), format.sampleRate, format.channelCount, format.channelLayoutMask, 0, format.bitsPerSample()});
    if (!sourceLanguage().isEmpty())
        writer_->setLanguage(input_, sourceLanguage());
    writer_->setMetadata(metadataForExport());
    writer_->setChapters(project()->chaptersForExport());
    totalFramesWritten_ = 0;
    return writer_->startWriting(error);
}

bool CWAVAudioFileExportSession::exportAudioBuffer(PcmBuffer& buffer, Error* error)
{
    if (!input_->append(buffer, error))
        return false;
    totalFramesWritten_ += uint64_t(buffer.frameCount());
    return true;
}

bool CWAVAudioFileExportSession::finalizeExport(Error* error)
{
    const bool ok = writer_->finishWriting(error);
    writer_.reset();
    return ok;
}

void CWAVAudioFileExportSession::closeOutput()
{
    if (writer_)
        writer_->cancelWriting();
    writer_.reset();
}
