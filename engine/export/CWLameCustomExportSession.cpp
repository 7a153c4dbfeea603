#include "CWLameCustomExportSession.h"

#include "CWExportProject.h"
#include "CWId3Tag.h"
#include "CWUtility.h"

#include <QBuffer>
#include <QImage>

#include <lame/lame.h>

#include <algorithm>
#include <cmath>

namespace {

const QString kDomain = QStringLiteral("CWLameCustomExportSession");
const QString kTag = QStringLiteral("LAME");

void log(const QString& message) { CWUtility::debugLog(kTag, message); }

void quiet(const char*, va_list) {}

Error lameError(CWLameCustomExportSession::ErrorCode code, const QString& message) { return Error{kDomain, code, message, {}, {}}; }

} // namespace

void CWLameCustomExportSession::LameDeleter::operator()(lame_global_struct* handle) const { lame_close(handle); }

CWLameCustomExportSession::~CWLameCustomExportSession() = default;

int CWLameCustomExportSession::sourceChannelCount() const
{
    const int channels = CWCustomExportSession::sourceChannelCount();
    return channels > 0 && channels < 3 ? channels : 2;
}

QString CWLameCustomExportSession::fieldValueWithID(const QString& frameID, const QString& value)
{
    // LAME takes a comment as "COMM=description=text"; ours has no description.
    if (frameID == QLatin1String("COMM"))
        return frameID + QStringLiteral("==") + value;
    return frameID + QLatin1Char('=') + value;
}

std::vector<unsigned short> CWLameCustomExportSession::fieldValueDataWithID(const QString& frameID, const QString& value)
{
    const QString text = fieldValueWithID(frameID, value);
    std::vector<unsigned short> data;
    data.reserve(size_t(text.size()) + 2);
    data.push_back(0xFEFF); // byte-order mark, in the machine's order
    for (QChar c : text)
        data.push_back(c.unicode());
    data.push_back(0);
    return data;
}

bool CWLameCustomExportSession::beginExport(Error* error)
{
    const int channels = audioFormat().channelCount, rate = audioFormat().sampleRate;
    lame_.reset(lame_init());
    if (!lame_) {
        log(QStringLiteral("lame_init() failed - returned NULL"));
        setError(error, lameError(CWLameCustomExportSession::EncoderUnavailable, QStringLiteral("Failed to initialize LAME encoder")));
        return false;
    }
    log(QStringLiteral("lame_init() succeeded"));
    lame_t gfp = lame_.get();
    log(QStringLiteral("lame_set_errorf() result: %1").arg(lame_set_errorf(gfp, quiet)));
    log(QStringLiteral("lame_set_debugf() result: %1").arg(lame_set_debugf(gfp, quiet)));
    log(QStringLiteral("lame_set_msgf() result: %1").arg(lame_set_msgf(gfp, quiet)));
    log(QStringLiteral("lame_set_num_channels(%1) result: %2").arg(channels).arg(lame_set_num_channels(gfp, channels)));
    log(QStringLiteral("lame_set_in_samplerate(%1) result: %2").arg(rate).arg(lame_set_in_samplerate(gfp, rate)));
    const int kbps = int(configuration()->selectedBitrate() / 1000);
    log(QStringLiteral("lame_set_brate(%1) result: %2").arg(kbps).arg(lame_set_brate(gfp, kbps)));
    log(QStringLiteral("lame_set_quality(0) result: %1").arg(lame_set_quality(gfp, 0)));
    if (!transferMetadataToLame(error)) {
        lame_.reset();
        return false;
    }
    // LAME would put the ID3v2 tag into its own bit-stream buffer, which cannot hold large artwork
    // (it aborts the process); the tags are written here instead, around the audio.
    lame_set_write_id3tag_automatic(gfp, 0);
    const int init = lame_init_params(gfp);
    log(QStringLiteral("lame_init_params() result: %1").arg(init));
    if (init < 0) {
        lame_.reset();
        setError(error, lameError(CWLameCustomExportSession::ParametersRefused, QStringLiteral("Failed to initialize LAME parameters")));
        return false;
    }
    if (!outputFile_.open(workingPath(), error)) {
        log(QStringLiteral("Failed to open output file: %1").arg(outputUrl()));
        lame_.reset();
        return false;
    }
    // The ID3v2 tag first; LAME's first frame is a placeholder for its Info tag.
    std::vector<unsigned char> id3v2(lame_get_id3v2_tag(gfp, nullptr, 0));
    if (!id3v2.empty() && lame_get_id3v2_tag(gfp, id3v2.data(), id3v2.size()) != id3v2.size())
        id3v2.clear();
    CWId3Tag::markPictureAsFrontCover(id3v2);
    CWId3Tag::appendChapters(id3v2, project()->chaptersForExport());
    if (!outputFile_.write(id3v2.data(), id3v2.size(), error))
        return false;
    id3v2Size_ = id3v2.size();
    log(QStringLiteral("Encoder initialized successfully, ready to encode"));
    return true;
}

bool CWLameCustomExportSession::transferMetadataToLame(Error* error)
{
    const std::vector<MetadataItem> items = metadataForExport();
    log(QStringLiteral("Processing %1 metadata items").arg(items.size()));
    lame_t gfp = lame_.get();
    struct TextField {
        const QString& key;
        const char* frame;
        const char* label;
    };
    const TextField fields[] = {{CommonMetadataKey::Title, "TIT2", "title"},
                                {CommonMetadataKey::Artist, "TPE1", "artist"},
                                {CommonMetadataKey::AlbumName, "TALB", "album"},
                                {CommonMetadataKey::Description, "COMM", "comment"}};
    for (const MetadataItem& item : items) {
        const bool text = item.value.typeId() == QMetaType::QString;
        bool handled = false;
        for (const TextField& field : fields) {
            if (item.key != field.key)
                continue;
            handled = true;
            if (!text)
                break;
            const auto value = fieldValueDataWithID(QString::fromLatin1(field.frame), item.stringValue());
            const int result = id3tag_set_fieldvalue_utf16(gfp, value.data());
            log(QStringLiteral("Set %1: %2, result: %3").arg(QString::fromLatin1(field.label), item.stringValue()).arg(result));
            if (result != 0) {
                setError(error, lameError(CWLameCustomExportSession::TagNotWritten,
                                          QStringLiteral("Cannot write the %1 into the MP3 tag.").arg(QLatin1String(field.label))));
                return false;
            }
        }
        if (handled)
            continue;
        if (item.key == CommonMetadataKey::CreationDate && text) {
            id3tag_set_year(gfp, item.stringValue().toUtf8().constData());
            log(QStringLiteral("Set year: %1").arg(item.stringValue()));
        } else if (item.key == CommonMetadataKey::Artwork) {
            if (item.value.typeId() != QMetaType::QByteArray) {
                log(QStringLiteral("Found artwork in metadata but unknown format: %1").arg(QString::fromLatin1(item.value.typeName())));
                continue;
            }
            QByteArray art = item.dataValue();
            log(QStringLiteral("Found artwork in metadata (NSData), size: %1 bytes").arg(art.size()));
            if (art.isEmpty())
                continue;
            int result = id3tag_set_albumart(gfp, art.constData(), size_t(art.size()));
            if (result != 0) {
                // MP3 tags hold JPEG, PNG or GIF pictures; any other picture goes in as PNG.
                QBuffer png;
                const QImage image = QImage::fromData(art);
                if (!image.isNull() && png.open(QIODevice::WriteOnly) && image.save(&png, "PNG"))
                    result = id3tag_set_albumart(gfp, png.data().constData(), size_t(png.data().size()));
            }
            // Data that is no picture at all is left out, as every other format does.
            log(QStringLiteral("Set album art from metadata, size: %1 bytes, result: %2").arg(art.size()).arg(result));
        }
    }
    return true;
}

bool CWLameCustomExportSession::exportAudioBuffer(PcmBuffer& buffer, Error* error)
{
    const int frames = buffer.frameCount();
    if (frames <= 0)
        return true;
    lame_t gfp = lame_.get();
    const int channels = lame_get_num_channels(gfp);
    short* samples = buffer.int16Samples();
    if (const int64_t volume = configuration()->volumePercentage(); volume != 0) {
        const float factor = float(volume) / 100.0f + 1.0f;
        for (size_t i = 0, n = size_t(frames) * size_t(channels); i < n; ++i)
            samples[i] = short(std::clamp(float(samples[i]) * factor, -32768.0f, 32767.0f));
    }
    const size_t size = size_t(1.25 * frames * channels + 7200 + lame_get_size_mp3buffer(gfp));
    mp3Buffer_.assign(size, 0);
    // The interleaved call reads two channels; a mono stream goes in as one channel.
    const int written = channels == 2 ? lame_encode_buffer_interleaved(gfp, samples, frames, mp3Buffer_.data(), int(size))
                                      : lame_encode_buffer(gfp, samples, nullptr, frames, mp3Buffer_.data(), int(size));
    if (written < 0) {
        log(QStringLiteral("Encoding failed with error code: %1").arg(written));
        setError(error, lameError(CWLameCustomExportSession::EncodingFailed, QStringLiteral("LAME encoding failed")));
        return false;
    }
    return outputFile_.write(mp3Buffer_.data(), size_t(written), error);
}

bool CWLameCustomExportSession::finalizeExport(Error* error)
{
    lame_t gfp = lame_.get();
    std::vector<unsigned char> buffer(7200, 0);
    const int flushed = lame_encode_flush(gfp, buffer.data(), int(buffer.size()));
    log(QStringLiteral("lame_encode_flush() returned: %1 bytes").arg(flushed));
    if (flushed < 0) {
        log(QStringLiteral("Flush failed with error code: %1").arg(flushed));
        closeOutput();
        setError(error, lameError(CWLameCustomExportSession::FlushFailed, QStringLiteral("LAME flush failed")));
        return false;
    }
    std::vector<unsigned char> id3v1(lame_get_id3v1_tag(gfp, nullptr, 0));
    if (!id3v1.empty() && lame_get_id3v1_tag(gfp, id3v1.data(), id3v1.size()) != id3v1.size())
        id3v1.clear();
    if (!outputFile_.write(buffer.data(), size_t(flushed), error) || !outputFile_.write(id3v1.data(), id3v1.size(), error)) {
        closeOutput();
        return false;
    }
    // The Info tag replaces the placeholder frame after the ID3v2 tag: exact length, gapless playback.
    std::vector<unsigned char> tag(lame_get_lametag_frame(gfp, nullptr, 0));
    if (!tag.empty() && lame_get_lametag_frame(gfp, tag.data(), tag.size()) == tag.size()) {
        if (!outputFile_.writeAt(int64_t(id3v2Size_), tag.data(), tag.size(), error)) {
            closeOutput();
            return false;
        }
    }
    const bool closed = outputFile_.close(error);
    lame_.reset();
    if (!closed)
        return false;
    log(QStringLiteral("Export finalized successfully"));
    return true;
}

void CWLameCustomExportSession::closeOutput()
{
    outputFile_.discard();
    lame_.reset();
}
