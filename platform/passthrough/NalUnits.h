// The NAL units of H.264 and HEVC: splitting packets and codec configurations into units, joining
// units back (with length prefixes as in MPEG-4 and Matroska, or with start codes as in transport
// streams), and the configuration records (avcC, hvcC) that hold a stream's parameter sets. A copy
// that splices in pictures of its own encoder adds that encoder's parameter sets to the source's
// record, so that both kinds of picture find theirs.
//
// Plain functions over bytes; any thread. Damaged input gives empty results, never a read beyond it.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace NalUnits {

enum class Codec { H264, Hevc };

// NAL unit types that matter here.
constexpr int kH264Sps = 7, kH264Pps = 8;
constexpr int kHevcVps = 32, kHevcSps = 33, kHevcPps = 34;

// The unit's type from its first header byte.
int unitType(Codec codec, const QByteArray& unit);

// The units of a packet: length-prefixed with lengthSize bytes (1 to 4), or with start codes when
// lengthSize is 0. Units are returned with their header, without prefix or start code.
std::vector<QByteArray> split(const uint8_t* data, int size, int lengthSize);
// The units joined with length prefixes of lengthSize bytes, or with four-byte start codes (0).
QByteArray join(const std::vector<QByteArray>& units, int lengthSize);

// A configuration record or start-code extradata, taken apart.
struct Configuration {
    bool record = false;                          // avcC / hvcC (else start codes)
    int lengthSize = 0;                           // of the stream's packets; 0 for start codes
    QByteArray header;                            // a record's bytes before its parameter-set lists
    QByteArray trailer;                           // an avcC's bytes after them (the High profile extension)
    std::vector<QByteArray> vps, sps, pps, other; // `other`: SEI units an hvcC may carry
};
// False when the extradata is neither a record nor start-code units of the codec.
bool parseConfiguration(Codec codec, const uint8_t* data, int size, Configuration* out);
QByteArray buildConfiguration(Codec codec, const Configuration& configuration);

// Parameter-set identifiers. H.264: an SPS's id, a PPS's id. HEVC: a VPS's, SPS's or PPS's own id.
// −1 when the unit cannot be read.
int parameterSetId(Codec codec, const QByteArray& unit);

// The unit with its emulation prevention bytes removed (the raw byte sequence payload) and the
// reverse: the payload with them added where a start code could otherwise appear.
QByteArray unescape(const QByteArray& unit);
QByteArray escape(const QByteArray& payload);

} // namespace NalUnits
