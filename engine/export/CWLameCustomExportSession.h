// Writes MP3 through LAME: 16-bit PCM from the custom pipeline (at most two channels; a 5.1 source is
// mixed down to stereo), the optional volume change applied, the configured bit rate at LAME's best
// quality, ID3v2 tags (UTF-16 text, the year, artwork of any size) written before the audio and ID3v1
// after it, and LAME's Info tag written over the placeholder frame at the end so that players know
// the exact length and play gaplessly. Every LAME return code goes to the debug log (tag "LAME"). The
// LAME handle and the file are owned (RAII) and released on every path; write errors (a full disk, a
// file-size limit) fail the export.
#pragma once

#include "CWCustomExportSession.h"
#include "OutputFile.h"

#include <memory>

struct lame_global_struct;

class CWLameCustomExportSession : public CWCustomExportSession {
public:
    enum ErrorCode { EncoderUnavailable = 1, ParametersRefused = 2, EncodingFailed = 4, TagNotWritten = 4, FlushFailed = 5 };
    using CWCustomExportSession::CWCustomExportSession;
    ~CWLameCustomExportSession() override;

    static QString fieldValueWithID(const QString& frameID, const QString& value);
    // "ID=value" as zero-terminated UTF-16 with a byte-order mark, in the machine's byte order.
    static std::vector<unsigned short> fieldValueDataWithID(const QString& frameID, const QString& value);

protected:
    bool beginExport(Error* error) override;
    bool exportAudioBuffer(PcmBuffer& buffer, Error* error) override;
    bool finalizeExport(Error* error) override;
    void closeOutput() override;
    int sourceChannelCount() const override;

private:
    // The export's metadata into LAME's tag; false with an error when LAME refuses an item.
    bool transferMetadataToLame(Error* error);

    struct LameDeleter {
        void operator()(lame_global_struct* handle) const;
    };
    std::unique_ptr<lame_global_struct, LameDeleter> lame_;
    OutputFile outputFile_{QStringLiteral("CWLameCustomExportSession"), 3, 6, QStringLiteral("MP3")};
    size_t id3v2Size_ = 0;
    std::vector<unsigned char> mp3Buffer_;
};
