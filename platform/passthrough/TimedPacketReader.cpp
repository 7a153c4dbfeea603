#include "TimedPacketReader.h"

#include <cstring>

namespace {

constexpr int kBVop = 2;

// The coding type of the packet's first video object plane (I 0, P 1, B 2, S 3), or −1.
int vopCodingType(const AVPacket& packet)
{
    for (int at = 0; at + 4 < packet.size; ++at)
        if (packet.data[at] == 0 && packet.data[at + 1] == 0 && packet.data[at + 2] == 1 && packet.data[at + 3] == 0xb6)
            return packet.data[at + 4] >> 6;
    return -1;
}

} // namespace

TimedPacketReader::TimedPacketReader(AVFormatContext* input) : input_(input)
{
    if (std::strcmp(input->iformat->name, "avi") != 0)
        return;
    for (unsigned i = 0; i < input->nb_streams; ++i)
        if (input->streams[i]->codecpar->codec_id == AV_CODEC_ID_MPEG4 && input->streams[i]->codecpar->video_delay > 0)
            timedStream_ = int(i);
}

void TimedPacketReader::releaseGroup()
{
    if (group_.empty())
        return;
    const int64_t lastDts = group_.back()->dts;
    const bool startsWithReference = vopCodingType(*group_.front()) != kBVop;
    for (size_t i = 0; i < group_.size(); ++i) {
        AVPacket& packet = *group_[i];
        const int64_t frame = std::max<int64_t>(packet.duration, 1);
        packet.pts = i == 0 && startsWithReference ? lastDts : packet.dts - frame;
        packet.dts -= frame;
        ready_.push_back(std::move(group_[i]));
    }
    group_.clear();
}

int TimedPacketReader::read(AVPacket* packet)
{
    for (;;) {
        if (!ready_.empty()) {
            av_packet_move_ref(packet, ready_.front().get());
            ready_.pop_front();
            return 0;
        }
        if (ended_)
            return ended_;
        PacketPtr next = makePacket();
        const int ret = av_read_frame(input_, next.get());
        if (ret < 0) {
            ended_ = ret;
            releaseGroup();
            continue;
        }
        if (next->stream_index != timedStream_ || next->dts == AV_NOPTS_VALUE) {
            av_packet_move_ref(packet, next.get());
            return 0;
        }
        if (vopCodingType(*next) != kBVop)
            releaseGroup();
        group_.push_back(std::move(next));
    }
}

int TimedPacketReader::seekFrame(int streamIndex, int64_t timestamp, int flags)
{
    group_.clear();
    ready_.clear();
    ended_ = 0;
    return av_seek_frame(input_, streamIndex, timestamp, flags);
}

int TimedPacketReader::seekFile(int64_t minimum, int64_t timestamp, int64_t maximum)
{
    group_.clear();
    ready_.clear();
    ended_ = 0;
    return avformat_seek_file(input_, -1, minimum, timestamp, maximum, 0);
}
