#include "OggOpusHead.h"

#include <QFile>

extern "C" {
#include <libavutil/crc.h>
#include <libavutil/intreadwrite.h>
}

namespace OggOpusHead {

bool setPreSkip(const QString& path, int samples, Error* error)
{
    QFile file(path);
    auto fail = [&](const QString& why) {
        setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument, QStringLiteral("Cannot finish \"%1\": %2").arg(path, why)));
        return false;
    };
    if (samples < 0 || samples > 0xFFFF)
        return fail(QStringLiteral("a lead-in of %1 samples is more than Opus can skip").arg(samples));
    if (!file.open(QIODevice::ReadWrite))
        return fail(file.errorString());
    // The first page: a 27-byte header, its segment table, then the packet OpusHead (19 bytes or more).
    QByteArray page = file.read(27 + 255);
    if (page.size() < 27 || !page.startsWith("OggS"))
        return fail(QStringLiteral("it is no Ogg file"));
    const int segments = uchar(page[26]);
    int body = 0;
    for (int i = 0; i < segments && 27 + i < page.size(); ++i)
        body += uchar(page[27 + i]);
    const int headerSize = 27 + segments;
    if (!file.seek(0))
        return fail(file.errorString());
    page = file.read(headerSize + body);
    if (page.size() != headerSize + body || body < 19 || page.mid(headerSize, 8) != "OpusHead")
        return fail(QStringLiteral("it does not begin with an Opus header"));
    auto* bytes = reinterpret_cast<uint8_t*>(page.data());
    AV_WL16(bytes + headerSize + 10, uint16_t(samples));
    AV_WL32(bytes + 22, 0);
    AV_WB32(bytes + 22, av_crc(av_crc_get_table(AV_CRC_32_IEEE), 0, bytes, size_t(page.size()))); // as the muxer writes it
    if (!file.seek(0) || file.write(page) != page.size() || !file.flush())
        return fail(file.errorString());
    return true;
}

} // namespace OggOpusHead
