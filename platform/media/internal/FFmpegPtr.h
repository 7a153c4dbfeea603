// Owning pointers for FFmpeg objects: each type gets a deleter that calls its library free function, so
// no FFmpeg object is ever released by hand. Any thread; the objects themselves are not thread-safe.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>

// What a program-supplied input reads from, kept behind its I/O context's opaque pointer and deleted
// with the context (IOContextDeleter).
struct CustomInputSource {
    virtual ~CustomInputSource() = default;
};
struct IOContextDeleter {
    void operator()(AVIOContext* io) const
    {
        if (!io)
            return;
        delete static_cast<CustomInputSource*>(io->opaque);
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
using IOContextPtr = std::unique_ptr<AVIOContext, IOContextDeleter>;
struct InputFormatContextDeleter {
    void operator()(AVFormatContext* ctx) const
    {
        // Input the program supplied itself is not the format context's to free; it goes after the context.
        const IOContextPtr custom(ctx && (ctx->flags & AVFMT_FLAG_CUSTOM_IO) ? ctx->pb : nullptr);
        avformat_close_input(&ctx);
    }
};
// A format context allocated and not yet opened (avformat_open_input frees it when it fails).
struct AllocatedFormatContextDeleter {
    void operator()(AVFormatContext* ctx) const { avformat_free_context(ctx); }
};
struct BufferDeleter {
    void operator()(void* buffer) const { av_free(buffer); }
};
struct OutputFormatContextDeleter {
    void operator()(AVFormatContext* ctx) const
    {
        if (ctx && ctx->pb && !(ctx->oformat->flags & AVFMT_NOFILE))
            avio_closep(&ctx->pb);
        avformat_free_context(ctx);
    }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct SwsContextDeleter {
    void operator()(SwsContext* ctx) const { sws_freeContext(ctx); }
};
struct SwrContextDeleter {
    void operator()(SwrContext* ctx) const { swr_free(&ctx); }
};
struct CodecParametersDeleter {
    void operator()(AVCodecParameters* parameters) const { avcodec_parameters_free(&parameters); }
};
struct AudioFifoDeleter {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

using InputFormatContextPtr = std::unique_ptr<AVFormatContext, InputFormatContextDeleter>;
using OutputFormatContextPtr = std::unique_ptr<AVFormatContext, OutputFormatContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

// Options for an FFmpeg open call, which takes the entries it uses; the rest go with the dictionary.
struct Dictionary {
    AVDictionary* entries = nullptr;
    Dictionary() = default;
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
    ~Dictionary() { av_dict_free(&entries); }
    void set(const char* key, const char* value) { av_dict_set(&entries, key, value, 0); }
};

// A channel layout that releases what it holds.
struct ChannelLayout {
    AVChannelLayout layout{};
    ChannelLayout() = default;
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;
    ~ChannelLayout() { av_channel_layout_uninit(&layout); }
    void assign(const AVChannelLayout& other)
    {
        av_channel_layout_uninit(&layout);
        av_channel_layout_copy(&layout, &other);
    }
};

inline FramePtr makeFrame() { return FramePtr(av_frame_alloc()); }
inline PacketPtr makePacket() { return PacketPtr(av_packet_alloc()); }
