#include "BitReader.h"

#include <algorithm>

uint32_t BitReader::bits(int count)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        if (position_ >= size()) {
            ok_ = false;
            return 0;
        }
        const int byte = uint8_t(bytes_[qsizetype(position_ / 8)]);
        value = value << 1 | uint32_t((byte >> (7 - position_ % 8)) & 1);
        ++position_;
    }
    return value;
}

uint32_t BitReader::ue()
{
    int zeros = 0;
    while (bits(1) == 0) {
        if (!ok_ || ++zeros > 31) {
            ok_ = false;
            return 0;
        }
    }
    return zeros == 0 ? 0 : (uint32_t(1) << zeros) - 1 + bits(zeros);
}

int32_t BitReader::se()
{
    const uint32_t code = ue();
    return code & 1 ? int32_t((code + 1) / 2) : -int32_t(code / 2);
}

void BitReader::skip(int64_t count)
{
    position_ += count;
    if (position_ > size()) {
        position_ = size();
        ok_ = false;
    }
}

void BitWriter::bits(uint32_t value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        if (used_ == 8) {
            bytes_.append('\0');
            used_ = 0;
        }
        if ((value >> i) & 1)
            bytes_[bytes_.size() - 1] = char(uint8_t(bytes_[bytes_.size() - 1]) | (0x80 >> used_));
        ++used_;
    }
}

void BitWriter::ue(uint32_t value)
{
    const uint64_t code = uint64_t(value) + 1;
    int length = 0;
    while ((code >> length) > 1)
        ++length;
    bits(0, length);
    bits(uint32_t(code), length + 1);
}

void BitWriter::copy(const QByteArray& bytes, int64_t from, int64_t to)
{
    BitReader reader(bytes, from);
    for (int64_t left = to - from; left > 0;) {
        const int count = int(std::min<int64_t>(left, 24));
        bits(reader.bits(count), count);
        left -= count;
    }
}

void BitWriter::alignWithStopBit()
{
    bits(1, 1);
    if (used_ < 8)
        bits(0, 8 - used_);
}
