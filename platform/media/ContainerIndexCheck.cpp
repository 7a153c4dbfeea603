#include "ContainerIndexCheck.h"

#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ContainerIndexCheck {

namespace {

constexpr double kTolerance = 0.5;           // seconds a track may fall short (a codec's last frame, priming)
constexpr int64_t kLargestTable = 256 << 20; // a sample table beyond this is not read for the check
constexpr uint32_t kSelfContained = 1;       // a data reference entry's flag: the media is in this file

struct File {
    int fd;
    int64_t size;

    std::optional<QByteArray> read(int64_t at, int64_t length) const
    {
        if (at < 0 || length < 0 || length > kLargestTable || at + length > size)
            return std::nullopt;
        QByteArray bytes(qsizetype(length), Qt::Uninitialized);
        for (int64_t done = 0; done < length;) {
            const ssize_t got = ::pread(fd, bytes.data() + done, size_t(length - done), at + done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return std::nullopt;
            done += got;
        }
        return bytes;
    }
};

uint32_t be32(const QByteArray& bytes, qsizetype at) { return qFromBigEndian<quint32>(bytes.constData() + at); }
uint64_t be64(const QByteArray& bytes, qsizetype at) { return qFromBigEndian<quint64>(bytes.constData() + at); }
uint32_t le32(const QByteArray& bytes, qsizetype at) { return qFromLittleEndian<quint32>(bytes.constData() + at); }

struct Box {
    QByteArray type;
    int64_t payload = 0; // where its contents begin
    int64_t end = 0;
};

// The boxes directly inside [from, to). A box whose size runs past `to` is cut at it.
std::vector<Box> boxes(const File& file, int64_t from, int64_t to)
{
    std::vector<Box> found;
    for (int64_t at = from; at + 8 <= to && found.size() < 100000;) {
        const std::optional<QByteArray> header = file.read(at, std::min<int64_t>(16, to - at));
        if (!header)
            break;
        Box box{header->mid(4, 4), at + 8, 0};
        uint64_t size = be32(*header, 0);
        if (size == 1 && header->size() >= 16) {
            size = be64(*header, 8);
            box.payload = at + 16;
        } else if (size == 0) {
            size = uint64_t(to - at);
        }
        if (size < uint64_t(box.payload - at))
            break;
        box.end = size > uint64_t(to - at) ? to : at + int64_t(size);
        found.push_back(box);
        at = box.end;
    }
    return found;
}

std::optional<Box> child(const File& file, const Box& parent, const char* type, int64_t skip = 0)
{
    for (const Box& box : boxes(file, parent.payload + skip, parent.end))
        if (box.type == type)
            return box;
    return std::nullopt;
}

std::optional<QByteArray> contents(const File& file, const std::optional<Box>& box)
{
    return box ? file.read(box->payload, box->end - box->payload) : std::nullopt;
}

Error damaged(const QString& message) { return mediaLayerError(MediaLayerErrorCode::Damaged, message); }

QString cutShort(const QString& kind, int64_t trackId, double reached, double stated)
{
    return QStringLiteral("%1 track %2 ends at %3 s of %4 s: the file is cut short.")
        .arg(kind)
        .arg(trackId)
        .arg(reached, 0, 'f', 2)
        .arg(stated, 0, 'f', 2);
}

// One track of an MPEG-4/QuickTime file, from its sample table.
bool checkTrack(const File& file, const Box& trak, const QString& path, Error* error)
{
    const std::optional<QByteArray> tkhd = contents(file, child(file, trak, "tkhd"));
    const int64_t trackId = tkhd && tkhd->size() >= 24 ? be32(*tkhd, (*tkhd)[0] == 1 ? 20 : 12) : 0;
    const std::optional<Box> mdia = child(file, trak, "mdia");
    if (!mdia)
        return true;
    const std::optional<QByteArray> hdlr = contents(file, child(file, *mdia, "hdlr"));
    const QByteArray handler = hdlr && hdlr->size() >= 12 ? hdlr->mid(8, 4) : QByteArray();
    const QString kind = handler == "vide" ? QStringLiteral("Video") : handler == "soun" ? QStringLiteral("Audio") : QStringLiteral("Data");
    const std::optional<QByteArray> mdhd = contents(file, child(file, *mdia, "mdhd"));
    uint32_t timescale = 0;
    uint64_t duration = 0;
    if (mdhd && mdhd->size() >= 24) {
        const bool wide = (*mdhd)[0] == 1;
        if (wide && mdhd->size() >= 36) {
            timescale = be32(*mdhd, 20);
            duration = be64(*mdhd, 24);
        } else if (!wide) {
            timescale = be32(*mdhd, 12);
            duration = be32(*mdhd, 16);
        }
    }
    const std::optional<Box> minf = child(file, *mdia, "minf");
    if (!minf)
        return true;
    if (const std::optional<Box> dinf = child(file, *minf, "dinf")) {
        if (const std::optional<Box> dref = child(file, *dinf, "dref")) {
            for (const Box& entry : boxes(file, dref->payload + 8, dref->end)) {
                const std::optional<QByteArray> head = file.read(entry.payload, 4);
                if (head && !(be32(*head, 0) & kSelfContained)) {
                    setError(error, mediaLayerError(MediaLayerErrorCode::InvalidArgument,
                                                    QStringLiteral("%1 track %2 of \"%3\" refers to media in another file: open "
                                                                   "a file that holds its own media.")
                                                        .arg(kind)
                                                        .arg(trackId)
                                                        .arg(path)));
                    return false;
                }
            }
        }
    }
    const std::optional<Box> stbl = child(file, *minf, "stbl");
    if (!stbl)
        return true;
    // The sample table's boxes, listed once.
    const std::vector<Box> tables = boxes(file, stbl->payload, stbl->end);
    const auto table = [&](const char* type) -> std::optional<QByteArray> {
        for (const Box& box : tables)
            if (box.type == type)
                return file.read(box.payload, box.end - box.payload);
        return std::nullopt;
    };
    const auto fail = [&](const QString& what) {
        setError(error, damaged(QStringLiteral("%1 track %2 of \"%3\" %4: the file is damaged.").arg(kind).arg(trackId).arg(path, what)));
        return false;
    };

    // How many samples each table claims: every sample takes at least a byte of the file.
    const std::optional<QByteArray> stsz = table("stsz");
    const std::optional<QByteArray> stz2 = stsz ? std::nullopt : table("stz2");
    uint32_t constantSize = 0;
    uint64_t sampleCount = 0;
    if (stsz && stsz->size() >= 12) {
        constantSize = be32(*stsz, 4);
        sampleCount = be32(*stsz, 8);
    } else if (stz2 && stz2->size() >= 12) {
        sampleCount = be32(*stz2, 8);
    }
    const std::optional<QByteArray> stts = table("stts");
    std::vector<std::pair<uint32_t, uint32_t>> times; // (count, delta)
    uint64_t timedSamples = 0;
    if (stts && stts->size() >= 8) {
        const uint64_t entries = std::min<uint64_t>(be32(*stts, 4), uint64_t(stts->size() - 8) / 8);
        times.reserve(entries);
        for (uint64_t i = 0; i < entries; ++i) {
            times.emplace_back(be32(*stts, qsizetype(8 + 8 * i)), be32(*stts, qsizetype(12 + 8 * i)));
            timedSamples += times.back().first;
            if (times.back().first && times.back().second >= 0x80000000u)
                return fail(QStringLiteral("gives a sample a negative or impossible length"));
        }
    }
    if (std::max(sampleCount, timedSamples) > uint64_t(file.size))
        return fail(QStringLiteral("claims %1 samples, more than the file's %2 bytes can hold")
                        .arg(std::max(sampleCount, timedSamples))
                        .arg(file.size));

    // Where the samples lie: chunks from the chunk offsets, samples per chunk from the sample-to-chunk table.
    const std::optional<QByteArray> stco = table("stco");
    const std::optional<QByteArray> co64 = stco ? std::nullopt : table("co64");
    const std::optional<QByteArray> stsc = table("stsc");
    if (!stsz || !stsc || !(stco || co64) || sampleCount == 0)
        return true;
    const QByteArray& offsets = stco ? *stco : *co64;
    const int width = stco ? 4 : 8;
    const uint64_t chunkCount = offsets.size() >= 8 ? std::min<uint64_t>(be32(offsets, 4), uint64_t(offsets.size() - 8) / width) : 0;
    const uint64_t runs = stsc->size() >= 8 ? std::min<uint64_t>(be32(*stsc, 4), uint64_t(stsc->size() - 8) / 12) : 0;
    if (constantSize == 0 && uint64_t(stsz->size() - 12) / 4 < sampleCount)
        return fail(QStringLiteral("lists fewer sample sizes than samples"));
    uint64_t sample = 0;  // samples before the current chunk
    uint64_t reached = 0; // samples the file holds in full, in order
    bool whole = true;
    for (uint64_t run = 0; run < runs && sample < sampleCount; ++run) {
        const uint64_t first = be32(*stsc, qsizetype(8 + 12 * run));
        const uint64_t perChunk = be32(*stsc, qsizetype(12 + 12 * run));
        const uint64_t next = run + 1 < runs ? be32(*stsc, qsizetype(20 + 12 * run)) : chunkCount + 1;
        if (perChunk == 0)
            return fail(QStringLiteral("has chunks of no samples"));
        if (first == 0 || next < first)
            return fail(QStringLiteral("has a sample-to-chunk table out of order"));
        for (uint64_t chunk = first; chunk < next && chunk <= chunkCount && sample < sampleCount; ++chunk) {
            const qsizetype at = qsizetype(8 + width * (chunk - 1));
            uint64_t position = width == 4 ? be32(offsets, at) : be64(offsets, at);
            for (uint64_t i = 0; i < perChunk && sample < sampleCount; ++i, ++sample) {
                position += constantSize ? constantSize : be32(*stsz, qsizetype(12 + 4 * sample));
                if (whole && position <= uint64_t(file.size))
                    reached = sample + 1;
                else
                    whole = false;
            }
        }
    }
    if (reached >= sampleCount || timescale == 0)
        return true;
    uint64_t reachedTicks = 0, statedTicks = 0, counted = 0;
    for (const auto& [count, delta] : times) {
        reachedTicks += uint64_t(delta) * std::min<uint64_t>(count, reached > counted ? reached - counted : 0);
        statedTicks += uint64_t(delta) * count;
        counted += count;
    }
    const double stated = double(std::max(statedTicks, duration)) / timescale;
    const double got = double(reachedTicks) / timescale;
    if (stated - got <= kTolerance)
        return true;
    setError(error, damaged(cutShort(kind, trackId, got, stated)));
    return false;
}

bool checkMp4(const File& file, const QString& path, Error* error)
{
    for (const Box& top : boxes(file, 0, file.size)) {
        if (top.type == "moov") {
            for (const Box& trak : boxes(file, top.payload, top.end))
                if (trak.type == "trak" && !checkTrack(file, trak, path, error))
                    return false;
        } else if (top.type == "moof") {
            // A fragment's run states its sample count outright.
            for (const Box& traf : boxes(file, top.payload, top.end)) {
                if (traf.type != "traf")
                    continue;
                for (const Box& trun : boxes(file, traf.payload, traf.end)) {
                    const std::optional<QByteArray> head = trun.type == "trun" ? file.read(trun.payload, 8) : std::nullopt;
                    if (head && be32(*head, 4) > uint64_t(file.size)) {
                        setError(error, damaged(QStringLiteral("A fragment of \"%1\" claims %2 samples, more than the file's %3 bytes "
                                                               "can hold: the file is damaged.")
                                                    .arg(path)
                                                    .arg(be32(*head, 4))
                                                    .arg(file.size)));
                        return false;
                    }
                }
            }
        }
    }
    return true;
}

// A WAV's data chunk states its length; a copy cut short holds less. Lengths unknown when the file
// was written (0 or all ones, as streaming writers leave them) state nothing.
bool checkWav(const File& file, Error* error)
{
    const std::optional<QByteArray> head = file.read(0, 12);
    if (!head || !head->startsWith("RIFF") || head->mid(8, 4) != "WAVE")
        return true;
    uint32_t bytesPerSecond = 0;
    for (int64_t at = 12; at + 8 <= file.size;) {
        const std::optional<QByteArray> chunk = file.read(at, std::min<int64_t>(20, file.size - at));
        if (!chunk || chunk->size() < 8)
            return true;
        const uint32_t size = le32(*chunk, 4);
        if (chunk->startsWith("fmt ") && chunk->size() >= 20)
            bytesPerSecond = le32(*chunk, 16);
        if (chunk->startsWith("data")) {
            const int64_t present = file.size - (at + 8);
            if (size == 0 || size == 0xFFFFFFFFu || bytesPerSecond == 0 || int64_t(size) <= present)
                return true;
            const double stated = double(size) / bytesPerSecond, got = double(present) / bytesPerSecond;
            if (stated - got <= kTolerance)
                return true;
            setError(error, damaged(cutShort(QStringLiteral("Audio"), 1, got, stated)));
            return false;
        }
        at += 8 + int64_t(size) + (size & 1);
    }
    return true;
}

} // namespace

bool check(int fd, const char* formatName, const QString& path, Error* error)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return true;
    const File file{fd, int64_t(info.st_size)};
    if (std::strncmp(formatName, "mov,", 4) == 0)
        return checkMp4(file, path, error);
    if (std::strcmp(formatName, "wav") == 0)
        return checkWav(file, error);
    return true;
}

} // namespace ContainerIndexCheck
