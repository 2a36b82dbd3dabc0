// The video thread: decodes pictures, holds each until the playback clock
// reaches it, converts it to RGB at the output size and hands it to the GUI.

#include "catchup.h"
#include "pictureconverter.h"
#include "playerlog.h"
#include "videoplayer.h"
#include "videostate.h"

#include <SDL.h>

#include <cmath>

namespace {

// Paused, the thread waits to be woken by a control operation, a seek or a
// new output size; this bound only keeps a lost wake from becoming a hang.
constexpr int kIdleWaitMs = 5000;
constexpr int kQueueWaitMs = 10;           // wait for a packet before looking at the flags again
constexpr double kMaxClockSleepMs = 5.0;   // steps of the clock wait, so pause and seek are noticed
constexpr double kSeekTolerance = 0.001;   // s: a picture this close to the target is the target's
constexpr int64_t kAudioStarvedUs = 100000; // sound silent this long: pace pictures by the wall clock
// The device asks for a buffer every 21 ms; after this long without a call
// it is gone (unplugged, server down) and pictures keep the wall clock.
constexpr int64_t kCallbackStallUs = 200000;

// No picture is converted larger than 8K a side: beyond that the scaler's
// offsets overflow, and no screen shows more anyway.
constexpr int kMaxOutputSide = 8192;

// The largest size of the source's aspect that fits the output box, computed
// as the surface computes it, so that painting never has to rescale.
void fittedSize(int srcW, int srcH, const QSize &box, int &outW, int &outH)
{
    outW = srcW;
    outH = srcH;
    if (box.width() <= 0 || box.height() <= 0 || srcW <= 0 || srcH <= 0)
        return;
    const QSize bounded = box.boundedTo(QSize(kMaxOutputSide, kMaxOutputSide));
    const QSize fitted = QSize(srcW, srcH).scaled(bounded, Qt::KeepAspectRatio);
    outW = qMax(1, fitted.width());
    outH = qMax(1, fitted.height());
}

class VideoThread
{
public:
    explicit VideoThread(VideoState &is)
        : is(is)
        , ctx(is.videoCodecContext.get())
        , timeBase(av_q2d(is.videoStreamPtr->time_base))
        , startOffset(double(is.startOffsetUs) / 1e6)
        , catchUp(is.frameDuration)
    {
    }

    void run();

private:
    bool wantsPictures() const;
    // At the end of input: false when the stream has ended.
    bool atEndOfInput();
    // Returns false when the thread must end.
    bool receiveFrames();
    void showOrDrop();
    void settleSeek();
    void landOnLastPicture(const SeekState &seek);
    void reportLateLanding();
    double waitForClock(double pts);
    double clockNow(int64_t now) const;
    double pictureTime(const AVFrame *picture) const;
    bool deliver(const AVFrame *picture, double pts);
    bool redeliverAtNewSize();
    void applyCatchUpLevel();
    bool keepUp(double lateness);
    void reportTooSlow(bool tooSlow);

    VideoState &is;
    AVCodecContext *ctx;
    const double timeBase;
    const double startOffset;
    const PacketPtr packetOwner{av_packet_alloc()};
    const FramePtr frameOwner{av_frame_alloc()};
    // The last picture decoded for the current position: shown again at a
    // new size while paused, or when a seek asks for a place past the end.
    const FramePtr lastFrameOwner{av_frame_alloc()};
    AVPacket *const packet = packetOwner.get();
    AVFrame *const frame = frameOwner.get();
    AVFrame *const lastFrame = lastFrameOwner.get();
    double lastPts = 0.0;
    QSize lastBox;                // output size the last picture was converted for
    PictureConverter converter;
    bool checkLanding = false;    // the next picture is the first after a seek
    bool awaitingReseek = false;  // the seek landed late: drop until the next flush
    bool drained = false;         // the decoder was told the input has ended
    uint32_t serial = 0;          // the seek whose pictures are being decoded (SeekState::serial)
    bool afterSeek = false;       // no picture shown yet since the last flush
    CatchUp catchUp;
    CatchUp::Level decodeLevel = CatchUp::Full; // the decoder's path for the packets sent now
    bool reportedTooSlow = false;
    int64_t dropRun = 0;          // late pictures dropped since the last one shown
};

bool VideoThread::wantsPictures() const
{
    // Paused, only a seek's picture is shown: a drag step shows exactly its
    // target, never one more picture of the old place.
    if (is.isPause())
        return is.seek.load().picturePending;
    return is.firstFramePending.load() || is.isPlay();
}

void VideoThread::run()
{
    bool endOfStream = false;
    while (!is.quit.load()) {
        ++is.loopRounds;
        if (!wantsPictures()) {
            catchUp.restart(); // a pause is no lateness
            if (!redeliverAtNewSize())
                is.videoWaker.idle(kIdleWaitMs);
            continue;
        }
        if (!is.videoQueue.get(packet, kQueueWaitMs)) {
            // A seek on its way brings more packets: that is no end. Looked
            // at before the end of input, which a seek made since clears.
            const bool requested = is.seekRequests.waiting();
            const SeekState seek = is.seek.load();
            const bool seeking = requested || awaitingReseek || seek.late || seek.serial != serial;
            if (!seeking && is.readFinished.load() && !atEndOfInput()) {
                endOfStream = true;
                break;
            }
            continue;
        }
        if (isFlushPacket(packet)) {
            avcodec_flush_buffers(ctx);
            drained = false;
            serial = flushPacketSerial(packet);
            av_packet_unref(packet);
            av_frame_unref(lastFrame);
            checkLanding = true;
            afterSeek = true;
            awaitingReseek = false;
            catchUp.restart();
            // The flushed decoder starts at a key frame: any path will do,
            // and a seek needs the pictures after it.
            catchUp.resumeAt(0.0);
            decodeLevel = catchUp.level();
            continue;
        }
        // On the way to a seek target, pictures no other picture refers to
        // need not be decoded at all: they would be dropped anyway.
        const SeekState seek = is.seek.load();
        const bool beforeTarget = seek.serial == serial && seek.dropPictures && packet->pts != AV_NOPTS_VALUE
                                  && double(packet->pts) * timeBase - startOffset + kSeekTolerance
                                         < seek.targetSeconds();
        applyCatchUpLevel();
        // A seek's target is decoded whole, whatever it is.
        const bool landing = seek.serial == serial && (seek.dropPictures || seek.picturePending) && !beforeTarget;
        const CatchUp::Level level = landing ? CatchUp::Full : decodeLevel;
        const AVDiscard skip = level == CatchUp::KeyFramesOnly                   ? AVDISCARD_NONKEY
                               : (level >= CatchUp::SkipNonRef || beforeTarget) ? AVDISCARD_NONREF
                                                                              : AVDISCARD_DEFAULT;
        ctx->skip_frame = skip;
        ctx->skip_loop_filter = level >= CatchUp::SkipLoopFilter ? AVDISCARD_NONKEY : AVDISCARD_DEFAULT;
        const int sent = avcodec_send_packet(ctx, packet);
        av_packet_unref(packet);
        if (sent < 0)
            continue; // a packet the decoder refuses is dropped
        if (!receiveFrames())
            break;
    }
    // Whoever shows the message hears that it is over with this file.
    reportTooSlow(false);
    if (is.quit.load() && !endOfStream)
        qCDebug(lcPlayer) << "video_thread quit";
    if (!is.quit.load()) {
        qCDebug(lcPlayer) << "is->quit:" << is.quit.load();
        is.quit = 1;
    }
    is.videoThreadFinished = 1;
    // The player thread idles once the file is read: without a wake it would
    // report the end up to a second late, a gap before a drive's next file.
    is.playerWaker.wake();
    is.player->notifyOpenWaiters(is.serial);
    qCDebug(lcPlayer) << "video thread stop!!!";
}

bool VideoThread::atEndOfInput()
{
    if (!drained) {
        // The decoder still holds the last pictures: let them out.
        avcodec_send_packet(ctx, nullptr);
        drained = true;
        return receiveFrames();
    }
    const SeekState seek = is.seek.load();
    if (checkLanding && seek.canRetry) {
        // The seek gave no picture before the end: it started too late.
        reportLateLanding();
        return true;
    }
    if (is.isPause()) {
        // A paused seek past the last picture shows the last one; the
        // stream ends only while playing.
        if (seek.picturePending && lastFrame->buf[0] && deliver(lastFrame, lastPts)) {
            landOnLastPicture(seek);
            settleSeek();
        } else
            is.seek.update(serial, [](SeekState &s) { s.picturePending = false; });
        return true;
    }
    qCDebug(lcPlayer) << "video_thread read finish 1";
    return false;
}

// A paused picture is converted again when the surface changed its size.
bool VideoThread::redeliverAtNewSize()
{
    if (!is.isPause() || is.seek.load().picturePending || lastBox == is.player->outputSize())
        return false;
    if (lastFrame->buf[0]) {
        deliver(lastFrame, lastPts);
        return true;
    }
    // Paused while playing, the picture on the screen was not kept: it is
    // decoded again, by a seek to itself. A seek under way brings a picture
    // at the new size anyway.
    switch (is.seekRequests.tryPostResync(std::llround(is.shownPts.load() * 1e6))) {
    case SeekRequests::Resync::Posted:
        is.playerWaker.wake();
        return false;
    case SeekRequests::Resync::Needless:
        return false;
    case SeekRequests::Resync::Busy:
        break;
    }
    return true; // a seek was being posted: look again at once
}

double VideoThread::pictureTime(const AVFrame *picture) const
{
    return double(picture->best_effort_timestamp) * timeBase - startOffset;
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
    if (is.isPause() && !is.seek.load().picturePending)
        return; // decoded while paused and not asked for

    // Each picture is timed by its own timestamp: with B-frames the packet's
    // decoding time would show it early.
    double pts;
    if (frame->best_effort_timestamp != AV_NOPTS_VALUE) {
        pts = pictureTime(frame);
        is.videoClock = pts;
    } else {
        pts = is.videoClock.load();
    }
    is.videoClock = pts + is.frameDuration * (1.0 + frame->repeat_pict * 0.5);

    const SeekState seek = is.seek.load();
    if (awaitingReseek || serial != seek.serial)
        return; // from before the latest seek
    av_frame_unref(lastFrame);
    // Playing, the next picture comes soon enough: keeping this one as well
    // would hold one more picture (3 MB at 1080p) away from the decoder.
    if ((is.isPause() || seek.picturePending) && av_frame_ref(lastFrame, frame) >= 0)
        lastPts = pts;
    if (checkLanding) {
        checkLanding = false;
        // A whole period or more after the target, the picture before this
        // one was at or after the target too, and was missed: a step back
        // must never show the same picture again.
        if (seek.canRetry && pts + kSeekTolerance >= seek.targetSeconds() + is.frameDuration) {
            // Frames between the target and here were never decoded: seek again, earlier.
            reportLateLanding();
            return;
        }
    }
    if (seek.dropPictures) {
        if (pts + kSeekTolerance < seek.targetSeconds())
            return;
        is.seek.update(serial, [](SeekState &s) { s.dropPictures = false; });
    }

    if (const int extra = is.extraDecodeMs.load())
        SDL_Delay(Uint32(extra));
    const bool firstFrame = is.firstFramePending.load();
    // The first picture after a seek is shown whatever the clock says.
    const bool requested = seek.picturePending || afterSeek;
    const double lateness = waitForClock(pts);
    if ((is.quit.load() && !firstFrame) || serial != is.seek.load().serial)
        return;

    if (!firstFrame && !requested && !keepUp(lateness))
        return;
    if (!deliver(frame, pts)) {
        if (firstFrame) {
            // Nothing can be shown of this file: the open fails.
            qCDebug(lcPlayer) << "first picture cannot be converted";
            is.quit = 1;
        }
        ++is.framesDropped;
        return;
    }
    dropRun = 0;
    if (firstFrame) {
        is.firstPicturePts = pts;
        is.firstFramePending = 0;
        is.player->notifyOpenWaiters(is.serial);
    }
    settleSeek();
}

// The decoder takes the path the catching up asks for with the next packet.
// Key frames only end at a key frame that the clock has not reached yet,
// decoded afresh: the pictures in between refer to ones never decoded.
void VideoThread::applyCatchUpLevel()
{
    if (decodeLevel == CatchUp::KeyFramesOnly) {
        if (!(packet->flags & AV_PKT_FLAG_KEY))
            return;
        if (packet->pts != AV_NOPTS_VALUE)
            catchUp.resumeAt(clockNow(wallClockUs()) - (double(packet->pts) * timeBase - startOffset));
        if (catchUp.level() != CatchUp::KeyFramesOnly)
            avcodec_flush_buffers(ctx);
    }
    const CatchUp::Level wanted = catchUp.level();
    if (wanted == decodeLevel)
        return;
    qCDebug(lcPlayer) << "decode level" << int(decodeLevel) << "->" << int(wanted);
    decodeLevel = wanted;
}

// A picture `lateness` s behind the clock: false when it is dropped.
bool VideoThread::keepUp(double lateness)
{
    const bool show = catchUp.decide(lateness, wallClockUs());
    reportTooSlow(catchUp.tooSlow());
    if (show)
        return true;
    ++is.framesDropped;
    ++dropRun;
    if (dropRun > is.longestDropRun.load())
        is.longestDropRun = dropRun;
    return false;
}

void VideoThread::reportTooSlow(bool tooSlow)
{
    if (tooSlow == reportedTooSlow)
        return;
    reportedTooSlow = tooSlow;
    qCDebug(lcPlayer) << "decoding too slow:" << tooSlow;
    emit is.player->sig_DecodeTooSlow(tooSlow);
}

// A paused seek past the last picture showed that picture: the position is
// its place, so that a step forward from there stays, and Play starts there.
void VideoThread::landOnLastPicture(const SeekState &seek)
{
    const int64_t landed = std::llround(lastPts * 1e6);
    if (landed >= seek.target)
        return;
    const bool hasSound = is.audioStream >= 0 && is.soundOutput.load();
    // Under the clock's lock a seek is published together with its clock:
    // only this seek's clock is moved, never a newer one's.
    std::lock_guard<std::mutex> clock(is.clockMutex);
    if (!is.seek.update(serial, [landed](SeekState &s) { s.target = landed; }))
        return;
    is.wallClock.moveTo(wallClockUs(), lastPts);
    if (!hasSound)
        is.audioClock = lastPts;
}

// Only this seek's picture settles it: a seek made meanwhile still wants its own.
void VideoThread::settleSeek()
{
    is.seek.update(serial, [](SeekState &s) { s.picturePending = false; });
    afterSeek = false;
}

// The player thread seeks again, earlier; until its flush comes, pictures are dropped.
void VideoThread::reportLateLanding()
{
    awaitingReseek = true;
    is.seek.update(serial, [](SeekState &s) { s.late = true; });
    is.playerWaker.wake();
}

// The playback position now, as pictures are timed against it (s).
double VideoThread::clockNow(int64_t now) const
{
    {
        std::lock_guard<std::mutex> clock(is.clockMutex);
        if (is.leader) {
            // A follower's position is the leader's; it tells currentTime() too.
            const double position = is.leader->at(now) - is.leaderOffset;
            is.audioClock = position;
            return position;
        }
    }
    const bool hasSound = is.audioStream >= 0 && is.soundOutput.load();
    const bool seekingSound = is.seek.load().dropSound;
    if (hasSound && !is.audioStalled.load() && !seekingSound
        && now - is.audioCallbackUs.load() > kCallbackStallUs) {
        // The device stopped asking for sound: go on from where it stood by
        // the wall clock. The callback seeks back into step if it returns.
        const double stoodAt = is.audioClock.load();
        {
            std::lock_guard<std::mutex> clock(is.clockMutex);
            is.wallClock.moveTo(now, stoodAt);
        }
        is.audioStalled = 1;
        qCDebug(lcPlayer) << "sound device stalled at" << stoodAt;
    }
    double wall;
    {
        std::lock_guard<std::mutex> clock(is.clockMutex);
        wall = is.wallClock.mediaAt(now);
    }
    if (!hasSound || is.audioStalled.load()) {
        // Without sound the wall clock is the playback clock.
        is.audioClock = wall;
        return wall;
    }
    // Until the sound reaches a seek target its clock still tells the old
    // place; the wall clock, restarted at the target, tells the new one.
    if (seekingSound)
        return wall;
    const double decodedEnd = is.audioClock.load();
    const int64_t stepUs = is.audioClockUpdatedUs.load();
    if (is.audioQueue.count() == 0 && now - stepUs > kAudioStarvedUs) {
        // Sound ran dry: keep time by the wall clock from where it stopped,
        // rather than rushing or stalling the picture.
        return decodedEnd + double(now - stepUs) / 1e6 * is.speed.load();
    }
    // The sound clock steps once per device buffer (21 ms at 48 kHz), longer
    // than a picture at 60 fps: between steps it runs on with the wall clock
    // through the buffer being played, at the speed its sound was made for,
    // never past its end. Before the buffer starts, the ones queued ahead of
    // it still play: the clock is that much earlier.
    const double played =
        is.audioPlayFrom.load() + double(now - is.audioPlayUs.load()) / 1e6 * is.audioPlaySpeed.load();
    return qMin(played, is.audioPlayTo.load());
}

// Holds the picture until the playback clock reaches pts; returns how late
// the clock already was (s, 0 when the picture is shown at once).
double VideoThread::waitForClock(double pts)
{
    for (;;) {
        // Taken before the clocks are read: a change made after it drops the sample.
        const uint64_t epoch = is.published->epoch();
        const int64_t now = wallClockUs();
        if (is.isPause())
            return 0.0; // a seek's picture: shown at once
        if (is.firstFramePending.load()) {
            qCDebug(lcPlayer) << "get firset frame";
            std::lock_guard<std::mutex> clock(is.clockMutex);
            is.wallClock.moveTo(now, 0.0);
            return 0.0;
        }
        const double a = clockNow(now);
        // Until a seek asked for is made, the clocks still tell the old place.
        if (!is.seekRequests.waiting())
            is.published->track(epoch, now, a);
        if (a >= pts)
            return a - pts;
        if (serial != is.seek.load().serial)
            return 0.0; // a seek made this picture stale while it waited
        if (is.quit.load()) {
            qCDebug(lcPlayer) << "avcodec_receive_frame while quit";
            return 0.0;
        }
        // The clock runs `speed` times as fast as the wall clock.
        const double waitMs = qMin(kMaxClockSleepMs, (pts - a) * 1000.0 / is.speed.load());
        SDL_Delay(Uint32(qMax(1.0, waitMs)));
    }
}

bool VideoThread::deliver(const AVFrame *picture, double pts)
{
    const QSize box = is.player->outputSize();
    int outW = 0;
    int outH = 0;
    fittedSize(picture->width, picture->height, box, outW, outH);
    // It crosses to the GUI thread as a value; its memory comes back to the converter.
    QImage image = converter.convert(picture, outW, outH);
    if (image.isNull())
        return false;
    lastBox = box;
    is.shownPts = pts;
    // Where the picture belongs, when it went out and for which open, for
    // whoever checks sync and for a window that must drop late pictures.
    image.setText(QStringLiteral("pts"), QString::number(pts, 'f', 6));
    image.setText(QStringLiteral("clock"), QString::number(is.audioClock.load(), 'f', 6));
    image.setText(QStringLiteral("serial"), QString::number(is.serial));
    ++is.framesShown;
    emit is.player->sig_GetOneFrame(image);
    return true;
}

} // namespace

int videoThreadMain(void *arg)
{
    VideoState &is = *static_cast<VideoState *>(arg);
    VideoThread(is).run();
    return 0;
}
