#include "Mp4SampleTable.h"

#include "Mp4Boxes.h"

#include <QFile>

#include <unistd.h>

std::optional<Mp4TrackTiming> readMp4TrackTiming(const MediaSource& source, int32_t trackID)
{
    const int fd = source.openOwnDescriptor();
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    const QByteArray moovData = readMoov(file).bytes;
    if (moovData.isEmpty())
        return std::nullopt;
    Mp4Bytes moov(reinterpret_cast<const uchar*>(moovData.constData()), moovData.size());
    if (bool found = false; childMp4Box(moov, "mvex", found), found)
        return std::nullopt; // fragmented: the samples live in movie fragments

    int32_t movieTimescale = 0;
    bool foundBox = false;
    Mp4Bytes mvhd = childMp4Box(moov, "mvhd", foundBox);
    if (foundBox) {
        const uint64_t version = mvhd.read(1);
        mvhd.skip(3 + (version == 1 ? 16 : 8));
        movieTimescale = int32_t(mvhd.read(4));
    }

    std::optional<Mp4TrackTiming> result;
    bool broken = !forEachMp4Box(moov, [&](std::string_view type, Mp4Bytes trak) {
        if (type != "trak" || result)
            return;
        bool found = false;
        Mp4Bytes tkhd = childMp4Box(trak, "tkhd", found);
        if (!found)
            return;
        const uint64_t version = tkhd.read(1);
        tkhd.skip(3 + (version == 1 ? 16 : 8));
        if (!tkhd.ok() || int32_t(tkhd.read(4)) != trackID)
            return;

        Mp4TrackTiming timing;
        Mp4Bytes mdia = childMp4Box(trak, "mdia", found);
        Mp4Bytes mdhd = found ? childMp4Box(mdia, "mdhd", found) : mdia;
        if (!found)
            return;
        const uint64_t mdhdVersion = mdhd.read(1);
        mdhd.skip(3 + (mdhdVersion == 1 ? 16 : 8));
        timing.timescale = int32_t(mdhd.read(4));
        Mp4Bytes minf = childMp4Box(mdia, "minf", found);
        Mp4Bytes stbl = found ? childMp4Box(minf, "stbl", found) : minf;
        Mp4Bytes stts = found ? childMp4Box(stbl, "stts", found) : stbl;
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

        Mp4Bytes ctts = childMp4Box(stbl, "ctts", found);
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
        Mp4Bytes edts = childMp4Box(trak, "edts", found);
        Mp4Bytes elst = found ? childMp4Box(edts, "elst", found) : edts;
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
