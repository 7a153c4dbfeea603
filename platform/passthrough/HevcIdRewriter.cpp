#include "HevcIdRewriter.h"

#include "BitReader.h"

using namespace NalUnits;

namespace {

constexpr int kBlaWithLeading = 16, kIdrWithLeading = 19, kIdrNoLeading = 20, kLastIrap = 23, kLastVcl = 31;
constexpr int kSliceB = 0, kSliceP = 1;

// The position of an RBSP's stop bit (the last one bit of the payload), or −1.
int64_t stopBit(const QByteArray& payload)
{
    for (qsizetype i = payload.size() - 1; i >= 0; --i) {
        const int byte = uint8_t(payload[i]);
        if (byte == 0)
            continue;
        int bit = 7;
        while (!((byte >> (7 - bit)) & 1))
            --bit;
        return int64_t(i) * 8 + bit;
    }
    return -1;
}

int ceilLog2(int value)
{
    int bits = 0;
    while ((1 << bits) < value)
        ++bits;
    return bits;
}

// Skips profile_tier_level(1, maxSubLayersMinus1).
void skipProfileTierLevel(BitReader& reader, int subLayers)
{
    reader.skip(96);
    std::vector<bool> profile(static_cast<size_t>(subLayers)), level(static_cast<size_t>(subLayers));
    for (int i = 0; i < subLayers; ++i) {
        profile[size_t(i)] = reader.flag();
        level[size_t(i)] = reader.flag();
    }
    if (subLayers > 0)
        reader.skip(2 * (8 - subLayers));
    for (int i = 0; i < subLayers; ++i)
        reader.skip((profile[size_t(i)] ? 88 : 0) + (level[size_t(i)] ? 8 : 0));
}

// The payload with bits [from, to) replaced by `field`, then the rest up to the stop bit, and new
// trailing bits.
QByteArray replaced(const QByteArray& payload, int64_t from, int64_t to, const BitWriter& field)
{
    const int64_t stop = stopBit(payload);
    if (stop < to)
        return {};
    BitWriter out;
    out.copy(payload, 0, from);
    out.copy(field.bytes(), 0, field.position());
    out.copy(payload, to, stop);
    out.alignWithStopBit();
    return out.bytes();
}

} // namespace

bool HevcIdRewriter::configure(const Configuration& encoder, int vpsId, int spsId, int ppsId, QString* why)
{
    vpsId_ = vpsId;
    spsId_ = spsId;
    ppsId_ = ppsId;
    if (encoder.vps.size() != 1 || encoder.sps.size() != 1 || encoder.pps.size() != 1) {
        *why = QStringLiteral("the encoder does not give one parameter set of each kind");
        return false;
    }
    return readSps(unescape(encoder.sps.front()), why) && readPps(unescape(encoder.pps.front()), why);
}

int HevcIdRewriter::readShortTermSet(BitReader& reader, int index) const
{
    const bool predicted = index != 0 && reader.flag();
    if (predicted) {
        int deltaIndex = 1;
        if (index == int(shortTermSets_.size()))
            deltaIndex = int(reader.ue()) + 1;
        reader.skip(1); // delta_rps_sign
        reader.ue();    // abs_delta_rps_minus1
        const int reference = index - deltaIndex;
        if (reference < 0 || reference >= int(shortTermSets_.size()))
            return -1;
        int count = 0;
        for (int j = 0; j <= shortTermSets_[size_t(reference)].deltaPocs; ++j) {
            const bool used = reader.flag();
            const bool useDelta = used || reader.flag();
            count += useDelta ? 1 : 0;
        }
        return reader.ok() ? count : -1;
    }
    const int negative = int(reader.ue()), positive = int(reader.ue());
    if (negative > 16 || positive > 16)
        return -1;
    for (int i = 0; i < negative + positive; ++i) {
        reader.ue();
        reader.skip(1);
    }
    return reader.ok() ? negative + positive : -1;
}

bool HevcIdRewriter::readSps(const QByteArray& payload, QString* why)
{
    BitReader reader(payload, 16);
    reader.skip(4);
    const int subLayers = int(reader.bits(3));
    reader.skip(1);
    skipProfileTierLevel(reader, subLayers);
    reader.ue(); // sps_seq_parameter_set_id
    chromaFormat_ = int(reader.ue());
    if (chromaFormat_ == 3)
        separateColourPlanes_ = reader.flag();
    const int width = int(reader.ue()), height = int(reader.ue());
    if (reader.flag())
        for (int i = 0; i < 4; ++i)
            reader.ue();
    reader.ue();
    reader.ue();
    pocLsbBits_ = int(reader.ue()) + 4;
    const bool orderingForEach = reader.flag();
    for (int i = orderingForEach ? 0 : subLayers; i <= subLayers; ++i) {
        reader.ue();
        reader.ue();
        reader.ue();
    }
    const int minCbLog2 = int(reader.ue()) + 3;
    const int ctbLog2 = minCbLog2 + int(reader.ue());
    reader.ue();
    reader.ue();
    reader.ue();
    reader.ue();
    if (reader.flag() && reader.flag()) {
        *why = QStringLiteral("the encoder writes scaling lists");
        return false;
    }
    reader.skip(1); // amp_enabled_flag
    sao_ = reader.flag();
    if (reader.flag()) { // pcm_enabled_flag
        reader.skip(8);
        reader.ue();
        reader.ue();
        reader.skip(1);
    }
    const int sets = int(reader.ue());
    if (sets > 64) {
        *why = QStringLiteral("the encoder's sequence parameter set cannot be read");
        return false;
    }
    shortTermSets_.clear();
    for (int i = 0; i < sets; ++i) {
        const int deltaPocs = readShortTermSet(reader, i);
        if (deltaPocs < 0) {
            *why = QStringLiteral("the encoder's reference picture sets cannot be read");
            return false;
        }
        shortTermSets_.push_back(ShortTermSet{deltaPocs});
    }
    longTermRefs_ = reader.flag();
    if (longTermRefs_) {
        longTermRefsInSps_ = int(reader.ue());
        for (int i = 0; i < longTermRefsInSps_; ++i)
            reader.skip(pocLsbBits_ + 1);
    }
    temporalMvp_ = reader.flag();
    const int ctbSize = 1 << ctbLog2;
    const int ctbs = ((width + ctbSize - 1) / ctbSize) * ((height + ctbSize - 1) / ctbSize);
    sliceAddressBits_ = ceilLog2(ctbs);
    if (!reader.ok()) {
        *why = QStringLiteral("the encoder's sequence parameter set cannot be read");
        return false;
    }
    return true;
}

bool HevcIdRewriter::readPps(const QByteArray& payload, QString* why)
{
    BitReader reader(payload, 16);
    reader.ue();
    reader.ue();
    dependentSlices_ = reader.flag();
    outputFlagPresent_ = reader.flag();
    extraSliceHeaderBits_ = int(reader.bits(3));
    reader.skip(1);
    cabacInitPresent_ = reader.flag();
    refIdxL0Default_ = int(reader.ue()) + 1;
    refIdxL1Default_ = int(reader.ue()) + 1;
    reader.se();
    reader.skip(2);
    if (reader.flag())
        reader.ue();
    reader.se();
    reader.se();
    sliceChromaQpOffsets_ = reader.flag();
    const bool weighted = reader.flag(), weightedBi = reader.flag();
    reader.skip(1);
    const bool tiles = reader.flag(), sync = reader.flag();
    entryPoints_ = tiles || sync;
    if (tiles) {
        const int columns = int(reader.ue()), rows = int(reader.ue());
        if (!reader.flag()) {
            for (int i = 0; i < columns + rows; ++i)
                reader.ue();
        }
        reader.skip(1);
    }
    loopFilterAcrossSlices_ = reader.flag();
    if (reader.flag()) {
        deblockingOverrideEnabled_ = reader.flag();
        ppsDeblockingDisabled_ = reader.flag();
        if (!ppsDeblockingDisabled_) {
            reader.se();
            reader.se();
        }
    }
    const bool scalingLists = reader.flag();
    const bool listsModification = reader.flag();
    reader.ue();
    sliceHeaderExtension_ = reader.flag();
    const bool extensions = reader.flag();
    if (!reader.ok() || weighted || weightedBi || scalingLists || listsModification || extensions) {
        *why = QStringLiteral("the encoder's picture parameter set uses features this copy does not read");
        return false;
    }
    return true;
}

QByteArray HevcIdRewriter::rewrite(const QByteArray& unit) const
{
    const int type = unitType(Codec::Hevc, unit);
    const QByteArray payload = unescape(unit);
    QByteArray result;
    if (type == kHevcVps)
        result = rewriteVps(payload);
    else if (type == kHevcSps)
        result = rewriteSps(payload);
    else if (type == kHevcPps)
        result = rewritePps(payload);
    else if (type >= 0 && type <= kLastVcl)
        result = rewriteSlice(payload, type);
    else
        return unit;
    return result.isEmpty() ? QByteArray() : escape(result);
}

QByteArray HevcIdRewriter::rewriteVps(const QByteArray& payload) const
{
    BitWriter id;
    id.bits(uint32_t(vpsId_), 4);
    return replaced(payload, 16, 20, id);
}

QByteArray HevcIdRewriter::rewriteSps(const QByteArray& payload) const
{
    BitReader reader(payload, 16);
    reader.skip(4);
    const int subLayers = int(reader.bits(3));
    reader.skip(1);
    skipProfileTierLevel(reader, subLayers);
    const int64_t from = reader.position();
    reader.ue();
    if (!reader.ok())
        return {};
    // The VPS id first, then the SPS's own.
    BitWriter head;
    head.copy(payload, 0, 16);
    head.bits(uint32_t(vpsId_), 4);
    head.copy(payload, 20, from);
    head.ue(uint32_t(spsId_));
    return replaced(payload, 0, reader.position(), head);
}

QByteArray HevcIdRewriter::rewritePps(const QByteArray& payload) const
{
    BitReader reader(payload, 16);
    reader.ue();
    reader.ue();
    if (!reader.ok())
        return {};
    BitWriter ids;
    ids.ue(uint32_t(ppsId_));
    ids.ue(uint32_t(spsId_));
    return replaced(payload, 16, reader.position(), ids);
}

QByteArray HevcIdRewriter::rewriteSlice(const QByteArray& payload, int type) const
{
    BitReader reader(payload, 16);
    const bool firstInPicture = reader.flag();
    if (type >= kBlaWithLeading && type <= kLastIrap)
        reader.skip(1);
    const int64_t idFrom = reader.position();
    reader.ue();
    const int64_t idTo = reader.position();
    bool dependent = false;
    if (!firstInPicture) {
        if (dependentSlices_)
            dependent = reader.flag();
        reader.skip(sliceAddressBits_);
    }
    bool saoLuma = false, saoChroma = false, deblockingDisabled = ppsDeblockingDisabled_;
    if (!dependent) {
        reader.skip(extraSliceHeaderBits_);
        const int sliceType = int(reader.ue());
        if (outputFlagPresent_)
            reader.skip(1);
        if (separateColourPlanes_)
            reader.skip(2);
        bool sliceTemporalMvp = false;
        if (type != kIdrWithLeading && type != kIdrNoLeading) {
            reader.skip(pocLsbBits_);
            if (!reader.flag()) {
                if (readShortTermSet(reader, int(shortTermSets_.size())) < 0)
                    return {};
            } else if (shortTermSets_.size() > 1) {
                reader.skip(ceilLog2(int(shortTermSets_.size())));
            }
            if (longTermRefs_) {
                const int inSps = longTermRefsInSps_ > 0 ? int(reader.ue()) : 0;
                const int pictures = int(reader.ue());
                for (int i = 0; i < inSps + pictures; ++i) {
                    if (i < inSps) {
                        if (longTermRefsInSps_ > 1)
                            reader.skip(ceilLog2(longTermRefsInSps_));
                    } else {
                        reader.skip(pocLsbBits_ + 1);
                    }
                    if (reader.flag())
                        reader.ue();
                }
            }
            if (temporalMvp_)
                sliceTemporalMvp = reader.flag();
        }
        if (sao_) {
            saoLuma = reader.flag();
            if (chromaFormat_ != 0 && !separateColourPlanes_)
                saoChroma = reader.flag();
        }
        if (sliceType == kSliceP || sliceType == kSliceB) {
            int refL0 = refIdxL0Default_, refL1 = refIdxL1Default_;
            if (reader.flag()) {
                refL0 = int(reader.ue()) + 1;
                if (sliceType == kSliceB)
                    refL1 = int(reader.ue()) + 1;
            }
            if (sliceType == kSliceB)
                reader.skip(1); // mvd_l1_zero_flag
            if (cabacInitPresent_)
                reader.skip(1);
            if (sliceTemporalMvp) {
                bool fromL0 = true;
                if (sliceType == kSliceB)
                    fromL0 = reader.flag();
                if ((fromL0 && refL0 > 1) || (!fromL0 && refL1 > 1))
                    reader.ue();
            }
            reader.ue(); // five_minus_max_num_merge_cand
        }
        reader.se(); // slice_qp_delta
        if (sliceChromaQpOffsets_) {
            reader.se();
            reader.se();
        }
        bool override = false;
        if (deblockingOverrideEnabled_)
            override = reader.flag();
        if (override) {
            deblockingDisabled = reader.flag();
            if (!deblockingDisabled) {
                reader.se();
                reader.se();
            }
        }
        if (loopFilterAcrossSlices_ && (saoLuma || saoChroma || !deblockingDisabled))
            reader.skip(1);
    }
    if (entryPoints_) {
        const uint32_t offsets = reader.ue();
        if (offsets > 0) {
            const int bits = int(reader.ue()) + 1;
            if (bits > 32)
                return {};
            reader.skip(int64_t(offsets) * bits);
        }
    }
    if (sliceHeaderExtension_)
        reader.skip(int64_t(reader.ue()) * 8);
    const int64_t headerEnd = reader.position();
    // byte_alignment(): a one bit, then zeros to the byte boundary; the slice data follows.
    if (!reader.ok() || !reader.flag())
        return {};
    const qsizetype dataStart = qsizetype((headerEnd + 8) / 8);
    if (dataStart > payload.size())
        return {};
    BitWriter out;
    out.copy(payload, 0, idFrom);
    out.ue(uint32_t(ppsId_));
    out.copy(payload, idTo, headerEnd);
    out.alignWithStopBit();
    return out.bytes() + payload.mid(dataStart);
}
