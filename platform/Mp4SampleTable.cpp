#include "Mp4SampleTable.h"

#include <QFile>

#include <string_view>

namespace {

// A bounded view of box payload bytes; every read checks the bounds and marks the view bad instead.
class Bytes {
public:
    Bytes(const uchar* data, qint64 size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    qint64 remaining() const { return size_ - pos_; }
    const uchar* here() const { return data_ + pos_; }
    void skip(qint64 n)
    {
        if (n < 0 || n > remaining())
            ok_ = false;
        else
            pos_ += n;
    }
    uint64_t read(int bytes)
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

private:
    const uchar* data_;
    qint64 size_;
    qint64 pos_ = 0;
    bool ok_ = true;
};

struct Box {
    std::string_view type;
    Bytes payload;
};

// Calls visit(type, payload) for each box of a container payload; false when the layout is broken.
template <typename Visit> bool forEachBox(Bytes bytes, Visit&& visit)
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
        visit(type, Bytes(start + header, qint64(size - header)));
        bytes.skip(qint64(size - header));
    }
    return bytes.ok();
}

Bytes child(Bytes parent, std::string_view wanted, bool& found)
{
    Bytes result(nullptr, 0);
    found = false;
    forEachBox(parent, [&](std::string_view type, Bytes payload) {
        if (!found && type == wanted) {
            result = payload;
            found = true;
        }
    });
    return result;
}

// The moov box of the file, found by walking the top-level boxes and seeking over the media data.
QByteArray readMoov(QFile& file)
{
    qint64 pos = 0;
    const qint64 fileSize = file.size();
    while (pos + 8 <= fileSize) {
        if (!file.seek(pos))
            return {};
        const QByteArray header = file.read(16);
        if (header.size() < 8)
            return {};
        Bytes h(reinterpret_cast<const uchar*>(header.constData()), header.size());
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
            return moov.size() == qint64(size) - headerSize ? moov : QByteArray();
        }
        pos += qint64(size);
    }
    return {};
}

} // namespace

std::optional<Mp4TrackTiming> readMp4TrackTiming(const QString& path, int32_t trackID)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray moovData = readMoov(file);
    if (moovData.isEmpty())
        return std::nullopt;
    Bytes moov(reinterpret_cast<const uchar*>(moovData.constData()), moovData.size());
    if (bool found = false; child(moov, "mvex", found), found)
        return std::nullopt; // fragmented: the samples live in movie fragments

    int32_t movieTimescale = 0;
    bool foundBox = false;
    Bytes mvhd = child(moov, "mvhd", foundBox);
    if (foundBox) {
        const uint64_t version = mvhd.read(1);
        mvhd.skip(3 + (version == 1 ? 16 : 8));
        movieTimescale = int32_t(mvhd.read(4));
    }

    std::optional<Mp4TrackTiming> result;
    bool broken = !forEachBox(moov, [&](std::string_view type, Bytes trak) {
        if (type != "trak" || result)
            return;
        bool found = false;
        Bytes tkhd = child(trak, "tkhd", found);
        if (!found)
            return;
        const uint64_t version = tkhd.read(1);
        tkhd.skip(3 + (version == 1 ? 16 : 8));
        if (!tkhd.ok() || int32_t(tkhd.read(4)) != trackID)
            return;

        Mp4TrackTiming timing;
        Bytes mdia = child(trak, "mdia", found);
        Bytes mdhd = found ? child(mdia, "mdhd", found) : mdia;
        if (!found)
            return;
        const uint64_t mdhdVersion = mdhd.read(1);
        mdhd.skip(3 + (mdhdVersion == 1 ? 16 : 8));
        timing.timescale = int32_t(mdhd.read(4));
        Bytes minf = child(mdia, "minf", found);
        Bytes stbl = found ? child(minf, "stbl", found) : minf;
        Bytes stts = found ? child(stbl, "stts", found) : stbl;
        if (!found || !mdhd.ok() || timing.timescale <= 0)
            return;

        stts.skip(4);
        const uint64_t entries = stts.read(4);
        if (entries > uint64_t(stts.remaining()) / 8)
            return;
        int64_t dts = 0;
        for (uint64_t i = 0; i < entries; ++i) {
            const uint64_t count = stts.read(4);
            const int64_t delta = int64_t(stts.read(4));
            if (count > 50'000'000 || timing.durations.size() + count > 50'000'000)
                return;
            for (uint64_t k = 0; k < count; ++k) {
                timing.presentationTimes.push_back(dts);
                timing.durations.push_back(delta);
                dts += delta;
            }
        }
        if (!stts.ok())
            return;

        Bytes ctts = child(stbl, "ctts", found);
        if (found) {
            const uint64_t cttsVersion = ctts.read(1);
            ctts.skip(3);
            const uint64_t cttsEntries = ctts.read(4);
            size_t sample = 0;
            for (uint64_t i = 0; i < cttsEntries && ctts.ok(); ++i) {
                const uint64_t count = ctts.read(4);
                const uint32_t raw = uint32_t(ctts.read(4));
                // Version 0 offsets are unsigned in the format, but writers put negative ones there too.
                const int64_t offset = cttsVersion == 0 && raw <= 0x7fffffffu ? int64_t(raw) : int64_t(int32_t(raw));
                for (uint64_t k = 0; k < count && sample < timing.presentationTimes.size(); ++k)
                    timing.presentationTimes[sample++] += offset;
            }
            if (!ctts.ok())
                return;
        }

        // Edit list: an optional empty edit (a delay) and one edit into the media.
        int64_t shift = 0, end = INT64_MAX;
        Bytes edts = child(trak, "edts", found);
        Bytes elst = found ? child(edts, "elst", found) : edts;
        if (found) {
            const uint64_t elstVersion = elst.read(1);
            elst.skip(3);
            const uint64_t elstEntries = elst.read(4);
            int mediaEdits = 0;
            int64_t delay = 0;
            for (uint64_t i = 0; i < elstEntries && elst.ok(); ++i) {
                const int bytes = elstVersion == 1 ? 8 : 4;
                const int64_t segmentDuration = int64_t(elst.read(bytes));
                int64_t mediaTime = int64_t(elst.read(bytes));
                if (bytes == 4)
                    mediaTime = int32_t(mediaTime);
                elst.skip(4); // media rate
                if (mediaTime == -1) {
                    if (mediaEdits > 0 || movieTimescale <= 0)
                        return;
                    delay += segmentDuration * timing.timescale / movieTimescale;
                    continue;
                }
                if (++mediaEdits > 1)
                    return;
                shift = delay - mediaTime;
                if (segmentDuration > 0 && movieTimescale > 0)
                    end = delay + segmentDuration * timing.timescale / movieTimescale;
            }
            if (!elst.ok())
                return;
        }
        Mp4TrackTiming kept;
        kept.timescale = timing.timescale;
        for (size_t i = 0; i < timing.presentationTimes.size(); ++i) {
            const int64_t pts = timing.presentationTimes[i] + shift;
            if (pts < 0 || pts >= end)
                continue; // outside the edit: the player never shows it
            kept.presentationTimes.push_back(pts);
            kept.durations.push_back(timing.durations[i]);
        }
        result = std::move(kept);
    });
    if (broken)
        return std::nullopt;
    return result;
}
