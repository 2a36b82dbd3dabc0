// The playback floors: libav* alone with the engine's decoder settings,
// what any player of the file must spend at least.

#include "bench.h"
#include "gpspass.h"

#include <QImage>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <SDL.h>

#include <cstring>

namespace bench {

namespace {

constexpr int kEngineThreads = FF_THREAD_FRAME | FF_THREAD_SLICE; // with thread_count 0: one per core, as the engine
constexpr double kPtsTolerance = 0.001;                           // s

AVCodecContext *openDecoder(const AVStream *st, int threads, int type)
{
    const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
    AVCodecContext *ctx = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(ctx, st->codecpar);
    ctx->pkt_timebase = st->time_base;
    ctx->thread_count = threads;
    ctx->thread_type = type;
    if (avcodec_open2(ctx, codec, nullptr) < 0)
        avcodec_free_context(&ctx);
    return ctx;
}

// A file with its best video stream read alone and decoded as the engine does.
struct Input
{
    AVFormatContext *ic = nullptr;
    AVCodecContext *dec = nullptr;
    int video = -1;
    ~Input()
    {
        avcodec_free_context(&dec);
        avformat_close_input(&ic);
    }
    bool open(const QString &path)
    {
        if (avformat_open_input(&ic, QFile::encodeName(path).constData(), nullptr, nullptr) < 0
            || avformat_find_stream_info(ic, nullptr) < 0
            || (video = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)) < 0
            || !(dec = openDecoder(ic->streams[video], 0, kEngineThreads)))
            return childError("cannot open " + path, false);
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            ic->streams[i]->discard = int(i) == video ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        return true;
    }
};

// Reads and decodes until the first picture: the packets it took, -1 when none came.
int decodeFirst(AVFormatContext *ic, int stream, AVCodecContext *ctx, AVFrame *frame)
{
    AVPacket *packet = av_packet_alloc();
    int sent = 0;
    for (bool eof = false; avcodec_receive_frame(ctx, frame) < 0; av_packet_unref(packet)) {
        if (eof) {
            sent = -1;
            break;
        }
        eof = av_read_frame(ic, packet) < 0;
        if (eof || packet->stream_index == stream)
            sent += avcodec_send_packet(ctx, eof ? nullptr : packet) >= 0 && !eof;
    }
    av_packet_free(&packet);
    return sent;
}

// To the engine's picture for the bench's 1280x720 surface: aspect kept, even sizes.
void convert(SwsContext *&sws, int flags, const AVFrame *f, QImage &image)
{
    const double scale = std::min(double(kWindowWidth) / f->width, double(kWindowHeight) / f->height);
    if (image.isNull())
        image = QImage(std::max(2, int(std::lround(f->width * scale)) & ~1),
                       std::max(2, int(std::lround(f->height * scale)) & ~1), QImage::Format_RGB32);
    sws = sws_getCachedContext(sws, f->width, f->height, AVPixelFormat(f->format), image.width(), image.height(),
                               AV_PIX_FMT_RGB32, flags, nullptr, nullptr, nullptr);
    uint8_t *dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int stride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(sws, f->data, f->linesize, 0, f->height, dst, stride);
}

// Every picture decoded and converted with that scaler ("none": decoding alone), as fast as possible.
int decodeFloor(const QString &file, const QString &scaler)
{
    const std::map<QString, int> scalers{
        {"bicubic", SWS_BICUBIC}, {"bilinear", SWS_BILINEAR}, {"fast_bilinear", SWS_FAST_BILINEAR}, {"none", 0}};
    Input in;
    if (!scalers.count(scaler) || !in.open(file))
        return 2;
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    SwsContext *sws = nullptr;
    QImage image;
    qint64 pictures = 0;
    double convertMs = 0.0;
    const Clock::time_point start = Clock::now();
    for (bool more = true; more;) {
        more = av_read_frame(in.ic, packet) >= 0;
        avcodec_send_packet(in.dec, more ? packet : nullptr);
        av_packet_unref(packet);
        for (; avcodec_receive_frame(in.dec, frame) >= 0; av_frame_unref(frame), ++pictures) {
            const Clock::time_point c0 = Clock::now();
            if (scalers.at(scaler))
                convert(sws, scalers.at(scaler), frame, image);
            convertMs += msSince(c0);
        }
    }
    result({{"shown", QString::number(pictures)},
            {"dropped", "0"},
            {"pictures_per_s", fixed(double(pictures) / msSince(start) * 1e3, 0)},
            {"convert_ms_per_picture", fixed(convertMs / double(std::max<qint64>(1, pictures)), 2)},
            {"out", "%1x%2"_s.arg(image.width()).arg(image.height())}});
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&packet);
    return 0;
}

// The engine's open sequence step by step: the floor of its first picture.
int openSteps(const QString &file, int reps)
{
    std::map<QString, Stats> ms;
    int packets = 0;
    for (int rep = 0; rep < reps; ++rep) {
        Clock::time_point t = Clock::now();
        const auto lap = [&](const QString &step) {
            ms[step].add(msBetween(t, Clock::now()));
            t = Clock::now();
        };
        SDL_InitSubSystem(SDL_INIT_AUDIO | SDL_INIT_TIMER);
        lap("sdl_init");
        GpsTrack track;
        qint16 version = 0;
        runGpsPass(file, track, version);
        lap("gps_pass");
        AVFormatContext *ic = nullptr;
        if (avformat_open_input(&ic, QFile::encodeName(file).constData(), nullptr, nullptr) < 0)
            return 2;
        lap("open_input");
        avformat_find_stream_info(ic, nullptr);
        lap("stream_info");
        const int video = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        const int audio = av_find_best_stream(ic, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            ic->streams[i]->discard = int(i) == video ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        AVCodecContext *sound = audio >= 0 ? openDecoder(ic->streams[audio], 1, 0) : nullptr;
        SDL_AudioSpec want{}, have{};
        want.freq = sound ? sound->sample_rate : 48000;
        want.format = AUDIO_S16SYS;
        want.channels = Uint8(sound ? sound->ch_layout.nb_channels : 2);
        want.samples = 1024;
        want.callback = [](void *, Uint8 *stream, int len) { std::memset(stream, 0, size_t(len)); };
        const SDL_AudioDeviceID device = sound ? SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0) : 0;
        lap("audio_open");
        AVCodecContext *dec = openDecoder(ic->streams[video], 0, kEngineThreads);
        lap("video_open");
        AVFrame *frame = av_frame_alloc();
        packets = decodeFirst(ic, video, dec, frame);
        lap("first_picture");
        QImage image;
        SwsContext *sws = nullptr;
        convert(sws, SWS_BICUBIC, frame, image);
        sws_freeContext(sws);
        lap("convert");
        av_frame_free(&frame);
        avcodec_free_context(&dec);
        avcodec_free_context(&sound);
        if (device)
            SDL_CloseAudioDevice(device);
        avformat_close_input(&ic);
        SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_TIMER);
    }
    Values v{{"packets", QString::number(packets)}};
    for (const auto &step : ms)
        v.insert(step.first, fixed(step.second.median(), 1));
    result(v);
    return 0;
}

// From the key frame before t to the picture for t, as the engine's paused
// seek decodes; then skipping the pictures nothing refers to, as it does.
int seekFloor(const QString &file, const QStringList &positions)
{
    Input in;
    if (!in.open(file))
        return 2;
    const AVRational base = in.ic->streams[in.video]->time_base;
    const double start = in.ic->start_time == AV_NOPTS_VALUE ? 0.0 : double(in.ic->start_time) / 1e6;
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    for (const QString &p : positions) {
        const double target = p.toDouble() / 1e6;
        for (int skip = 0; skip < 2; ++skip) {
            const Clock::time_point begin = Clock::now();
            av_seek_frame(in.ic, in.video, av_rescale_q(int64_t((target + start) * 1e6), AV_TIME_BASE_Q, base),
                          AVSEEK_FLAG_BACKWARD);
            avcodec_flush_buffers(in.dec);
            double pts = -1.0;
            for (bool eof = false; pts < 0.0;) {
                if (avcodec_receive_frame(in.dec, frame) >= 0) {
                    const double at = double(frame->best_effort_timestamp) * av_q2d(base) - start;
                    pts = at + kPtsTolerance >= target ? at : -1.0;
                    av_frame_unref(frame);
                    continue;
                }
                if (eof)
                    break;
                eof = av_read_frame(in.ic, packet) < 0;
                const double at = eof || packet->pts == AV_NOPTS_VALUE ? target : double(packet->pts) * av_q2d(base) - start;
                in.dec->skip_frame = skip && at + kPtsTolerance < target ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
                avcodec_send_packet(in.dec, eof ? nullptr : packet);
                av_packet_unref(packet);
            }
            in.dec->skip_frame = AVDISCARD_DEFAULT;
            result({{"skip_nonref", QString::number(skip)},
                    {"target_s", fixed(target, 6)},
                    {"pts_s", fixed(pts, 6)},
                    {"ms", fixed(msSince(begin), 3)}});
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    return 0;
}

} // namespace

int childFloor(const QStringList &args)
{
    const QString file = args.value(0), kind = args.value(1);
    if (kind == "decode")
        return decodeFloor(file, args.value(2));
    if (kind == "open")
        return openSteps(file, args.value(2).toInt());
    return kind == "seek" ? seekFloor(file, args.value(2).split(',', Qt::SkipEmptyParts)) : 2;
}

} // namespace bench
