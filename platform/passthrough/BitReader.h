// Reading and writing the bits of a NAL unit's payload (emulation prevention bytes already removed):
// fixed-width fields and the Exp-Golomb codes of H.264 and HEVC. Reads past the end set a failure
// flag and give zeros, so a parser checks ok() once at the end rather than after every field.
//
// Plain values; any thread.
#pragma once

#include <QByteArray>

#include <cstdint>

class BitReader {
public:
    explicit BitReader(const QByteArray& bytes, int64_t firstBit = 0) : bytes_(bytes), position_(firstBit) {}

    uint32_t bits(int count);
    bool flag() { return bits(1) != 0; }
    uint32_t ue();
    int32_t se();
    void skip(int64_t count);
    int64_t position() const { return position_; }
    int64_t size() const { return int64_t(bytes_.size()) * 8; }
    bool ok() const { return ok_; }

private:
    const QByteArray& bytes_;
    int64_t position_;
    bool ok_ = true;
};

class BitWriter {
public:
    void bits(uint32_t value, int count);
    void ue(uint32_t value);
    // Copies bits [from, to) of the bytes.
    void copy(const QByteArray& bytes, int64_t from, int64_t to);
    // A one bit, then zeros up to the next byte boundary (rbsp_trailing_bits, byte_alignment).
    void alignWithStopBit();
    int64_t position() const { return int64_t(bytes_.size()) * 8 - (8 - used_) % 8; }
    const QByteArray& bytes() const { return bytes_; }

private:
    QByteArray bytes_;
    int used_ = 8; // bits used in the last byte
};
