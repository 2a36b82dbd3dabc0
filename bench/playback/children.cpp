// The child programs of the playback benchmark: the engine in a window
// (playback, first picture, paused seeks) and the decoding floor.

#include "children.h"

#include "gpspass.h"
#include "gpsrecord.h"
#include "myframe.h"
#include "videoplayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QPaintEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 720;
constexpr int kExposeTimeoutMs = 10000;
constexpr int kPictureTimeoutMs = 20000;  // a seek or an open that gives no picture by then failed
constexpr int kSettleMs = 300;            // idle time before and between timed seeks
constexpr double kPtsTolerance = 0.001;   // s: the picture for t carries t

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// The condition a waiting event loop is after; checked by wakeWaiter(),
// which the callbacks call whenever something it may be waiting for happened.
QEventLoop *gWaitLoop = nullptr;
std::function<bool()> gWaitDone;

void wakeWaiter()
{
    if (gWaitLoop && gWaitDone && gWaitDone())
        gWaitLoop->quit();
}

// The surface as the application uses it, plus a hook after every paint
// that had a picture, and a count of distinct pictures painted.
class TimedFrame : public MyFrame
{
public:
    std::function<void(const QImage &)> onPainted;
    qint64 picturesPainted = 0;
    qint64 paints = 0;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        MyFrame::paintEvent(event);
        const QImage shown = image();
        if (shown.isNull())
            return;
        ++paints;
        if (shown.cacheKey() != mLastKey) {
            mLastKey = shown.cacheKey();
            ++picturesPainted;
        }
        if (onPainted)
            onPainted(shown);
        wakeWaiter();
    }

private:
    qint64 mLastKey = 0;
};

bool spinUntil(const std::function<bool()> &done, int timeoutMs);

// The window of the application's player page reduced to its video surface.
struct Window
{
    QWidget top;
    TimedFrame *frame = nullptr;
    VideoPlayer player;

    Window()
    {
        auto *layout = new QVBoxLayout(&top);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        frame = new TimedFrame;
        layout->addWidget(frame);
        top.resize(kWindowWidth, kWindowHeight);
        top.setWindowTitle(QStringLiteral("velmora_bench_playback"));
        QObject::connect(frame, &MyFrame::sizeChanged, &player, &VideoPlayer::setOutputSize);
        QObject::connect(&player, &VideoPlayer::sig_GetOneFrame, frame, &MyFrame::slotGetImage);
    }

    // Shows the window and waits until it is on screen at its size.
    bool showAndWait()
    {
        top.show();
        if (!spinUntil([this] { return top.windowHandle() && top.windowHandle()->isExposed() && frame->size() == top.size(); },
                       kExposeTimeoutMs))
            return false;
        player.setOutputSize(frame->size());
        return true;
    }
};

// Runs the event loop (sleeping, not polling: the decoder needs the CPU)
// until done() or the timeout; false on timeout.
bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    // Conditions no callback reports (the window being exposed) are looked
    // at every few milliseconds; the callbacks wake the loop at once.
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &wakeWaiter);
    tick.start(5);
    gWaitLoop = &loop;
    gWaitDone = done;
    loop.exec();
    gWaitLoop = nullptr;
    gWaitDone = nullptr;
    return done();
}

void spinFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void quietLogs()
{
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    av_log_set_level(AV_LOG_ERROR);
}

double imagePts(const QImage &image)
{
    bool ok = false;
    const double pts = image.text(QStringLiteral("pts")).toDouble(&ok);
    return ok ? pts : NAN;
}

} // namespace

int runEnginePlay(int argc, char **argv, const char *path)
{
    quietLogs();
    QApplication app(argc, argv);
    Window w;
    if (!w.showAndWait()) {
        std::printf("ERROR window never exposed\n");
        return 2;
    }

    Clock::time_point openStart;
    Clock::time_point firstPaint;
    Clock::time_point playStart;
    bool painted = false;
    bool playing = false;
    // For every distinct picture painted while playing: when (ms after
    // play()) minus where it belongs (its pts). Steady playback keeps this
    // offset constant; its spread shows pictures painted late or early.
    std::vector<double> offsets;
    std::vector<double> ptsPainted;
    offsets.reserve(8192);
    ptsPainted.reserve(8192);
    qint64 lastKey = 0;
    w.frame->onPainted = [&](const QImage &image) {
        const Clock::time_point now = Clock::now();
        if (!painted) {
            painted = true;
            firstPaint = now;
        }
        if (!playing || image.cacheKey() == lastKey)
            return;
        lastKey = image.cacheKey();
        const double pts = imagePts(image);
        if (std::isnan(pts))
            return;
        offsets.push_back(msBetween(playStart, now) - pts * 1000.0);
        ptsPainted.push_back(pts);
    };

    Clock::time_point end;
    bool ended = false;
    QObject::connect(&w.player, &VideoPlayer::sig_PlayStopNormally, &app, [&] {
        end = Clock::now();
        ended = true;
        app.quit();
    });

    openStart = Clock::now();
    if (!w.player.openFile(QString::fromLocal8Bit(path))) {
        std::printf("ERROR openFile failed\n");
        return 2;
    }
    const Clock::time_point opened = Clock::now();
    const double duration = double(w.player.totalTime()) / 1e6;
    playStart = Clock::now();
    playing = true;
    w.player.play();
    QTimer::singleShot(int((duration * 2.0 + 30.0) * 1000.0), &app, [&] { app.quit(); });
    app.exec();
    if (!ended) {
        std::printf("ERROR no natural end within the time limit (shown %lld)\n",
                    static_cast<long long>(w.player.framesShown()));
        return 3;
    }
    std::printf("RESULT shown=%lld dropped=%lld painted=%lld paints=%lld\n",
                static_cast<long long>(w.player.framesShown()), static_cast<long long>(w.player.framesDropped()),
                static_cast<long long>(w.frame->picturesPainted), static_cast<long long>(w.frame->paints));
    std::printf("RESULT open_ms=%.3f first_paint_ms=%.3f play_s=%.4f duration_s=%.4f\n", msBetween(openStart, opened),
                painted ? msBetween(openStart, firstPaint) : -1.0, msBetween(playStart, end) / 1000.0, duration);
    if (offsets.size() > 2) {
        // The picture period, from the timestamps themselves.
        std::vector<double> steps;
        for (size_t i = 1; i < ptsPainted.size(); ++i)
            if (ptsPainted[i] > ptsPainted[i - 1])
                steps.push_back(ptsPainted[i] - ptsPainted[i - 1]);
        std::sort(steps.begin(), steps.end());
        const double periodMs = steps.empty() ? 0.0 : steps[steps.size() / 2] * 1000.0;
        // The playback clock (the sound device's) may run a little fast or
        // slow against the wall clock: take out the straight line through
        // the offsets, and look at what is left (the unevenness).
        const double n = double(offsets.size());
        double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
        for (size_t i = 0; i < offsets.size(); ++i) {
            sx += ptsPainted[i];
            sy += offsets[i];
            sxx += ptsPainted[i] * ptsPainted[i];
            sxy += ptsPainted[i] * offsets[i];
        }
        const double slope = (n * sxy - sx * sy) / std::max(1e-9, n * sxx - sx * sx); // ms per s
        const double intercept = (sy - slope * sx) / n;
        std::vector<double> residuals;
        qint64 late = 0;
        for (size_t i = 0; i < offsets.size(); ++i) {
            residuals.push_back(offsets[i] - (intercept + slope * ptsPainted[i]));
            if (residuals.back() > periodMs)
                ++late;
        }
        std::sort(residuals.begin(), residuals.end());
        auto at = [&](double q) { return residuals[std::min(residuals.size() - 1, size_t(q * double(residuals.size())))]; };
        std::printf("RESULT paint_drift_ms_per_s=%.3f paint_offset_p1_ms=%.3f paint_offset_p99_ms=%.3f "
                    "paint_offset_max_ms=%.3f paint_late_over_period=%lld period_ms=%.3f\n",
                    slope, at(0.01), at(0.99), residuals.back(), static_cast<long long>(late), periodMs);
    }
    std::fflush(stdout);
    return 0;
}

int runEngineFirstFrame(int argc, char **argv, const char *path, int reps)
{
    quietLogs();
    QApplication app(argc, argv);
    Window w;
    if (!w.showAndWait()) {
        std::printf("ERROR window never exposed\n");
        return 2;
    }
    bool painted = false;
    Clock::time_point firstPaint;
    w.frame->onPainted = [&](const QImage &) {
        if (!painted) {
            painted = true;
            firstPaint = Clock::now();
        }
    };
    for (int i = 0; i < reps; ++i) {
        // Start from an empty surface, as when a file is picked.
        w.frame->slotGetImage(QImage());
        spinFor(kSettleMs);
        painted = false;
        const Clock::time_point start = Clock::now();
        if (!w.player.openFile(QString::fromLocal8Bit(path))) {
            std::printf("ERROR openFile failed\n");
            return 2;
        }
        const Clock::time_point opened = Clock::now();
        if (!spinUntil([&] { return painted; }, kPictureTimeoutMs)) {
            std::printf("ERROR no picture painted after open %d\n", i);
            return 3;
        }
        std::printf("RESULT rep=%d open_ms=%.3f first_paint_ms=%.3f\n", i, msBetween(start, opened),
                    msBetween(start, firstPaint));
        std::fflush(stdout);
        w.player.stop();
    }
    return 0;
}

int runEngineSeeks(int argc, char **argv, const char *path, const char *positionsUs)
{
    quietLogs();
    QApplication app(argc, argv);
    std::vector<qint64> positions;
    for (const QString &p : QString::fromLatin1(positionsUs).split(QLatin1Char(','), Qt::SkipEmptyParts))
        positions.push_back(p.toLongLong());

    Window w;
    if (!w.showAndWait()) {
        std::printf("ERROR window never exposed\n");
        return 2;
    }
    // The first picture delivered after a seek and the first new one painted
    // (the surface's slot may paint it before this program's own slot for
    // the same signal runs: the two are matched, not ordered).
    bool armed = false;
    bool gotPicture = false;
    bool paintedPicture = false;
    qint64 keyBefore = 0;
    QImage picture;
    QImage paintedImage;
    Clock::time_point deliveredAt;
    Clock::time_point paintedAt;
    QObject::connect(&w.player, &VideoPlayer::sig_GetOneFrame, &app, [&](const QImage &image) {
        if (armed && !gotPicture) {
            gotPicture = true;
            picture = image;
            deliveredAt = Clock::now();
        }
        wakeWaiter();
    });
    w.frame->onPainted = [&](const QImage &shown) {
        if (armed && !paintedPicture && shown.cacheKey() != keyBefore) {
            paintedPicture = true;
            paintedImage = shown;
            paintedAt = Clock::now();
        }
    };

    if (!w.player.openFile(QString::fromLocal8Bit(path))) {
        std::printf("ERROR openFile failed\n");
        return 2;
    }
    spinFor(kSettleMs);
    int index = 0;
    for (const qint64 target : positions) {
        keyBefore = w.frame->image().cacheKey();
        armed = true;
        gotPicture = false;
        paintedPicture = false;
        picture = QImage();
        paintedImage = QImage();
        const Clock::time_point start = Clock::now();
        w.player.setIsMove(true);
        w.player.seek(target);
        const bool ok = spinUntil([&] { return gotPicture && paintedPicture; }, kPictureTimeoutMs);
        armed = false;
        if (!ok) {
            std::printf("RESULT seek=%d target_us=%lld timeout=1\n", index, static_cast<long long>(target));
            std::fflush(stdout);
            return 3;
        }
        const double pts = imagePts(picture);
        // The picture painted must be the one delivered, and be the target's.
        const bool exact = paintedImage.cacheKey() == picture.cacheKey() && std::fabs(pts - double(target) / 1e6) <= kPtsTolerance;
        std::printf("RESULT seek=%d target_us=%lld pts_s=%.6f exact=%d delivered_ms=%.3f painted_ms=%.3f\n", index,
                    static_cast<long long>(target), pts, exact ? 1 : 0, msBetween(start, deliveredAt),
                    msBetween(start, paintedAt));
        std::fflush(stdout);
        ++index;
        spinFor(kSettleMs);
    }
    w.player.stop();
    return 0;
}

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
