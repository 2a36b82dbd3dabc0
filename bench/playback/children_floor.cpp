// The floors of the playback benchmark, outside the engine: decoding and
// conversion as fast as possible, the open sequence step by step, the
// decoding part of a paused seek, the conversion alone.

#include "children.h"

#include "benchtext.h"
#include "enginewindow.h"
#include "gpspass.h"
#include "gpsrecord.h"

#include <QImage>
#include <QLoggingCategory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

using namespace bench;

namespace {

constexpr double kPtsTolerance = 0.001; // s: the picture for t carries t

} // namespace

int runDecodeFloor(const char *path, const char *scaler, int threads)
{
    av_log_set_level(AV_LOG_ERROR);
    int flags = SWS_BICUBIC;
    bool convert = true;
    if (!std::strcmp(scaler, "bilinear"))
        flags = SWS_BILINEAR;
    else if (!std::strcmp(scaler, "fast_bilinear"))
        flags = SWS_FAST_BILINEAR;
    else if (!std::strcmp(scaler, "point"))
        flags = SWS_POINT;
    else if (!std::strcmp(scaler, "none"))
        convert = false;
    else if (std::strcmp(scaler, "bicubic") != 0) {
        std::printf("ERROR unknown scaler %s\n", scaler);
        return 2;
    }

    AVFormatContext *ic = nullptr;
    if (avformat_open_input(&ic, path, nullptr, nullptr) < 0 || avformat_find_stream_info(ic, nullptr) < 0) {
        std::printf("ERROR cannot open %s\n", path);
        return 2;
    }
    const int stream = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) {
        std::printf("ERROR no video\n");
        return 2;
    }
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        ic->streams[i]->discard = int(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    AVStream *st = ic->streams[stream];
    const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
    AVCodecContext *ctx = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(ctx, st->codecpar);
    ctx->pkt_timebase = st->time_base;
    ctx->thread_count = threads; // as the engine: 0 = one per core
    ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        std::printf("ERROR cannot open the decoder\n");
        return 2;
    }

    // The engine's output size for a 1280x720 surface.
    const double scale = std::min(double(kWindowWidth) / st->codecpar->width, double(kWindowHeight) / st->codecpar->height);
    const int outW = std::max(2, int(std::lround(st->codecpar->width * scale)) & ~1);
    const int outH = std::max(2, int(std::lround(st->codecpar->height * scale)) & ~1);
    const int stride = outW * 4;
    uint8_t *picture = static_cast<uint8_t *>(av_malloc(size_t(stride) * size_t(outH)));
    std::memset(picture, 0, size_t(stride) * size_t(outH));
    SwsContext *sws = nullptr;

    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    qint64 frames = 0;
    double convertSeconds = 0.0;
    const Clock::time_point start = Clock::now();
    auto drain = [&] {
        while (avcodec_receive_frame(ctx, frame) >= 0) {
            ++frames;
            if (convert) {
                const Clock::time_point c0 = Clock::now();
                sws = sws_getCachedContext(sws, frame->width, frame->height, AVPixelFormat(frame->format), outW, outH,
                                           AV_PIX_FMT_RGB32, flags, nullptr, nullptr, nullptr);
                uint8_t *dst[4] = {picture, nullptr, nullptr, nullptr};
                int dstStride[4] = {stride, 0, 0, 0};
                sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
                convertSeconds += std::chrono::duration<double>(Clock::now() - c0).count();
            }
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(ic, packet) >= 0) {
        if (packet->stream_index == stream)
            avcodec_send_packet(ctx, packet);
        av_packet_unref(packet);
        drain();
    }
    avcodec_send_packet(ctx, nullptr);
    drain();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("RESULT frames=%lld wall_s=%.4f convert_s=%.4f out=%dx%d\n", static_cast<long long>(frames), wall,
                convertSeconds, outW, outH);
    std::fflush(stdout);
    sws_freeContext(sws);
    av_free(picture);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    avformat_close_input(&ic);
    return 0;
}

// --- Floors for the first picture and for seeks -----------------------------------

namespace {

struct Decoder
{
    AVCodecContext *ctx = nullptr;
    ~Decoder() { avcodec_free_context(&ctx); }
};

// threads: 0 = one per core (the engine); type: FF_THREAD_* flags.
bool openVideoDecoder(AVFormatContext *ic, int stream, int threads, int type, Decoder &d)
{
    AVStream *st = ic->streams[stream];
    const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
    d.ctx = avcodec_alloc_context3(codec);
    if (!d.ctx || avcodec_parameters_to_context(d.ctx, st->codecpar) < 0)
        return false;
    d.ctx->pkt_timebase = st->time_base;
    d.ctx->thread_count = threads;
    d.ctx->thread_type = type;
    return avcodec_open2(d.ctx, codec, nullptr) >= 0;
}

// Reads and decodes until the first picture; the packets it took, -1 on failure.
int decodeFirstPicture(AVFormatContext *ic, int stream, AVCodecContext *ctx, AVFrame *frame)
{
    AVPacket *packet = av_packet_alloc();
    int sent = 0;
    int result = -1;
    bool eof = false;
    while (result < 0) {
        if (avcodec_receive_frame(ctx, frame) >= 0) {
            result = sent;
            break;
        }
        if (eof)
            break;
        if (av_read_frame(ic, packet) < 0) {
            avcodec_send_packet(ctx, nullptr);
            eof = true;
            continue;
        }
        if (packet->stream_index == stream) {
            avcodec_send_packet(ctx, packet);
            ++sent;
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return result;
}

double medianOf(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int runOpenSteps(const char *path, int reps)
{
    av_log_set_level(AV_LOG_ERROR);
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    const char *names[] = {"sdl_init", "gps_pass", "open_input", "stream_info", "audio_open", "video_open",
                           "first_picture", "convert", "first_picture_1thread", "first_picture_slice",
                           "first_picture_lowdelay", "no_info_total", "convert_fast_bilinear"};
    constexpr int kSteps = 13;
    std::vector<double> times[kSteps];
    int packets[5] = {0, 0, 0, 0, 0};
    int64_t noInfoDuration = AV_NOPTS_VALUE; // what the engine reads as the length, without stream info
    for (int rep = 0; rep < reps; ++rep) {
        Clock::time_point t = Clock::now();
        auto lap = [&](int step) {
            const Clock::time_point now = Clock::now();
            times[step].push_back(msBetween(t, now));
            t = now;
        };
        SDL_InitSubSystem(SDL_INIT_AUDIO | SDL_INIT_TIMER);
        lap(0);
        GpsTrack track;
        qint16 version = 0;
        runGpsPass(QString::fromLocal8Bit(path), track, version);
        lap(1);
        AVFormatContext *ic = nullptr;
        if (avformat_open_input(&ic, path, nullptr, nullptr) < 0) {
            std::printf("ERROR cannot open %s\n", path);
            return 2;
        }
        lap(2);
        avformat_find_stream_info(ic, nullptr);
        lap(3);
        const int video = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        const int audio = av_find_best_stream(ic, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            if (int(i) != video && int(i) != audio)
                ic->streams[i]->discard = AVDISCARD_ALL;
        Decoder sound;
        SDL_AudioDeviceID device = 0;
        if (audio >= 0) {
            AVStream *st = ic->streams[audio];
            const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
            sound.ctx = avcodec_alloc_context3(codec);
            avcodec_parameters_to_context(sound.ctx, st->codecpar);
            avcodec_open2(sound.ctx, codec, nullptr);
            SDL_AudioSpec want{};
            SDL_AudioSpec have{};
            want.freq = sound.ctx->sample_rate;
            want.format = AUDIO_S16SYS;
            want.channels = Uint8(sound.ctx->ch_layout.nb_channels);
            want.samples = 1024;
            want.callback = [](void *, Uint8 *stream, int len) { std::memset(stream, 0, size_t(len)); };
            device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        }
        lap(4);
        Decoder pictures;
        if (video < 0 || !openVideoDecoder(ic, video, 0, FF_THREAD_FRAME | FF_THREAD_SLICE, pictures)) {
            std::printf("ERROR cannot open the video decoder\n");
            return 2;
        }
        lap(5);
        AVFrame *frame = av_frame_alloc();
        ic->streams[audio >= 0 ? audio : video]->discard = audio >= 0 ? AVDISCARD_ALL : AVDISCARD_DEFAULT;
        packets[0] = decodeFirstPicture(ic, video, pictures.ctx, frame);
        lap(6);
        // The first picture converted to the window's size, with two scalers.
        const auto convertOnce = [&](int flags) {
            const double scale = std::min(double(kWindowWidth) / frame->width, double(kWindowHeight) / frame->height);
            const int outW = std::max(2, int(std::lround(frame->width * scale)) & ~1);
            const int outH = std::max(2, int(std::lround(frame->height * scale)) & ~1);
            SwsContext *sws = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), outW, outH,
                                             AV_PIX_FMT_RGB32, flags, nullptr, nullptr, nullptr);
            QImage image(outW, outH, QImage::Format_RGB32);
            uint8_t *dst[4] = {image.bits(), nullptr, nullptr, nullptr};
            int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
            sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
            sws_freeContext(sws);
        };
        convertOnce(SWS_BICUBIC);
        lap(7);
        convertOnce(SWS_FAST_BILINEAR);
        lap(12);
        const double firstPts = double(frame->best_effort_timestamp);
        av_frame_unref(frame);
        // The same first picture with other decoder threading; the last one
        // decodes the key picture alone (right for the first picture of a
        // file, whose key picture is also the first shown).
        const int variants[3][3] = {{1, FF_THREAD_FRAME, 0}, {0, FF_THREAD_SLICE, 0}, {1, FF_THREAD_FRAME, 1}};
        for (int v = 0; v < 3; ++v) {
            av_seek_frame(ic, video, 0, AVSEEK_FLAG_BACKWARD);
            t = Clock::now();
            Decoder other;
            if (variants[v][2]) {
                // Slice threads only (wavefronts in HEVC); the key packet, then
                // end of input: the decoder hands its picture out at once
                // instead of holding it for reordering.
                openVideoDecoder(ic, video, 0, FF_THREAD_SLICE, other);
                AVPacket *key = av_packet_alloc();
                while (av_read_frame(ic, key) >= 0 && key->stream_index != video)
                    av_packet_unref(key);
                avcodec_send_packet(other.ctx, key);
                av_packet_free(&key);
                avcodec_send_packet(other.ctx, nullptr);
                packets[1 + v] = avcodec_receive_frame(other.ctx, frame) >= 0 ? 1 : -1;
            } else {
                openVideoDecoder(ic, video, variants[v][0], variants[v][1], other);
                packets[1 + v] = decodeFirstPicture(ic, video, other.ctx, frame);
            }
            lap(8 + v);
            if (variants[v][2] && double(frame->best_effort_timestamp) != firstPts)
                packets[1 + v] = -1; // a different picture: not usable
            av_frame_unref(frame);
        }
        // Without avformat_find_stream_info: the MP4 header alone.
        {
            t = Clock::now();
            AVFormatContext *bare = nullptr;
            if (avformat_open_input(&bare, path, nullptr, nullptr) == 0) {
                noInfoDuration = bare->duration;
                const int v = av_find_best_stream(bare, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
                Decoder plain;
                if (v >= 0 && openVideoDecoder(bare, v, 0, FF_THREAD_FRAME | FF_THREAD_SLICE, plain)) {
                    for (unsigned i = 0; i < bare->nb_streams; ++i)
                        bare->streams[i]->discard = int(i) == v ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
                    packets[4] = decodeFirstPicture(bare, v, plain.ctx, frame);
                    av_frame_unref(frame);
                }
                avformat_close_input(&bare);
            }
            lap(11);
        }
        av_frame_free(&frame);
        if (device)
            SDL_CloseAudioDevice(device);
        avformat_close_input(&ic);
        SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_TIMER);
    }
    std::printf("RESULT");
    for (int i = 0; i < kSteps; ++i)
        std::printf(" %s_ms=%.3f", names[i], medianOf(times[i]));
    std::printf(" packets=%d packets_1thread=%d packets_slice=%d packets_lowdelay=%d packets_no_info=%d no_info_duration_us=%lld\n",
                packets[0], packets[1], packets[2], packets[3], packets[4], static_cast<long long>(noInfoDuration));
    std::fflush(stdout);
    return 0;
}

int runSeekFloor(const char *path, const char *positionsUs)
{
    av_log_set_level(AV_LOG_ERROR);
    AVFormatContext *ic = nullptr;
    if (avformat_open_input(&ic, path, nullptr, nullptr) < 0 || avformat_find_stream_info(ic, nullptr) < 0) {
        std::printf("ERROR cannot open %s\n", path);
        return 2;
    }
    const int stream = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        ic->streams[i]->discard = int(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    AVStream *st = ic->streams[stream];
    const double timeBase = av_q2d(st->time_base);
    const double start = ic->start_time == AV_NOPTS_VALUE ? 0.0 : double(ic->start_time) / 1e6;
    Decoder d;
    if (!openVideoDecoder(ic, stream, 0, FF_THREAD_FRAME | FF_THREAD_SLICE, d)) {
        std::printf("ERROR cannot open the decoder\n");
        return 2;
    }
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    int index = 0;
    for (const QString &p : QString::fromLatin1(positionsUs).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const double target = p.toLongLong() / 1e6;
        for (int skip = 0; skip < 2; ++skip) {
            const Clock::time_point begin = Clock::now();
            av_seek_frame(ic, stream, av_rescale_q(int64_t((target + start) * 1e6), AV_TIME_BASE_Q, st->time_base),
                          AVSEEK_FLAG_BACKWARD);
            avcodec_flush_buffers(d.ctx);
            int decoded = 0;
            int sent = 0;
            double pts = -1.0;
            bool eof = false;
            while (pts < 0.0) {
                if (avcodec_receive_frame(d.ctx, frame) >= 0) {
                    ++decoded;
                    const double at = double(frame->best_effort_timestamp) * timeBase - start;
                    av_frame_unref(frame);
                    if (at + kPtsTolerance >= target)
                        pts = at;
                    continue;
                }
                if (eof)
                    break;
                if (av_read_frame(ic, packet) < 0) {
                    avcodec_send_packet(d.ctx, nullptr);
                    eof = true;
                    continue;
                }
                if (packet->stream_index == stream) {
                    // Pictures before the target are never shown: the
                    // decoder may leave out those nothing refers to.
                    const double packetPts = packet->pts == AV_NOPTS_VALUE ? target : double(packet->pts) * timeBase - start;
                    d.ctx->skip_frame = skip && packetPts + kPtsTolerance < target ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
                    avcodec_send_packet(d.ctx, packet);
                    ++sent;
                }
                av_packet_unref(packet);
            }
            d.ctx->skip_frame = AVDISCARD_DEFAULT;
            std::printf("RESULT seek=%d skip_nonref=%d target_s=%.6f pts_s=%.6f ms=%.3f packets=%d pictures=%d\n", index, skip,
                        target, pts, msBetween(begin, Clock::now()), sent, decoded);
        }
        ++index;
    }
    std::fflush(stdout);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&ic);
    return 0;
}

int runConvertCost(const char *path, int pictures)
{
    av_log_set_level(AV_LOG_ERROR);
    AVFormatContext *ic = nullptr;
    if (avformat_open_input(&ic, path, nullptr, nullptr) < 0 || avformat_find_stream_info(ic, nullptr) < 0) {
        std::printf("ERROR cannot open %s\n", path);
        return 2;
    }
    const int stream = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        ic->streams[i]->discard = int(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    Decoder d;
    if (stream < 0 || !openVideoDecoder(ic, stream, 0, FF_THREAD_FRAME | FF_THREAD_SLICE, d)) {
        std::printf("ERROR cannot open the decoder\n");
        return 2;
    }
    // Keep a handful of decoded pictures (the grain makes every one different).
    std::vector<AVFrame *> kept;
    AVPacket *packet = av_packet_alloc();
    while (int(kept.size()) < pictures && av_read_frame(ic, packet) >= 0) {
        if (packet->stream_index == stream)
            avcodec_send_packet(d.ctx, packet);
        av_packet_unref(packet);
        AVFrame *frame = av_frame_alloc();
        while (int(kept.size()) < pictures && avcodec_receive_frame(d.ctx, frame) >= 0) {
            kept.push_back(frame);
            frame = av_frame_alloc();
        }
        av_frame_free(&frame);
    }
    av_packet_free(&packet);
    if (kept.empty()) {
        std::printf("ERROR no pictures\n");
        return 2;
    }
    const AVFrame *first = kept.front();
    const double scale = std::min(double(kWindowWidth) / first->width, double(kWindowHeight) / first->height);
    const int outW = std::max(2, int(std::lround(first->width * scale)) & ~1);
    const int outH = std::max(2, int(std::lround(first->height * scale)) & ~1);
    QImage image(outW, outH, QImage::Format_RGB32);
    image.fill(0);
    const struct
    {
        const char *name;
        int flags;
    } scalers[] = {{"bicubic", SWS_BICUBIC}, {"bilinear", SWS_BILINEAR}, {"fast_bilinear", SWS_FAST_BILINEAR},
                   {"area", SWS_AREA}, {"point", SWS_POINT}};
    auto threadCpu = [] {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
    };
    std::printf("RESULT convert_pictures=%d convert_out=%dx%d", int(kept.size()), outW, outH);
    for (const auto &s : scalers) {
        SwsContext *sws = sws_getContext(first->width, first->height, AVPixelFormat(first->format), outW, outH,
                                         AV_PIX_FMT_RGB32, s.flags, nullptr, nullptr, nullptr);
        uint8_t *dst[4] = {image.bits(), nullptr, nullptr, nullptr};
        int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
        for (const AVFrame *f : kept) // warm up
            sws_scale(sws, f->data, f->linesize, 0, f->height, dst, dstStride);
        constexpr int kRounds = 3;
        const double c0 = threadCpu();
        for (int round = 0; round < kRounds; ++round)
            for (const AVFrame *f : kept)
                sws_scale(sws, f->data, f->linesize, 0, f->height, dst, dstStride);
        const double perPicture = (threadCpu() - c0) / double(kRounds * kept.size());
        sws_freeContext(sws);
        std::printf(" convert_%s_ms=%.3f", s.name, perPicture * 1000.0);
    }
    std::printf("\n");
    std::fflush(stdout);
    for (AVFrame *f : kept)
        av_frame_free(&f);
    avformat_close_input(&ic);
    return 0;
}
