// The video thread: decodes pictures, holds each until the playback clock
// reaches it, converts it to RGB at the output size and hands it to the GUI.

#include "playerlog.h"
#include "videoplayer.h"
#include "videostate.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <SDL.h>

#include <cmath>

namespace {

constexpr int kPausedSleepMs = 10;
constexpr int kQueueWaitMs = 10;           // wait for a packet before looking at the flags again
constexpr double kMaxClockSleepMs = 5.0;   // steps of the clock wait, so pause and seek are noticed
constexpr double kSeekTolerance = 0.001;   // s: a picture this close to the target is the target's
constexpr double kLateLandingFrames = 1.5; // a seek landing later than this many pictures missed its target
constexpr int64_t kAudioStarvedUs = 100000; // sound silent this long: pace pictures by the wall clock

// The largest size of the source's aspect that fits the output box, computed
// as the surface computes it, so that painting never has to rescale.
void fittedSize(int srcW, int srcH, const QSize &box, int &outW, int &outH)
{
    outW = srcW;
    outH = srcH;
    if (box.width() <= 0 || box.height() <= 0 || srcW <= 0 || srcH <= 0)
        return;
    const QSize fitted = QSize(srcW, srcH).scaled(box, Qt::KeepAspectRatio);
    outW = qMax(1, fitted.width());
    outH = qMax(1, fitted.height());
}

class VideoThread
{
public:
    explicit VideoThread(VideoState &is)
        : is(is)
        , ctx(is.videoCodecContext)
        , timeBase(av_q2d(is.videoStreamPtr->time_base))
        , startOffset(double(is.startOffsetUs) / 1e6)
    {
    }

    ~VideoThread()
    {
        av_packet_free(&packet);
        av_frame_free(&frame);
        sws_freeContext(sws);
    }

    void run();

private:
    bool wantsPictures() const;
    // Returns false when the thread must end.
    bool receiveFrames();
    void showOrDrop();
    double waitForClock(double pts);
    double clockNow(int64_t now) const;
    void deliver(double pts);

    VideoState &is;
    AVCodecContext *ctx;
    const double timeBase;
    const double startOffset;
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    SwsContext *sws = nullptr;
    bool checkLanding = false;    // the next picture is the first after a seek
    bool awaitingReseek = false;  // the seek landed late: drop until the next flush
    bool drained = false;         // the decoder was told the input has ended
    int serial = 0;               // the seek whose pictures are being decoded
    bool afterSeek = false;       // no picture shown yet since the last flush
};

bool VideoThread::wantsPictures() const
{
    if (is.isPause())
        return is.isMove.load() || is.seekFramePending.load();
    return is.firstFramePending.load() || is.isPlay() || is.isMove.load();
}

void VideoThread::run()
{
    bool endOfStream = false;
    while (!is.quit.load()) {
        if (!wantsPictures()) {
            is.videoWaker.idle(is.isPause() ? kPausedSleepMs : 1);
            continue;
        }
        // A drag step posts its seek right after asking for a picture: show
        // the new position's, not one more of the old.
        if (is.isPause() && is.seekRequest.load() && !is.seekFramePending.load()) {
            is.videoWaker.idle(kPausedSleepMs);
            continue;
        }
        if (!is.videoQueue.get(packet, kQueueWaitMs)) {
            // A seek on its way brings more packets: that is no end.
            const bool seeking = is.seekRequest.load() || is.seekLate.load() || awaitingReseek;
            if (is.readFinished.load() && !seeking) {
                if (!drained) {
                    // The decoder still holds the last pictures: let them out.
                    avcodec_send_packet(ctx, nullptr);
                    drained = true;
                    if (!receiveFrames())
                        break;
                    continue;
                }
                if (checkLanding && is.seekCanRetry.load()) {
                    // The seek gave no picture before the end: it started too late.
                    awaitingReseek = true;
                    is.seekLate = 1;
                    is.playerWaker.wake();
                    continue;
                }
                qCDebug(lcPlayer) << "video_thread read finish 1";
                endOfStream = true;
                break;
            }
            continue;
        }
        if (isFlushPacket(packet)) {
            avcodec_flush_buffers(ctx);
            drained = false;
            serial = is.seekSerial.load();
            av_packet_unref(packet);
            is.seekFlagVideo = 1;
            checkLanding = true;
            afterSeek = true;
            awaitingReseek = false;
            continue;
        }
        // On the way to a seek target, pictures no other picture refers to
        // need not be decoded at all: they would be dropped anyway.
        const bool beforeTarget = is.seekFlagVideo.load() && packet->pts != AV_NOPTS_VALUE
                                  && double(packet->pts) * timeBase - startOffset + kSeekTolerance < is.seekTime.load();
        ctx->skip_frame = beforeTarget ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        const int sent = avcodec_send_packet(ctx, packet);
        av_packet_unref(packet);
        if (sent < 0)
            continue; // a packet the decoder refuses is dropped
        if (!receiveFrames())
            break;
    }
    if (is.quit.load() && !endOfStream)
        qCDebug(lcPlayer) << "video_thread quit";
    is.seekFramePending = 0;
    if (!is.quit.load()) {
        qCDebug(lcPlayer) << "is->quit:" << is.quit.load();
        is.quit = 1;
    }
    is.videoThreadFinished = 1;
    qCDebug(lcPlayer) << "video thread stop!!!";
}

bool VideoThread::receiveFrames()
{
    while (avcodec_receive_frame(ctx, frame) >= 0) {
        if (is.quit.load()) {
            qCDebug(lcPlayer) << "avcodec_receive_frame quit";
            av_frame_unref(frame);
            return false;
        }
        showOrDrop();
        av_frame_unref(frame);
    }
    return true;
}

void VideoThread::showOrDrop()
{
    if (is.isPause() && !is.isMove.load() && !is.seekFramePending.load())
        return; // decoded while paused and not asked for

    // Each picture is timed by its own timestamp: with B-frames the packet's
    // decoding time would show it early.
    double pts;
    if (frame->best_effort_timestamp != AV_NOPTS_VALUE) {
        pts = double(frame->best_effort_timestamp) * timeBase - startOffset;
        is.videoClock = pts;
    } else {
        pts = is.videoClock.load();
    }
    is.videoClock = pts + is.frameDuration * (1.0 + frame->repeat_pict * 0.5);

    if (awaitingReseek || serial != is.seekSerial.load())
        return; // from before the latest seek
    if (checkLanding) {
        checkLanding = false;
        if (is.seekCanRetry.load() && pts > is.seekTime.load() + kLateLandingFrames * is.frameDuration) {
            // Frames between the target and here were never decoded: seek again, earlier.
            awaitingReseek = true;
            is.seekLate = 1;
            is.playerWaker.wake();
            return;
        }
    }
    if (is.seekFlagVideo.load()) {
        if (pts + kSeekTolerance < is.seekTime.load())
            return;
        is.seekFlagVideo = 0;
    }

    if (const int extra = is.extraDecodeMs.load())
        SDL_Delay(Uint32(extra));
    const bool firstFrame = is.firstFramePending.load();
    // The first picture after a seek is shown whatever the clock says.
    const bool requested = is.isMove.load() || is.seekFramePending.load() || afterSeek;
    const double lateness = waitForClock(pts);
    if ((is.quit.load() && !firstFrame) || serial != is.seekSerial.load())
        return;

    // More than a picture behind the clock: skip the conversion and catch up.
    if (!firstFrame && !requested && lateness > is.frameDuration) {
        ++is.framesDropped;
        return;
    }
    deliver(pts);
    if (firstFrame) {
        is.firstFramePending = 0;
        is.player->notifyOpenWaiters();
    }
    // Only this seek's picture settles it: a seek made meanwhile still wants its own.
    int pending = serial;
    is.seekFramePending.compare_exchange_strong(pending, 0);
    afterSeek = false;
    if (is.isMove.load())
        is.isMove = 0;
}

// The playback position now, as pictures are timed against it (s).
double VideoThread::clockNow(int64_t now) const
{
    const bool hasSound = is.audioStream >= 0 && is.audioDeviceId.load() != 0;
    const double wall = double(now - is.startTime.load()) / 1e6;
    if (!hasSound) {
        // Without sound the wall clock is the playback clock.
        is.audioClock = wall;
        return wall;
    }
    // Until the sound reaches a seek target its clock still tells the old
    // place; the wall clock, restarted at the target, tells the new one.
    if (is.seekFlagAudio.load())
        return wall;
    const double decodedEnd = is.audioClock.load();
    const double chunk = is.audioChunkDuration.load();
    const double sinceStep = qMax(0.0, double(now - is.audioClockUpdatedUs.load()) / 1e6);
    if (is.audioQueue.count() == 0 && sinceStep > kAudioStarvedUs / 1e6) {
        // Sound ran dry: keep time by the wall clock from where it stopped,
        // rather than rushing or stalling the picture.
        return decodedEnd + sinceStep;
    }
    // The sound clock steps once per device buffer (21 ms at 48 kHz), longer
    // than a picture at 60 fps: between steps it runs on with the wall clock
    // through the chunk being played, never past its end.
    return decodedEnd - chunk + qMin(sinceStep, chunk);
}

// Holds the picture until the playback clock reaches pts; returns how late
// the clock already was (s, 0 when the picture is shown at once).
double VideoThread::waitForClock(double pts)
{
    for (;;) {
        const int64_t now = wallClockUs();
        if (is.isPause() && !is.isMove.load())
            return 0.0;
        if (is.firstFramePending.load()) {
            qCDebug(lcPlayer) << "get firset frame";
            is.startTime = now;
            is.pauseStartTime = now;
            return 0.0;
        }
        if (is.isMove.load()) {
            // A picture asked for while paused: shown at once, and the
            // reported position becomes its time.
            is.audioClock = pts;
            return 0.0;
        }
        const double a = clockNow(now);
        if (a >= pts)
            return a - pts;
        if (serial != is.seekSerial.load())
            return 0.0; // a seek made this picture stale while it waited
        if (is.quit.load()) {
            qCDebug(lcPlayer) << "avcodec_receive_frame while quit";
            return 0.0;
        }
        const double waitMs = qMin(kMaxClockSleepMs, (pts - a) * 1000.0);
        SDL_Delay(Uint32(qMax(1.0, waitMs)));
    }
}

void VideoThread::deliver(double pts)
{
    int outW = 0;
    int outH = 0;
    fittedSize(frame->width, frame->height, is.player->outputSize(), outW, outH);
    // Area averaging when shrinking costs half of bicubic and looks as good;
    // bicubic for the rare picture smaller than the surface.
    const int flags = outW < frame->width ? SWS_AREA : SWS_BICUBIC;
    sws = sws_getCachedContext(sws, frame->width, frame->height, AVPixelFormat(frame->format), outW, outH,
                               AV_PIX_FMT_RGB32, flags, nullptr, nullptr, nullptr);
    if (!sws)
        return;
    // A fresh image per picture: it crosses to the GUI thread as a value.
    QImage image(outW, outH, QImage::Format_RGB32);
    if (image.isNull())
        return;
    uint8_t *dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    // Where the picture belongs and when it went out, for whoever checks sync.
    image.setText(QStringLiteral("pts"), QString::number(pts, 'f', 6));
    image.setText(QStringLiteral("clock"), QString::number(is.audioClock.load(), 'f', 6));
    ++is.framesShown;
    emit is.player->sig_GetOneFrame(image);
}

} // namespace

int videoThreadMain(void *arg)
{
    VideoState &is = *static_cast<VideoState *>(arg);
    VideoThread(is).run();
    return 0;
}
