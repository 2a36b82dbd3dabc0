#pragma once

// Owners of FFmpeg's contexts, frames, packets and buffers: each is freed by
// its own free function when its owner goes, on every path.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <memory>

struct FormatContextDeleter
{
    void operator()(AVFormatContext *ic) const { avformat_close_input(&ic); }
};

struct CodecContextDeleter
{
    void operator()(AVCodecContext *ctx) const { avcodec_free_context(&ctx); }
};

struct FrameDeleter
{
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};

struct PacketDeleter
{
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};

struct SwrContextDeleter
{
    void operator()(SwrContext *swr) const { swr_free(&swr); }
};

struct SwsContextDeleter
{
    void operator()(SwsContext *sws) const { sws_freeContext(sws); }
};

// Memory from av_malloc.
struct AvFreeDeleter
{
    void operator()(void *memory) const { av_free(memory); }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using AvBufferPtr = std::unique_ptr<uint8_t, AvFreeDeleter>;
