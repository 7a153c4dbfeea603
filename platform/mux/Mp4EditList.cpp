#include "Mp4EditList.h"

#include "Mp4Boxes.h"

#include <QFile>

#include <cmath>

namespace {

Error editError(const QString& path, const QString& why)
{
    return Error{QStringLiteral("Mp4EditList"), 1, QStringLiteral("Cannot end \"%1\" exactly: %2").arg(path, why), {}, {}};
}

void put(QByteArray& bytes, qint64 at, int size, uint64_t value)
{
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[at + i] = char(value & 0xff);
}

} // namespace

bool setPresentationDuration(const QString& path, CMTime duration, Error* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        setError(error, editError(path, file.errorString()));
        return false;
    }
    const Mp4Moov moov = readMoov(file);
    if (moov.bytes.isEmpty()) {
        setError(error, editError(path, QStringLiteral("no movie header")));
        return false;
    }
    QByteArray patched = moov.bytes;
    const uchar* base = reinterpret_cast<const uchar*>(moov.bytes.constData());
    Mp4Bytes root(base, moov.bytes.size());
    auto offsetOf = [&](const Mp4Bytes& b) { return qint64(b.here() - base); };

    bool found = false;
    Mp4Bytes mvhd = childMp4Box(root, "mvhd", found);
    if (!found) {
        setError(error, editError(path, QStringLiteral("no movie header")));
        return false;
    }
    const int mvhdVersion = int(mvhd.read(1));
    mvhd.skip(3 + (mvhdVersion == 1 ? 16 : 8));
    const uint64_t timescale = mvhd.read(4);
    const qint64 mvhdDurationAt = offsetOf(mvhd);
    if (!mvhd.ok() || timescale == 0) {
        setError(error, editError(path, QStringLiteral("a damaged movie header")));
        return false;
    }
    const uint64_t wanted = uint64_t(std::llround(CMTimeGetSeconds(duration) * double(timescale)));

    uint64_t movieDuration = 0;
    int edited = 0;
    forEachMp4Box(root, [&](std::string_view type, Mp4Bytes trak) {
        if (type != "trak")
            return;
        bool has = false;
        Mp4Bytes tkhd = childMp4Box(trak, "tkhd", has);
        Mp4Bytes edts = childMp4Box(trak, "edts", has);
        Mp4Bytes elst = has ? childMp4Box(edts, "elst", has) : edts;
        if (!has)
            return;
        const int version = int(elst.read(1));
        elst.skip(3);
        const uint64_t entries = elst.read(4);
        const int width = version == 1 ? 8 : 4;
        uint64_t total = 0;
        for (uint64_t i = 0; i < entries && elst.ok(); ++i) {
            const qint64 durationAt = offsetOf(elst);
            const uint64_t segment = elst.read(width);
            const int64_t mediaTime = width == 8 ? int64_t(elst.read(8)) : int64_t(int32_t(elst.read(4)));
            elst.skip(4);
            if (mediaTime != -1) { // the media edit: shorten it so that the track ends at the wanted time
                const uint64_t allowed = wanted > total ? wanted - total : 0;
                const uint64_t shortened = std::min(segment, allowed);
                put(patched, durationAt, width, shortened);
                total += shortened;
                ++edited;
            } else {
                total += segment;
            }
        }
        const int tkhdVersion = int(tkhd.read(1));
        tkhd.skip(3 + (tkhdVersion == 1 ? 16 : 8) + 8);
        if (tkhd.ok() && elst.ok())
            put(patched, offsetOf(tkhd), tkhdVersion == 1 ? 8 : 4, total);
        movieDuration = std::max(movieDuration, total);
    });
    if (edited == 0) {
        setError(error, editError(path, QStringLiteral("it has no edit lists")));
        return false;
    }
    put(patched, mvhdDurationAt, mvhdVersion == 1 ? 8 : 4, movieDuration);
    if (!file.seek(moov.offset) || file.write(patched) != patched.size() || !file.flush()) {
        setError(error, editError(path, file.errorString()));
        return false;
    }
    return true;
}
