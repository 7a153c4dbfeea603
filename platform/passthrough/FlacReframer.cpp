#include "FlacReframer.h"

extern "C" {
#include <libavutil/bswap.h>
#include <libavutil/crc.h>
#include <libavutil/intreadwrite.h>
}

#include <algorithm>

namespace {

constexpr int kStreamInfoSize = 34;

// The header's coded number (UTF-8-like, up to 7 bytes): its length, or 0 when malformed.
int codedNumberLength(const uint8_t* data, int size)
{
    if (size < 1)
        return 0;
    const uint8_t first = data[0];
    int length = 1;
    if (first >= 0x80) {
        if (first == 0xFE)
            length = 7;
        else if (first == 0xFF || (first & 0xC0) == 0x80)
            return 0;
        else
            for (uint8_t mask = 0x40; first & mask; mask >>= 1)
                ++length;
    }
    return length <= size ? length : 0;
}

// Writes a sample number in the header's coded form (at most 36 bits: up to 7 bytes).
QByteArray codedNumber(int64_t value)
{
    QByteArray bytes;
    if (value < 0x80) {
        bytes.append(char(value));
        return bytes;
    }
    int length = 2;
    while (length < 7 && value >= (int64_t(1) << (5 * length + 1)))
        ++length;
    bytes.resize(length);
    for (int i = length - 1; i > 0; --i) {
        bytes[i] = char(0x80 | (value & 0x3F));
        value >>= 6;
    }
    bytes[0] = char(length == 7 ? 0xFE : ((0xFF00 >> length) & 0xFF) | value);
    return bytes;
}

struct Header {
    int length = 0;   // bytes up to and with the CRC-8
    int numberAt = 4; // where the coded number begins
    int numberLength = 0;
    int64_t blockSize = 0;
};

bool readHeader(const uint8_t* data, int size, Header* header)
{
    if (size < 6 || data[0] != 0xFF || (data[1] & 0xFE) != 0xF8)
        return false;
    header->numberLength = codedNumberLength(data + 4, size - 4);
    if (!header->numberLength)
        return false;
    int at = 4 + header->numberLength;
    const int blockCode = data[2] >> 4, rateCode = data[2] & 0x0F;
    if (blockCode == 0)
        return false;
    if (blockCode == 1)
        header->blockSize = 192;
    else if (blockCode <= 5)
        header->blockSize = 576 << (blockCode - 2);
    else if (blockCode == 6 && at + 1 <= size)
        header->blockSize = data[at++] + 1;
    else if (blockCode == 7 && at + 2 <= size)
        header->blockSize = AV_RB16(data + at) + 1, at += 2;
    else if (blockCode >= 8)
        header->blockSize = 256 << (blockCode - 8);
    else
        return false;
    at += rateCode == 12 ? 1 : (rateCode == 13 || rateCode == 14) ? 2 : 0;
    header->length = at + 1;
    return header->length + 2 <= size;
}

} // namespace

FlacReframer::FlacReframer(const AVCodecParameters& source) : source_(source) {}

int64_t FlacReframer::blockSize(const uint8_t* data, int size)
{
    Header header;
    return readHeader(data, size, &header) ? header.blockSize : 0;
}

QByteArray FlacReframer::renumbered(const uint8_t* data, int size, int64_t firstSample)
{
    Header header;
    if (!readHeader(data, size, &header))
        return {};
    QByteArray frame;
    frame.reserve(size + 8);
    frame.append(char(0xFF)).append(char(0xF9)).append(char(data[2])).append(char(data[3]));
    frame.append(codedNumber(firstSample));
    const int rest = header.numberAt + header.numberLength;
    frame.append(reinterpret_cast<const char*>(data + rest), header.length - 1 - rest); // block size and rate bytes
    const auto* bytes = reinterpret_cast<const uint8_t*>(frame.constData());
    frame.append(char(av_crc(av_crc_get_table(AV_CRC_8_ATM), 0, bytes, size_t(frame.size()))));
    frame.append(reinterpret_cast<const char*>(data + header.length), size - header.length - 2);
    bytes = reinterpret_cast<const uint8_t*>(frame.constData());
    const uint16_t crc = av_bswap16(uint16_t(av_crc(av_crc_get_table(AV_CRC_16_ANSI), 0, bytes, size_t(frame.size()))));
    frame.append(char(crc >> 8)).append(char(crc & 0xFF));
    return frame;
}

PacketPtr FlacReframer::frame(const AVPacket& source, int64_t front, int64_t back, Error* error)
{
    PacketPtr kept;
    if (front > 0 || back > 0) {
        kept = encodeKept(source, front, back, error);
        if (!kept)
            return nullptr;
    }
    const AVPacket& input = kept ? *kept : source;
    const int64_t samples = blockSize(input.data, input.size);
    const QByteArray bytes = renumbered(input.data, input.size, written_);
    PacketPtr out = makePacket();
    if (samples <= 0 || bytes.isEmpty() || !out || av_new_packet(out.get(), int(bytes.size())) < 0) {
        setError(error, mediaError(samples <= 0 || bytes.isEmpty() ? AVERROR_INVALIDDATA : AVERROR(ENOMEM),
                                   QStringLiteral("Cannot copy a FLAC frame")));
        return nullptr;
    }
    std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(out->data));
    av_packet_copy_props(out.get(), &source);
    written_ += samples;
    describe(*out, samples, int(bytes.size()));
    return out;
}

PacketPtr FlacReframer::encodeKept(const AVPacket& source, int64_t front, int64_t back, Error* error)
{
    auto fail = [&](int code, const QString& what) {
        setError(error, mediaError(code, what));
        return PacketPtr();
    };
    if (!decoder_) {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_FLAC);
        decoder_.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
        if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), &source_) < 0 || avcodec_open2(decoder_.get(), codec, nullptr) < 0) {
            decoder_.reset();
            return fail(AVERROR_DECODER_NOT_FOUND, QStringLiteral("Cannot decode FLAC"));
        }
    }
    FramePtr decoded = makeFrame();
    int ret = decoded ? avcodec_send_packet(decoder_.get(), &source) : AVERROR(ENOMEM);
    if (ret >= 0)
        ret = avcodec_receive_frame(decoder_.get(), decoded.get());
    if (ret < 0)
        return fail(ret, QStringLiteral("Cannot decode a FLAC frame"));
    const int64_t count = decoded->nb_samples - front - back;
    if (count <= 0)
        return fail(AVERROR_INVALIDDATA, QStringLiteral("Cannot decode a FLAC frame"));

    // A new encoder for each frame made: a frame shorter than the encoder's block size is its last.
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_FLAC);
    CodecContextPtr encoder(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!encoder)
        return fail(AVERROR_ENCODER_NOT_FOUND, QStringLiteral("Cannot encode FLAC"));
    encoder->sample_rate = decoder_->sample_rate;
    encoder->sample_fmt = decoder_->sample_fmt;
    encoder->bits_per_raw_sample = decoder_->bits_per_raw_sample;
    encoder->time_base = AVRational{1, decoder_->sample_rate};
    encoder->frame_size = int(std::max<int64_t>(count, 16));
    if (av_channel_layout_copy(&encoder->ch_layout, &decoder_->ch_layout) < 0 || avcodec_open2(encoder.get(), codec, nullptr) < 0)
        return fail(AVERROR_ENCODER_NOT_FOUND, QStringLiteral("Cannot encode FLAC"));
    FramePtr part = makeFrame();
    if (!part)
        return fail(AVERROR(ENOMEM), QStringLiteral("Cannot encode FLAC"));
    part->nb_samples = int(count);
    part->format = decoded->format;
    part->sample_rate = decoded->sample_rate;
    part->pts = 0;
    if (av_channel_layout_copy(&part->ch_layout, &decoded->ch_layout) < 0 || av_frame_get_buffer(part.get(), 0) < 0)
        return fail(AVERROR(ENOMEM), QStringLiteral("Cannot encode FLAC"));
    av_samples_copy(part->extended_data, decoded->extended_data, 0, int(front), int(count), decoded->ch_layout.nb_channels,
                    AVSampleFormat(decoded->format));
    PacketPtr encoded = makePacket();
    ret = avcodec_send_frame(encoder.get(), part.get());
    if (ret >= 0)
        ret = avcodec_send_frame(encoder.get(), nullptr);
    if (ret >= 0)
        ret = avcodec_receive_packet(encoder.get(), encoded.get());
    if (ret < 0)
        return fail(ret, QStringLiteral("Cannot encode a FLAC frame"));
    return encoded;
}

void FlacReframer::describe(AVPacket& packet, int64_t samples, int size)
{
    minBlock_ = minBlock_ ? std::min(minBlock_, int(samples)) : int(samples);
    maxBlock_ = std::max(maxBlock_, int(samples));
    minFrame_ = minFrame_ ? std::min(minFrame_, size) : size;
    maxFrame_ = std::max(maxFrame_, size);
    if (source_.extradata_size < kStreamInfoSize)
        return;
    uint8_t* info = av_packet_new_side_data(&packet, AV_PKT_DATA_NEW_EXTRADATA, kStreamInfoSize);
    if (!info)
        return;
    std::copy(source_.extradata, source_.extradata + kStreamInfoSize, info);
    AV_WB16(info, uint16_t(minBlock_));
    AV_WB16(info + 2, uint16_t(maxBlock_));
    AV_WB24(info + 4, uint32_t(minFrame_));
    AV_WB24(info + 7, uint32_t(maxFrame_));
    // Bytes 10–17: rate (20 bits), channels − 1 (3), bits − 1 (5), then the sample count (36 bits).
    info[13] = uint8_t((info[13] & 0xF0) | ((written_ >> 32) & 0x0F));
    AV_WB32(info + 14, uint32_t(written_ & 0xFFFFFFFF));
    std::fill(info + 18, info + kStreamInfoSize, 0); // the audio checksum: unknown
}
