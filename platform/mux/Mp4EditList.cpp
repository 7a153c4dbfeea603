#include "Mp4EditList.h"

#include "Mp4Boxes.h"

#include <QFile>

namespace {

Error editError(const QString& path, const QString& why)
{
    return Error{QString::fromLatin1(kMp4EditListErrorDomain),
                 int(Mp4EditListErrorCode::CannotWrite),
                 QStringLiteral("Cannot write the edit lists of \"%1\": %2").arg(path, why),
                 {},
                 {}};
}

void append(QByteArray& bytes, int size, uint64_t value)
{
    for (int i = size - 1; i >= 0; --i)
        bytes.append(char((value >> (8 * i)) & 0xff));
}

void put(QByteArray& bytes, qint64 at, int size, uint64_t value)
{
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[at + i] = char(value & 0xff);
}

QByteArray box(std::string_view type, const QByteArray& payload)
{
    QByteArray bytes;
    append(bytes, 4, uint64_t(payload.size()) + 8);
    bytes.append(type.data(), 4);
    return bytes + payload;
}

QByteArray payloadBytes(const Mp4Bytes& payload) { return QByteArray(reinterpret_cast<const char*>(payload.here()), payload.remaining()); }

// The version-dependent fields of the movie header: its timescale and where its duration is.
struct MovieHeader {
    uint32_t timescale = 0;
    qint64 durationAt = -1; // in the mvhd payload
    int durationSize = 4;
};

MovieHeader readMovieHeader(Mp4Bytes mvhd)
{
    MovieHeader header;
    const int version = int(mvhd.read(1));
    mvhd.skip(3 + (version == 1 ? 16 : 8));
    header.timescale = uint32_t(mvhd.read(4));
    header.durationAt = 4 + (version == 1 ? 16 : 8) + 4;
    header.durationSize = version == 1 ? 8 : 4;
    return mvhd.ok() ? header : MovieHeader{};
}

struct TrackInfo {
    uint32_t trackID = 0;
    uint32_t mediaTimescale = 0;
    qint64 tkhdDurationAt = -1; // in the tkhd payload
    int tkhdDurationSize = 4;
    uint64_t duration = 0; // the tkhd's, movie timescale
};

TrackInfo readTrack(Mp4Bytes trak)
{
    TrackInfo info;
    bool found = false;
    Mp4Bytes tkhd = childMp4Box(trak, "tkhd", found);
    if (found) {
        const int version = int(tkhd.read(1));
        tkhd.skip(3 + (version == 1 ? 16 : 8));
        info.trackID = uint32_t(tkhd.read(4));
        info.tkhdDurationAt = 4 + (version == 1 ? 16 : 8) + 4 + 4;
        info.tkhdDurationSize = version == 1 ? 8 : 4;
        tkhd.skip(4); // reserved
        info.duration = tkhd.read(info.tkhdDurationSize);
        if (!tkhd.ok())
            info.trackID = 0;
    }
    Mp4Bytes mdia = childMp4Box(trak, "mdia", found);
    Mp4Bytes mdhd = found ? childMp4Box(mdia, "mdhd", found) : mdia;
    if (found) {
        const int version = int(mdhd.read(1));
        mdhd.skip(3 + (version == 1 ? 16 : 8));
        info.mediaTimescale = uint32_t(mdhd.read(4));
    }
    return info;
}

// An elst box for the entries, 64-bit fields only where a value needs them.
QByteArray editListBox(const std::vector<int64_t>& mediaTimes, const std::vector<uint64_t>& durations)
{
    bool wide = false;
    for (size_t i = 0; i < durations.size(); ++i)
        wide = wide || durations[i] > 0xffffffffu || mediaTimes[i] > 0x7fffffff || mediaTimes[i] < -1;
    QByteArray payload;
    append(payload, 1, wide ? 1 : 0);
    append(payload, 3, 0);
    append(payload, 4, durations.size());
    for (size_t i = 0; i < durations.size(); ++i) {
        append(payload, wide ? 8 : 4, durations[i]);
        append(payload, wide ? 8 : 4, uint64_t(mediaTimes[i]));
        append(payload, 4, 0x00010000); // rate 1.0
    }
    return box("elst", payload);
}

} // namespace

bool writeEditLists(const QString& path, const std::map<uint32_t, std::vector<Mp4Edit>>& edits, Error* error)
{
    const auto fail = [&](const QString& why) {
        setError(error, editError(path, why));
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return fail(file.errorString());
    const Mp4Moov moov = readMoov(file);
    if (moov.bytes.isEmpty())
        return fail(QStringLiteral("no movie box"));
    Mp4Bytes root(reinterpret_cast<const uchar*>(moov.bytes.constData()), moov.bytes.size());
    bool found = false;
    const MovieHeader movie = readMovieHeader(childMp4Box(root, "mvhd", found));
    if (!found || movie.timescale == 0)
        return fail(QStringLiteral("a damaged movie header"));

    QByteArray rebuilt;
    uint64_t movieDuration = 0;
    size_t written = 0;
    qint64 mvhdAt = -1;
    const bool walked = forEachMp4Box(root, [&](std::string_view type, Mp4Bytes payload) {
        if (type == "mvhd")
            mvhdAt = rebuilt.size() + 8;
        if (type != "trak") {
            rebuilt += box(type, payloadBytes(payload));
            return;
        }
        const TrackInfo track = readTrack(payload);
        const auto wanted = edits.find(track.trackID);
        if (wanted == edits.end() || track.mediaTimescale == 0 || track.tkhdDurationAt < 0) {
            // Kept as it is; its length still counts for the movie.
            movieDuration = std::max(movieDuration, track.duration);
            rebuilt += box("trak", payloadBytes(payload));
            return;
        }
        std::vector<int64_t> mediaTimes;
        std::vector<uint64_t> durations;
        uint64_t total = 0;
        for (const Mp4Edit& edit : wanted->second) {
            const CMTime d = CMTimeConvertScale(edit.duration, int32_t(movie.timescale), kCMTimeRoundingMethod_RoundHalfAwayFromZero);
            durations.push_back(uint64_t(std::max<int64_t>(d.value, 0)));
            mediaTimes.push_back(
                CMTIME_IS_NUMERIC(edit.mediaStart)
                    ? CMTimeConvertScale(edit.mediaStart, int32_t(track.mediaTimescale), kCMTimeRoundingMethod_RoundHalfAwayFromZero).value
                    : -1);
            total += durations.back();
        }
        movieDuration = std::max(movieDuration, total);
        // The track's boxes with the new edit list in place of the old one, right after tkhd.
        QByteArray trak;
        forEachMp4Box(payload, [&](std::string_view child, Mp4Bytes childPayload) {
            if (child == "edts")
                return;
            QByteArray bytes = payloadBytes(childPayload);
            if (child == "tkhd") {
                put(bytes, track.tkhdDurationAt, track.tkhdDurationSize, total);
                trak += box("tkhd", bytes) + box("edts", editListBox(mediaTimes, durations));
                return;
            }
            trak += box(child, bytes);
        });
        rebuilt += box("trak", trak);
        ++written;
    });
    if (!walked || mvhdAt < 0)
        return fail(QStringLiteral("damaged boxes"));
    if (written != edits.size())
        return fail(QStringLiteral("a track to edit is missing"));
    put(rebuilt, mvhdAt + movie.durationAt, movie.durationSize, movieDuration);

    // The movie box is last: it is written anew from where it starts, and the file ends with it.
    const qint64 boxStart = moov.offset - moov.headerSize;
    if (moov.offset + moov.bytes.size() != file.size())
        return fail(QStringLiteral("the movie box is not at the end"));
    const QByteArray whole = box("moov", rebuilt);
    if (!file.seek(boxStart) || file.write(whole) != whole.size() || !file.resize(boxStart + whole.size()) || !file.flush())
        return fail(file.errorString());
    return true;
}

std::optional<std::map<uint32_t, Mp4EditList>> readEditLists(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const Mp4Moov moov = readMoov(file);
    if (moov.bytes.isEmpty())
        return std::nullopt;
    Mp4Bytes root(reinterpret_cast<const uchar*>(moov.bytes.constData()), moov.bytes.size());
    bool found = false;
    const MovieHeader movie = readMovieHeader(childMp4Box(root, "mvhd", found));
    if (!found)
        return std::nullopt;
    std::map<uint32_t, Mp4EditList> lists;
    bool ok = forEachMp4Box(root, [&](std::string_view type, Mp4Bytes trak) {
        if (type != "trak")
            return;
        const TrackInfo track = readTrack(trak);
        Mp4EditList& list = lists[track.trackID];
        list.mediaTimescale = int32_t(track.mediaTimescale);
        list.movieTimescale = int32_t(movie.timescale);
        list.trackDuration = track.duration;
        bool has = false;
        Mp4Bytes edts = childMp4Box(trak, "edts", has);
        Mp4Bytes elst = has ? childMp4Box(edts, "elst", has) : edts;
        if (!has)
            return;
        const int width = elst.read(1) == 1 ? 8 : 4;
        elst.skip(3);
        const uint64_t entries = elst.read(4);
        for (uint64_t i = 0; i < entries && elst.ok(); ++i) {
            list.durations.push_back(elst.read(width));
            list.mediaTimes.push_back(width == 8 ? int64_t(elst.read(8)) : int64_t(int32_t(elst.read(4))));
            elst.skip(4);
        }
    });
    return ok ? std::optional(lists) : std::nullopt;
}
