#include "Mp4Boxes.h"

#include <functional>

void Mp4Bytes::skip(qint64 n)
{
    if (n < 0 || n > remaining())
        ok_ = false;
    else
        pos_ += n;
}

uint64_t Mp4Bytes::read(int bytes)
{
    if (bytes > remaining()) {
        ok_ = false;
        pos_ = size_;
        return 0;
    }
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | data_[pos_++];
    return v;
}

bool forEachMp4Box(Mp4Bytes bytes, const std::function<void(std::string_view, Mp4Bytes)>& visit)
{
    while (bytes.remaining() >= 8) {
        const uchar* start = bytes.here();
        uint64_t size = bytes.read(4);
        const std::string_view type(reinterpret_cast<const char*>(bytes.here()), 4);
        bytes.skip(4);
        uint64_t header = 8;
        if (size == 1) {
            size = bytes.read(8);
            header = 16;
        } else if (size == 0) {
            size = uint64_t(bytes.remaining()) + header;
        }
        if (!bytes.ok() || size < header || size - header > uint64_t(bytes.remaining()))
            return false;
        visit(type, Mp4Bytes(start + header, qint64(size - header)));
        bytes.skip(qint64(size - header));
    }
    return bytes.ok();
}

Mp4Bytes childMp4Box(Mp4Bytes parent, std::string_view wanted, bool& found)
{
    Mp4Bytes result(nullptr, 0);
    found = false;
    forEachMp4Box(parent, [&](std::string_view type, Mp4Bytes payload) {
        if (!found && type == wanted) {
            result = payload;
            found = true;
        }
    });
    return result;
}

Mp4Moov readMoov(QFile& file)
{
    qint64 pos = 0;
    const qint64 fileSize = file.size();
    while (pos + 8 <= fileSize) {
        if (!file.seek(pos))
            return {};
        const QByteArray header = file.read(16);
        if (header.size() < 8)
            return {};
        Mp4Bytes h(reinterpret_cast<const uchar*>(header.constData()), header.size());
        uint64_t size = h.read(4);
        const QByteArray type = header.mid(4, 4);
        qint64 headerSize = 8;
        if (size == 1) {
            size = h.read(8);
            headerSize = 16;
        } else if (size == 0) {
            size = uint64_t(fileSize - pos);
        }
        if (!h.ok() || size < uint64_t(headerSize) || size > uint64_t(fileSize - pos))
            return {};
        if (type == "moov") {
            if (size > 512ull * 1024 * 1024 || !file.seek(pos + headerSize))
                return {};
            QByteArray moov = file.read(qint64(size) - headerSize);
            if (moov.size() != qint64(size) - headerSize)
                return {};
            return Mp4Moov{moov, pos + headerSize, int(headerSize)};
        }
        pos += qint64(size);
    }
    return {};
}
