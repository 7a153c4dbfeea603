#include "NalUnits.h"

#include "BitReader.h"

namespace NalUnits {

namespace {

uint32_t readBigEndian(const uint8_t* data, int count)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | data[i];
    return value;
}

void appendBigEndian(QByteArray& bytes, uint32_t value, int count)
{
    for (int i = count - 1; i >= 0; --i)
        bytes.append(char((value >> (8 * i)) & 0xff));
}

bool startsWithStartCode(const uint8_t* data, int size)
{
    return (size >= 3 && data[0] == 0 && data[1] == 0 && data[2] == 1) ||
           (size >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 0 && data[3] == 1);
}

// A list of units, each with a 16-bit length, as both records keep them; false when it runs out.
bool readUnitList(const uint8_t* data, int size, int& at, int count, std::vector<QByteArray>& out)
{
    for (int i = 0; i < count; ++i) {
        if (at + 2 > size)
            return false;
        const int length = int(readBigEndian(data + at, 2));
        at += 2;
        if (length > size - at)
            return false;
        out.emplace_back(reinterpret_cast<const char*>(data + at), length);
        at += length;
    }
    return true;
}

void writeUnitList(QByteArray& bytes, const std::vector<QByteArray>& units)
{
    for (const QByteArray& unit : units) {
        appendBigEndian(bytes, uint32_t(unit.size()), 2);
        bytes.append(unit);
    }
}

std::vector<QByteArray>* listFor(Codec codec, int type, Configuration& configuration)
{
    if (codec == Codec::H264)
        return type == kH264Sps ? &configuration.sps : type == kH264Pps ? &configuration.pps : nullptr;
    return type == kHevcVps   ? &configuration.vps
           : type == kHevcSps ? &configuration.sps
           : type == kHevcPps ? &configuration.pps
                              : &configuration.other;
}

bool parseAvcC(const uint8_t* data, int size, Configuration* out)
{
    if (size < 7)
        return false;
    out->record = true;
    out->lengthSize = (data[4] & 3) + 1;
    out->header = QByteArray(reinterpret_cast<const char*>(data), 5);
    int at = 5;
    const int spsCount = data[at++] & 0x1f;
    if (!readUnitList(data, size, at, spsCount, out->sps) || at >= size)
        return false;
    const int ppsCount = data[at++];
    if (!readUnitList(data, size, at, ppsCount, out->pps))
        return false;
    out->trailer = QByteArray(reinterpret_cast<const char*>(data + at), size - at);
    return true;
}

bool parseHvcC(const uint8_t* data, int size, Configuration* out)
{
    if (size < 23)
        return false;
    out->record = true;
    out->lengthSize = (data[21] & 3) + 1;
    out->header = QByteArray(reinterpret_cast<const char*>(data), 22);
    int at = 23;
    for (int array = 0; array < data[22]; ++array) {
        if (at + 3 > size)
            return false;
        const int type = data[at] & 0x3f;
        const int count = int(readBigEndian(data + at + 1, 2));
        at += 3;
        if (!readUnitList(data, size, at, count, *listFor(Codec::Hevc, type, *out)))
            return false;
    }
    return true;
}

} // namespace

int unitType(Codec codec, const QByteArray& unit)
{
    if (unit.isEmpty())
        return -1;
    const int first = uint8_t(unit[0]);
    return codec == Codec::H264 ? first & 0x1f : (first >> 1) & 0x3f;
}

std::vector<QByteArray> split(const uint8_t* data, int size, int lengthSize)
{
    std::vector<QByteArray> units;
    if (!data || size <= 0)
        return units;
    if (lengthSize > 0) {
        for (int at = 0; at + lengthSize <= size;) {
            const uint32_t length = readBigEndian(data + at, lengthSize);
            at += lengthSize;
            if (length == 0 || length > uint32_t(size - at))
                break;
            units.emplace_back(reinterpret_cast<const char*>(data + at), int(length));
            at += int(length);
        }
        return units;
    }
    // Start codes: each unit runs to the next start code (its trailing zero bytes belong to it).
    int begin = -1;
    for (int at = 0; at + 2 < size;) {
        if (data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1) {
            if (begin >= 0) {
                int end = at;
                while (end > begin && data[end - 1] == 0)
                    --end;
                units.emplace_back(reinterpret_cast<const char*>(data + begin), end - begin);
            }
            at += 3;
            begin = at;
        } else {
            ++at;
        }
    }
    if (begin >= 0 && begin < size)
        units.emplace_back(reinterpret_cast<const char*>(data + begin), size - begin);
    return units;
}

QByteArray join(const std::vector<QByteArray>& units, int lengthSize)
{
    QByteArray bytes;
    for (const QByteArray& unit : units) {
        if (lengthSize > 0)
            appendBigEndian(bytes, uint32_t(unit.size()), lengthSize);
        else
            bytes.append("\0\0\0\1", 4);
        bytes.append(unit);
    }
    return bytes;
}

bool parseConfiguration(Codec codec, const uint8_t* data, int size, Configuration* out)
{
    *out = Configuration{};
    if (!data || size <= 0)
        return false;
    if (startsWithStartCode(data, size)) {
        for (const QByteArray& unit : split(data, size, 0))
            if (std::vector<QByteArray>* list = listFor(codec, unitType(codec, unit), *out))
                list->push_back(unit);
        return !out->sps.empty();
    }
    if (data[0] != 1)
        return false;
    return codec == Codec::H264 ? parseAvcC(data, size, out) : parseHvcC(data, size, out);
}

QByteArray buildConfiguration(Codec codec, const Configuration& configuration)
{
    if (!configuration.record) {
        std::vector<QByteArray> units = configuration.vps;
        units.insert(units.end(), configuration.sps.begin(), configuration.sps.end());
        units.insert(units.end(), configuration.pps.begin(), configuration.pps.end());
        units.insert(units.end(), configuration.other.begin(), configuration.other.end());
        return join(units, 0);
    }
    QByteArray bytes = configuration.header;
    if (codec == Codec::H264) {
        bytes.append(char(0xe0 | (configuration.sps.size() & 0x1f)));
        writeUnitList(bytes, configuration.sps);
        bytes.append(char(configuration.pps.size() & 0xff));
        writeUnitList(bytes, configuration.pps);
        bytes.append(configuration.trailer);
        return bytes;
    }
    const std::pair<int, const std::vector<QByteArray>*> arrays[] = {
        {kHevcVps, &configuration.vps}, {kHevcSps, &configuration.sps}, {kHevcPps, &configuration.pps}};
    int count = 0;
    for (const auto& [type, units] : arrays)
        count += units->empty() ? 0 : 1;
    // SEI units keep their own type each.
    count += int(configuration.other.size());
    bytes.append(char(count));
    for (const auto& [type, units] : arrays) {
        if (units->empty())
            continue;
        bytes.append(char(0x80 | type)); // complete: every set of this type is here
        appendBigEndian(bytes, uint32_t(units->size()), 2);
        writeUnitList(bytes, *units);
    }
    for (const QByteArray& unit : configuration.other) {
        bytes.append(char(unitType(Codec::Hevc, unit)));
        appendBigEndian(bytes, 1, 2);
        writeUnitList(bytes, {unit});
    }
    return bytes;
}

int parameterSetId(Codec codec, const QByteArray& unit)
{
    const QByteArray payload = unescape(unit);
    const int type = unitType(codec, unit);
    if (codec == Codec::H264) {
        BitReader reader(payload, 8);
        if (type == kH264Sps)
            reader.skip(24); // profile, constraint flags, level
        else if (type != kH264Pps)
            return -1;
        const uint32_t id = reader.ue();
        return reader.ok() ? int(id) : -1;
    }
    BitReader reader(payload, 16);
    if (type == kHevcVps) {
        const uint32_t id = reader.bits(4);
        return reader.ok() ? int(id) : -1;
    }
    if (type == kHevcPps) {
        const uint32_t id = reader.ue();
        return reader.ok() ? int(id) : -1;
    }
    if (type != kHevcSps)
        return -1;
    reader.skip(4);
    const int subLayers = int(reader.bits(3));
    reader.skip(1);
    // profile_tier_level: 88 bits of general profile, 8 of level, then per sub-layer flags and data.
    reader.skip(96);
    std::vector<bool> profilePresent(static_cast<size_t>(subLayers)), levelPresent(static_cast<size_t>(subLayers));
    for (int i = 0; i < subLayers; ++i) {
        profilePresent[size_t(i)] = reader.flag();
        levelPresent[size_t(i)] = reader.flag();
    }
    if (subLayers > 0)
        reader.skip(2 * (8 - subLayers));
    for (int i = 0; i < subLayers; ++i)
        reader.skip((profilePresent[size_t(i)] ? 88 : 0) + (levelPresent[size_t(i)] ? 8 : 0));
    const uint32_t id = reader.ue();
    return reader.ok() ? int(id) : -1;
}

QByteArray unescape(const QByteArray& unit)
{
    QByteArray payload;
    payload.reserve(unit.size());
    int zeros = 0;
    for (const char c : unit) {
        const uint8_t byte = uint8_t(c);
        if (zeros >= 2 && byte == 3) {
            zeros = 0;
            continue;
        }
        zeros = byte == 0 ? zeros + 1 : 0;
        payload.append(c);
    }
    return payload;
}

QByteArray escape(const QByteArray& payload)
{
    QByteArray unit;
    unit.reserve(payload.size() + payload.size() / 64 + 4);
    int zeros = 0;
    for (const char c : payload) {
        const uint8_t byte = uint8_t(c);
        if (zeros >= 2 && byte <= 3) {
            unit.append(char(3));
            zeros = 0;
        }
        zeros = byte == 0 ? zeros + 1 : 0;
        unit.append(c);
    }
    // A payload that ends in zeros (CABAC zero words) is closed by an emulation prevention byte.
    if (zeros > 0)
        unit.append(char(3));
    return unit;
}

} // namespace NalUnits
