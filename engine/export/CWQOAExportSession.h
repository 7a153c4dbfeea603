// Writes QOA files with the system's own encoder: PCM is buffered until a full frame of 5120 samples
// per channel is there (only the last frame of a file may be shorter, as the format requires), frames
// are written as they fill, and the sample count is patched into the file header at the end. Sources
// of more than 8 channels are refused at the start. Write errors fail the export; the file is closed
// on every path.
#pragma once

#include "CWCustomExportSession.h"
#include "CWQOAEncoder.h"
#include "OutputFile.h"

#include <memory>

class CWQOAExportSession : public CWCustomExportSession {
public:
    enum ErrorCode { FormatNotHeld = 1 };
    using CWCustomExportSession::CWCustomExportSession;

protected:
    bool beginExport(Error* error) override;
    bool exportAudioBuffer(PcmBuffer& buffer, Error* error) override;
    bool finalizeExport(Error* error) override;
    void closeOutput() override { outputFile_.discard(); }

private:
    bool encodeFrames(bool final, Error* error);

    OutputFile outputFile_{QStringLiteral("CWQOAExportSession"), 2, 3, QStringLiteral("QOA")};
    std::unique_ptr<CWQOAEncoder> encoder_;
    std::vector<int16_t> leftOver_; // interleaved samples not yet encoded
    uint32_t totalSamplesWritten_ = 0;
    std::vector<uint8_t> frame_;
};
