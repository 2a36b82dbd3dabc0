#include "videoplayer.h"

#include "audiooutput.h"
#include "ffmpegptr.h"
#include "gpspass.h"
#include "localinput.h"
#include "recordingprobe.h"
#include "playerlog.h"
#include "recordinglog.h"
#include "videostate.h"

#include <QFile>

extern "C" {
#include <libavutil/cpu.h>
#include <libavutil/time.h>
}

#include <SDL.h>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

Q_LOGGING_CATEGORY(lcPlayer, "velmora.player")

int videoThreadMain(void *arg);

namespace {

constexpr int64_t kAudioQueueLimit = 409600;    // bytes: a few seconds of sound are plenty
constexpr int64_t kVideoQueueLimit = 6553600;   // bytes: about a second of 4K, several of 1080p
// Reading stops this far ahead of the pictures, as mpv's and ffplay's do:
// every second more is megabytes of packets held.
constexpr double kReadAheadSeconds = 1.0;
constexpr int kReadAheadMinPackets = 25; // however slow the frame rate
constexpr int kQueueFullSleepMs = 10;
constexpr int kMaxDecodeThreads = 16; // FFmpeg's own bound
// Paused or at the end of input the player thread waits to be woken by a
// control operation; this bound only keeps a lost wake from becoming a hang.
// Every wake costs a paused program CPU time.
constexpr int kIdleSleepMs = 5000;
constexpr int64_t kSoundRestAfterUs = 500000; // paused this long, the sound device is closed
constexpr int kSoundRestWaitMs = int(kSoundRestAfterUs / 1000) + 10;
constexpr int kWaitSliceMs = 5;                 // openFile and stop look at the threads this often
// Transport streams have no index, so a seek can land after a key frame;
// when it does, seek again this much earlier, doubling up to the limit.
constexpr int64_t kFirstSeekPreroll = 1000000;  // µs, the least after a late landing
constexpr int64_t kMaxSeekPreroll = 32000000;   // µs
constexpr int kKeyFrameSteps = 4;               // key frames a seek may step back to reach its target
constexpr int kKeyFramePeekPackets = 256;       // packets read to find the first video one after a seek
constexpr double kStepTolerance = 0.001;        // s: timestamps of pictures are exact to this

// True for an MP4/MOV whose header gave every stream the player uses all
// that its decoder needs, and the file its length.
bool headerDescribesStreams(const AVFormatContext *ic)
{
    if (std::strncmp(ic->iformat->name, "mov,", 4) != 0 || ic->duration == AV_NOPTS_VALUE)
        return false;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVCodecParameters *par = ic->streams[i]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO
            && (par->codec_id == AV_CODEC_ID_NONE || par->width <= 0 || par->height <= 0))
            return false;
        if (par->codec_type == AVMEDIA_TYPE_AUDIO
            && (par->codec_id == AV_CODEC_ID_NONE || par->sample_rate <= 0 || par->ch_layout.nb_channels <= 0))
            return false;
    }
    return true;
}

// Opens a local file into ic, which may hold a preallocated context; on
// failure ic is empty, as openLocalInput frees the context.
int openInput(FormatContextPtr &ic, const char *path)
{
    AVFormatContext *raw = ic.release();
    const int result = openLocalInput(&raw, path);
    ic.reset(raw);
    return result;
}

// The byte limits bound what a broken or outsized stream can take, the
// time bound what a normal one needs.
bool readFarEnough(const VideoState &is)
{
    const int pictures = is.videoQueue.count();
    return is.audioQueue.bytes() > kAudioQueueLimit || is.videoQueue.bytes() > kVideoQueueLimit
           || (pictures > kReadAheadMinPackets && pictures * is.frameDuration > kReadAheadSeconds);
}

// A decoder for the stream, opened; empty when it cannot be made.
CodecContextPtr openDecoder(const AVCodec *codec, const AVStream *st, bool threaded)
{
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), st->codecpar) < 0)
        return nullptr;
    ctx->pkt_timebase = st->time_base;
    if (threaded) {
        // FFmpeg's own choice is a thread more than the cores: one more
        // picture in flight (5 MB at 1080p) while the cores are busy anyway.
        ctx->thread_count = std::clamp(av_cpu_count(), 1, kMaxDecodeThreads);
        ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    }
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return nullptr;
    return ctx;
}

// Empties a queue for a seek and puts its flush marker first, ahead of the
// new position's packets.
void putFlushMarker(PacketQueue &queue, uint32_t serial)
{
    queue.flush();
    if (const PacketPtr flush = makeFlushPacket(serial))
        queue.put(flush.get());
}

// Pauses or resumes the sound device of the open file, if it has one; a
// device that rested is opened again to resume.
void pauseAudioDevice(VideoState &is, bool pause)
{
    std::lock_guard<std::mutex> lock(is.audioDeviceMutex);
    if (!pause && is.soundOutput.load() && !is.audioDeviceId.load())
        is.audioDeviceId.store(audioReopen(is));
    if (const uint32_t device = is.audioDeviceId.load()) {
        SDL_LockAudioDevice(device);
        SDL_PauseAudioDevice(device, pause ? 1 : 0);
        SDL_UnlockAudioDevice(device);
    }
}

// The GPS pass reads a whole file flat out; on a machine with few cores it
// must not take a core from the decoders or the window. Linux gives each
// thread its own nice value.
void yieldToPlayback()
{
#ifdef Q_OS_LINUX
    constexpr int kGpsPassNice = 10;
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), kGpsPassNice);
#endif
}

// Lets a blocking read of the demuxer give up once the file is being closed.
int interruptOnQuit(void *opaque)
{
    return static_cast<const VideoState *>(opaque)->quit.load() ? 1 : 0;
}

} // namespace

// Only sound and timers come from SDL; pictures are painted by Qt. On the
// thread that makes the players, before the first: SDL keeps per-thread
// state for the thread that initialises it, and a player thread per file
// would leave one behind each time.
bool initPlayback()
{
    qRegisterMetaType<VideoPlayer::PlayerState>("VideoPlayer::PlayerState");
    qRegisterMetaType<GpsData>("GpsData");
    installFfmpegLogHandler();
    // SDL would turn SIGINT and SIGTERM into a quit event nobody reads:
    // the program must still end when the desktop asks it to.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO | SDL_INIT_TIMER) < 0) {
        qCDebug(lcPlayer).noquote() << "Could not initialize SDL - " << SDL_GetError();
        return false;
    }
    return true;
}

int64_t wallClockUs()
{
    return av_gettime();
}

VideoState::VideoState()
    : audioConvertBuf(static_cast<uint8_t *>(av_malloc(kAudioConvertBufSize)))
{
}

VideoState::~VideoState()
{
    av_channel_layout_uninit(&audioSrcLayout);
    av_channel_layout_uninit(&audioTgtLayout);
}

void Waker::wake()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mWoken = true;
    }
    mCondition.notify_all();
}

void Waker::idle(int ms)
{
    std::unique_lock<std::mutex> lock(mMutex);
    mCondition.wait_for(lock, std::chrono::milliseconds(ms), [this] { return mWoken; });
    mWoken = false;
}

VideoPlayer::VideoPlayer(QObject *parent)
    : QThread(parent)
    , mState(std::make_unique<VideoState>())
    , mClock(std::make_shared<PlaybackClock>())
{
    qCDebug(lcPlayer) << "software open";
    mState->player = this;
    connect(this, &VideoPlayer::sig_OpenProgress, this, &VideoPlayer::settleOpen, Qt::QueuedConnection);
}

VideoPlayer::~VideoPlayer()
{
    if (state() != Stop)
        stop();
    joinRun();
    endGpsPass();
}

VideoPlayer::PlayerState VideoPlayer::state() const
{
    const int value = playerState.load();
    // Closing is the inside of stop(): from outside it is already stopped.
    return value == kClosing ? Stop : PlayerState(value);
}

// Waits for run() to return, which it does right after it notified: the
// atomic makes the hand-over visible to thread checkers, which cannot see
// into QThread's own wait.
void VideoPlayer::joinRun()
{
    waitForRun([this] { return !mRunActive.load(); });
    wait();
}

// Waits until done() holds: the player's threads notify every step, and the
// slice bounds a look that missed one.
void VideoPlayer::waitForRun(const std::function<bool()> &done)
{
    std::unique_lock<std::mutex> lock(mOpenMutex);
    while (!done())
        mOpenCondition.wait_for(lock, std::chrono::milliseconds(kWaitSliceMs), done);
}

void VideoPlayer::logFlags()
{
    qCDebug(lcPlayer) << "mVideoState.isPause:" << mState->isPause();
    qCDebug(lcPlayer) << "mVideoState.isPlay:" << mState->isPlay();
}

void VideoPlayer::notifyOpenWaiters(quint64 serial)
{
    // An open under way settles on the GUI thread; a stale one finds its
    // serial gone there.
    if (playerState.load() == Opening)
        emit sig_OpenProgress(serial);
    // Under the mutex, so that a waiter between its look and its wait
    // cannot miss this.
    std::lock_guard<std::mutex> lock(mOpenMutex);
    mOpenCondition.notify_all();
}

// The last the player thread does with this object: once the flag is down
// a waiter may destroy it, so the flag drops under the mutex it waits on.
void VideoPlayer::endRun(quint64 serial)
{
    if (playerState.load() == Opening)
        emit sig_OpenProgress(serial);
    std::lock_guard<std::mutex> lock(mOpenMutex);
    mRunActive = false;
    mOpenCondition.notify_all();
}

// Runs the part of the GPS pass that reads a stream beside playback. Only
// a complete track is handed on: an interrupted one belongs to a file that
// is no longer open.
void VideoPlayer::startGpsPass(quint64 serial)
{
    auto track = std::make_shared<GpsTrack>();
    qint16 version = 0;
    GpsPassResult result;
    if (!runGpsPassHeader(mFilePath, *track, version, result)) {
        emit sig_GetGpsData(GpsData{std::move(track), version, serial});
        return;
    }
    mGpsThread = std::thread([this, path = mFilePath, track = std::move(track), version, result, serial]() mutable {
        yieldToPlayback();
        runGpsPassStreams(path, *track, version, result, &mGpsInterrupt);
        if (!result.interrupted)
            emit sig_GetGpsData(GpsData{std::move(track), version, serial});
    });
}

void VideoPlayer::endGpsPass()
{
    mGpsInterrupt = true;
    if (mGpsThread.joinable())
        mGpsThread.join();
    mGpsInterrupt = false;
}

bool VideoPlayer::openFile(const QString &path)
{
    if (playerState.load() != Stop)
        return false;
    // A file that ended by itself may still be releasing: its thread must be
    // gone before it can run again; so must its GPS pass.
    joinRun();
    endGpsPass();

    mFilePath = path;
    qCDebug(lcPlayer) << "init file satrt";
    const quint64 serial = ++mSerial;
    // The last file's threads are gone and its device is closed: its state
    // goes, and this file starts from a new one.
    mState = std::make_unique<VideoState>();
    VideoState &is = *mState;
    is.player = this;
    is.serial = serial;
    is.published = mClock.get();
    is.leader = mLeader;
    is.leaderOffset = mLeaderOffset;
    is.silent = mLeader != nullptr;
    is.volume = mVolume.load();
    is.speed = mSpeed.load();
    is.wallClock.speed = mSpeed.load();
    is.extraDecodeMs = mExtraDecodeMs;
    is.extraCallbackMs = mExtraCallbackMs;
    mDuration = 0;
    mRunActive = true;
    playerState = Opening;
    // A new file stands at its start until it plays (stopped, the clock stands).
    mClock->moveTo(wallClockUs(), 0.0);
    start();
    emit sig_StateChanged(Opening);
    return true;
}

// The first picture is out, or the threads gave up on the file.
void VideoPlayer::settleOpen(quint64 serial)
{
    if (serial != mSerial.load() || playerState.load() != Opening)
        return;
    VideoState &is = *mState;
    if (is.firstFramePending.load()) {
        if (!is.readThreadFinished.load())
            return;
        joinRun();
        endGpsPass();
        is.firstFramePending = 0;
        mDuration = 0;
        playerState = Stop;
        qCDebug(lcPlayer) << "init file failed";
        emit sig_StateChanged(Stop);
        emit sig_Opened(serial, false);
        return;
    }
    is.setPlayPause(false, true);
    playerState = Pause;
    qCDebug(lcPlayer) << "init file end";
    logFlags();
    emit sig_StateChanged(Pause);
    emit sig_Opened(serial, true);
}

bool VideoPlayer::play()
{
    if (mFilePath.isEmpty()) {
        qCDebug(lcPlayer) << "no file";
        return false;
    }
    int expected = Pause;
    if (!playerState.compare_exchange_strong(expected, Playing)) {
        // Stopped: nothing is open, there is nothing to resume.
        qCDebug(lcPlayer) << (expected == Playing ? "is Playing state" : "is stop state");
        return false;
    }
    VideoState &is = *mState;
    const int64_t now = wallClockUs();
    {
        std::lock_guard<std::mutex> clock(is.clockMutex);
        is.wallClock.resume(now);
    }
    // The sound was paused, not starved: its clock is fresh again.
    is.audioClockUpdatedUs = now;
    is.audioCallbackUs = now;
    is.audioPlayUs = now;
    mClock->resume(now);
    is.setPlayPause(true, false);
    is.playerWaker.wake();
    is.videoWaker.wake();
    pauseAudioDevice(is, false);
    emit sig_StateChanged(Playing);
    logFlags();
    return true;
}

bool VideoPlayer::pause()
{
    int expected = Playing;
    // Fails when the stream has just ended by itself: the player is stopped.
    if (!playerState.compare_exchange_strong(expected, Pause)) {
        qCDebug(lcPlayer) << "not playing state";
        return false;
    }
    VideoState &is = *mState;
    const int64_t now = wallClockUs();
    {
        std::lock_guard<std::mutex> clock(is.clockMutex);
        is.wallClock.pause(now);
    }
    mClock->pause(now);
    is.setPlayPause(false, true);
    pauseAudioDevice(is, true);
    emit sig_StateChanged(Pause);
    logFlags();
    return true;
}

bool VideoPlayer::stop()
{
    int current = playerState.load();
    do {
        if (current == Stop || current == kClosing) {
            qCDebug(lcPlayer) << "is stop state";
            return false;
        }
    } while (!playerState.compare_exchange_weak(current, kClosing));

    VideoState &is = *mState;
    // Both flags clear first: the player thread then knows this is no natural end.
    is.setPlayPause(false, false);
    mClock->pause(wallClockUs());
    pauseAudioDevice(is, true);
    is.quit = 1;
    mGpsInterrupt = true;
    is.playerWaker.wake();
    is.videoWaker.wake();
    waitForRun([&is] { return is.videoThreadFinished.load() && is.readThreadFinished.load(); });
    joinRun();
    endGpsPass();
    // Whatever the threads still had on its way to the window is now stale.
    ++mSerial;
    mDuration = 0;
    playerState = Stop;
    emit sig_StateChanged(Stop);
    logFlags();
    return true;
}

void VideoPlayer::seek(qint64 position)
{
    VideoState &is = *mState;
    position = qMax<qint64>(0, position);
    is.seekRequests.post(position);
    // Followers are at the new place at once, as currentTime() is.
    mClock->moveTo(wallClockUs(), double(position) / 1e6);
    is.playerWaker.wake();
}

qint64 VideoPlayer::seekTarget() const
{
    return mState->seekRequests.lastTarget();
}

bool VideoPlayer::seekWaiting() const
{
    return mState->seekRequests.waiting();
}

void VideoPlayer::setVolume(int volume)
{
    // Above the mixer's top the sound is amplified, below 0 inverted.
    volume = qBound(0, volume, SDL_MIX_MAXVOLUME);
    mVolume = volume;
    mState->volume = volume;
}

void VideoPlayer::setSpeed(double speed)
{
    speed = SpeedClock::clampSpeed(speed, mSpeed.load());
    mSpeed = speed;
    VideoState &is = *mState;
    const int64_t now = wallClockUs();
    {
        // The wall clock goes on from where it stands; the sound follows with
        // its next chunk, and the pictures with the clocks.
        std::lock_guard<std::mutex> clock(is.clockMutex);
        is.wallClock.setSpeed(now, speed);
        is.speed = speed;
    }
    mClock->setSpeed(now, speed);
    // An idle player thread loads the tempo filter now, not at its next round.
    is.playerWaker.wake();
}

void VideoPlayer::follow(std::shared_ptr<const PlaybackClock> leader, double offsetSeconds)
{
    if (!leader || !std::isfinite(offsetSeconds))
        return;
    mLeader = leader;
    mLeaderOffset = offsetSeconds;
    VideoState &is = *mState;
    {
        std::lock_guard<std::mutex> clock(is.clockMutex);
        is.leader = std::move(leader);
        is.leaderOffset = offsetSeconds;
    }
    // Sound at a pace of its own would part from the pictures: the open
    // file goes silent, and so do the next ones.
    uint32_t device = 0;
    {
        std::lock_guard<std::mutex> lock(is.audioDeviceMutex);
        is.silent = true;
        is.soundOutput = false;
        device = is.audioDeviceId.exchange(0);
    }
    if (device)
        SDL_CloseAudioDevice(device);
}

void VideoPlayer::unfollow()
{
    mLeader.reset();
    VideoState &is = *mState;
    std::lock_guard<std::mutex> clock(is.clockMutex);
    if (!is.leader)
        return;
    // The own clock goes on from where the leader's put the pictures.
    const int64_t now = wallClockUs();
    is.wallClock.moveTo(now, is.leader->at(now) - is.leaderOffset);
    is.leader.reset();
}

void VideoPlayer::stepFrame(int direction)
{
    if (direction == 0 || playerState.load() != Pause)
        return;
    VideoState &is = *mState;
    // From the picture on its way when a step or a seek has not shown its
    // own yet (a held key), else from the one on the screen.
    const bool pending = is.seekRequests.waiting() || is.seek.load().picturePending;
    const double from = pending ? double(is.seekRequests.lastTarget()) / 1e6 : is.shownPts.load();
    const double target = from + (direction > 0 ? is.frameDuration : -is.frameDuration);
    // Nothing before the first picture. (After the last one, the paused seek
    // shows the last one again and puts the position there.)
    if (target < is.firstPicturePts.load() - kStepTolerance)
        return;
    seek(std::llround(qMax(0.0, target) * 1e6));
}

double VideoPlayer::currentTime() const
{
    const VideoState &is = *mState;
    // A seek asked for is where playback stands, also before it is made;
    // until the sound reaches it, its clock still tells the old place.
    if (const std::optional<int64_t> waiting = is.seekRequests.waitingTarget())
        return double(*waiting) / 1000000.0;
    const SeekState seek = is.seek.load();
    if (seek.dropSound && is.soundOutput.load())
        return seek.targetSeconds();
    return is.audioClock.load();
}

qint64 VideoPlayer::totalTime() const
{
    return mDuration.load();
}

void VideoPlayer::setIsMove(bool isMove)
{
    qCDebug(lcPlayer) << "isMove:" << isMove;
    mState->isMove = isMove ? 1 : 0;
}

void VideoPlayer::setExtraDecodeTime(int ms)
{
    mExtraDecodeMs = ms;
    mState->extraDecodeMs = ms;
}

void VideoPlayer::setExtraCallbackTime(int ms)
{
    mExtraCallbackMs = ms;
    mState->extraCallbackMs = ms;
}

qint64 VideoPlayer::framesShown() const
{
    return mState->framesShown.load();
}

qint64 VideoPlayer::framesDropped() const
{
    return mState->framesDropped.load();
}

qint64 VideoPlayer::longestDropRun() const
{
    return mState->longestDropRun.load();
}

int VideoPlayer::audioOutputChannels() const
{
    return mState->audioChannels.load();
}

qint64 VideoPlayer::loopRounds() const
{
    return mState->loopRounds.load();
}

qint64 VideoPlayer::audioBytesPlayed() const
{
    return mState->audioBytesPlayed.load();
}

qint64 VideoPlayer::peakVideoQueueBytes() const
{
    return mState->videoQueue.peakBytes();
}

qint64 VideoPlayer::peakAudioQueueBytes() const
{
    return mState->audioQueue.peakBytes();
}

quint32 VideoPlayer::audioDevice() const
{
    return mState->audioDeviceId.load();
}

void VideoPlayer::setOutputSize(const QSize &size)
{
    const quint64 w = quint64(qMax(0, size.width()));
    const quint64 h = quint64(qMax(0, size.height()));
    mOutputSize = (w << 32) | h;
    // A paused picture is converted again at the new size.
    mState->videoWaker.wake();
}

QSize VideoPlayer::outputSize() const
{
    const quint64 packed = mOutputSize.load();
    return QSize(int(packed >> 32), int(packed & 0xFFFFFFFFu));
}

bool VideoPlayer::probeFile(const QString &path, VideoInfo &info)
{
    return probeRecording(path, info);
}

// --- player thread -----------------------------------------------------------

void VideoPlayer::releaseFile(VideoState &is)
{
    uint32_t device = 0;
    {
        // Once the id is gone no control operation can reach the device;
        // closing it can then wait for the callback without holding anyone.
        std::lock_guard<std::mutex> lock(is.audioDeviceMutex);
        device = is.audioDeviceId.exchange(0);
    }
    if (device) {
        qCDebug(lcPlayer) << "stop SDL Audio";
        SDL_CloseAudioDevice(device);
    }
    if (is.videoThread) {
        SDL_WaitThread(is.videoThread, nullptr);
        is.videoThread = nullptr;
    }
    // The decoders and the demuxer are large: they go now, the rest of the
    // state with the next open.
    qCDebug(lcPlayer) << "close avcodec and avformat";
    is.audioCodecContext.reset();
    is.videoCodecContext.reset();
    is.audioQueue.flush();
    is.videoQueue.flush();
    is.audioStreamPtr = nullptr;
    is.videoStreamPtr = nullptr;
    is.ic.reset();
}

// A file that cannot be played ends the thread at once: release what was
// opened and leave the player stopped, so that nobody waits for it.
void VideoPlayer::finishEarly(VideoState &is)
{
    is.quit = 1;
    releaseFile(is);
    mDuration = 0;
    is.videoThreadFinished = 1;
    is.readThreadFinished = 1;
}

bool VideoPlayer::openStreams(VideoState &is, QByteArray &path)
{
    is.ic.reset(avformat_alloc_context());
    if (!is.ic)
        return false;
    // A stop ends a read that waits on a slow card.
    is.ic->interrupt_callback.callback = interruptOnQuit;
    is.ic->interrupt_callback.opaque = &is;
    if (openInput(is.ic, path.constData()) < 0) {
        qCDebug(lcPlayer) << "can't open the file.";
        return false;
    }
    AVFormatContext *ic = is.ic.get();
    // An MP4 header already describes its streams; probing them decodes a
    // picture on one thread only to learn the same (a third of the time to
    // the first picture at 1080p). Other containers are probed.
    if (!headerDescribesStreams(ic) && avformat_find_stream_info(ic, nullptr) < 0) {
        qCDebug(lcPlayer) << "Could't find stream infomation.";
        return false;
    }
    is.videoStream = recordingVideoStream(ic);
    bool silent = false;
    {
        std::lock_guard<std::mutex> lock(is.audioDeviceMutex);
        silent = is.silent;
    }
    // A follower's sound is not even read.
    for (unsigned i = 0; i < ic->nb_streams && is.audioStream < 0 && !silent; ++i) {
        if (ic->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            is.audioStream = int(i);
    }
    if (is.videoStream < 0) {
        qCDebug(lcPlayer) << "Didn't find a video stream.";
        return false;
    }
    if (is.audioStream < 0)
        qCDebug(lcPlayer) << "Didn't find a audio stream.";
    // The demuxer need not assemble what nobody plays.
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        if (int(i) != is.videoStream && int(i) != is.audioStream)
            ic->streams[i]->discard = AVDISCARD_ALL;
    }

    is.startOffsetUs = recordingStartTime(ic);

    if (is.audioStream >= 0) {
        AVStream *st = ic->streams[is.audioStream];
        const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
        if (!codec) {
            qCDebug(lcPlayer).noquote() << "ACodec not found or have been encrypted\n";
        } else if (CodecContextPtr ctx = openDecoder(codec, st, false)) {
            is.audioStreamPtr = st;
            is.audioCodecContext = std::move(ctx);
            audioOpen(is, is.audioStream);
        } else {
            qCDebug(lcPlayer) << "Could not open audio codec.";
        }
    }

    AVStream *st = ic->streams[is.videoStream];
    const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) {
        qCDebug(lcPlayer) << "vCodec not found or have been encrypted.";
        return false;
    }
    is.videoCodecContext = openDecoder(codec, st, true);
    if (!is.videoCodecContext) {
        qCDebug(lcPlayer) << "Could not open video codec.";
        return false;
    }
    is.videoStreamPtr = st;
    const AVRational rate = av_guess_frame_rate(ic, st, nullptr);
    if (rate.num > 0 && rate.den > 0)
        is.frameDuration = av_q2d(av_inv_q(rate));
    // With an index, a seek can look at the key frame it found (below);
    // without one it can only start earlier and learn by how much.
    is.seekIndexed = avformat_index_get_entries_count(st) > 0;
    // Reported once the file is known to have pictures that can be decoded,
    // so that a file that cannot be played leaves no length on the screen.
    const qint64 duration = ic->duration == AV_NOPTS_VALUE ? 0 : ic->duration;
    mDuration = duration;
    emit sig_TotalTimeChanged(duration);
    qCDebug(lcPlayer) << "is->ic->duration:" << duration;
    is.videoThread = SDL_CreateThread(videoThreadMain, "video_thread", &is);
    if (!is.videoThread) {
        qCDebug(lcPlayer) << "SDL_CreateThread failed:" << SDL_GetError();
        return false;
    }
    return true;
}

void VideoPlayer::run()
{
    // The state of this open: openFile made it before starting the thread,
    // and replaces it only once this thread is gone.
    VideoState &is = *mState;
    const quint64 serial = is.serial;
    QByteArray path = QFile::encodeName(mFilePath);

    // An MP4's GPS box is read here, before the first picture (it takes
    // under a millisecond); a GPS stream is read beside playback.
    startGpsPass(serial);
    if (!openStreams(is, path)) {
        finishEarly(is);
        endRun(serial);
        return;
    }

    const PacketPtr packet(av_packet_alloc());
    if (!packet) {
        finishEarly(is);
        endRun(serial);
        return;
    }
    demuxLoop(is, packet.get());

    // Stop sequence.
    av_packet_unref(packet.get());
    qCDebug(lcPlayer) << "stop begin";
    // stop() marks the state closing before it sets quit; a playing or
    // paused state left means the stream ended by itself. That is reported
    // before the sound device is closed (which waits for its thread): a
    // drive's next file starts that much sooner. A new open still waits for
    // this thread.
    int expected = Playing;
    bool natural = playerState.compare_exchange_strong(expected, Stop);
    if (!natural && expected == Pause)
        natural = playerState.compare_exchange_strong(expected, Stop);
    if (natural) {
        is.setPlayPause(false, false);
        mClock->pause(wallClockUs());
        mDuration = 0;
        qCDebug(lcPlayer) << "normally stop begin";
        emit sig_PlayStopNormally(serial);
    }
    releaseFile(is);
    is.readThreadFinished = 1;
    qCDebug(lcPlayer) << "stop success!!!";
    endRun(serial);
}

// Paused for a while, the sound device is closed: paused, SDL keeps feeding
// it silence, waking for every buffer. play() opens it again; a short pause
// keeps it, so that quick toggles cost nothing.
static void restSound(VideoState &is, int64_t &pausedSinceUs)
{
    const int64_t now = wallClockUs();
    if (!pausedSinceUs) {
        pausedSinceUs = now;
        return;
    }
    if (now - pausedSinceUs < kSoundRestAfterUs)
        return;
    // Closed under the lock: a play() meanwhile must not open a second
    // device whose callback would run beside the last one's. The callback
    // never takes this lock.
    std::lock_guard<std::mutex> lock(is.audioDeviceMutex);
    if (!is.isPause())
        return; // a play() came meanwhile
    if (const uint32_t device = is.audioDeviceId.exchange(0)) {
        qCDebug(lcPlayer) << "sound device rests";
        SDL_CloseAudioDevice(device);
    }
}

void VideoPlayer::demuxLoop(VideoState &is, AVPacket *packet)
{
    int64_t pausedSinceUs = 0; // this thread's first idle round of the current pause
    bool tempoTried = false;
    while (!is.quit.load()) {
        ++is.loopRounds;
        const SeekState under = is.seek.load();
        bool sought = true;
        if (const std::optional<SeekRequest> request = is.seekRequests.take()) {
            is.retryPreroll = is.seekIndexed ? 0 : is.seekPreroll;
            performSeek(is, packet, request->target, is.retryPreroll);
            is.seekRequests.finish(request->serial);
        } else if (under.late && is.seek.update(under.serial, [](SeekState &s) { s.late = false; })) {
            is.retryPreroll = qMax(kFirstSeekPreroll, 2 * is.retryPreroll);
            // Without an index the next seeks in this file start as early.
            if (!is.seekIndexed)
                is.seekPreroll = is.retryPreroll;
            qCDebug(lcPlayer) << "seek landed late, preroll now" << is.retryPreroll;
            performSeek(is, packet, under.target, is.retryPreroll);
        } else {
            sought = false;
        }
        // Here rather than in the sound callback, whose first filter would
        // otherwise wait for the library to load.
        if (!tempoTried && is.speed.load() != 1.0) {
            tempoTried = true;
            TempoFilter::preload();
        }
        const bool paused = is.isPause() && !is.seek.load().picturePending;
        if (paused)
            restSound(is, pausedSinceUs);
        else
            pausedSinceUs = 0;
        // The first wait of a pause lasts until the sound device rests.
        const int idleMs = paused && is.audioDeviceId.load() ? kSoundRestWaitMs : kIdleSleepMs;
        if (!sought && is.readFinished.load()) {
            is.playerWaker.idle(idleMs);
            continue;
        }
        // Paused, only a seek's picture needs packets: wait to be woken,
        // also when the queues are full.
        if (paused) {
            is.playerWaker.idle(idleMs);
            continue;
        }
        // A device that stopped asking for sound must not hold up the pictures.
        if (is.audioStalled.load() && is.audioQueue.count() > 0)
            is.audioQueue.flush();
        if (readFarEnough(is)) {
            is.playerWaker.idle(kQueueFullSleepMs);
            continue;
        }

        if (av_read_frame(is.ic.get(), packet) < 0) {
            if (!is.readFinished.load())
                qCDebug(lcPlayer) << "run read finish 1";
            is.readFinished = 1;
            if (is.quit.load()) {
                qCDebug(lcPlayer) << "run quit 2";
                break;
            }
            continue;
        }
        if (packet->stream_index == is.videoStream)
            is.videoQueue.put(packet);
        else if (packet->stream_index == is.audioStream && is.soundOutput.load() && !is.audioStalled.load())
            is.audioQueue.put(packet);
        av_packet_unref(packet);
    }
    if (is.quit.load())
        qCDebug(lcPlayer) << "run quit 1";
}

bool VideoPlayer::seekVideoKeyFrame(VideoState &is, AVPacket *packet, int64_t from, int64_t target)
{
    AVFormatContext *ic = is.ic.get();
    AVStream *st = ic->streams[is.videoStream];
    const auto toStream = [&](int64_t us) { return av_rescale_q(us + is.startOffsetUs, AV_TIME_BASE_Q, st->time_base); };
    const int64_t targetTs = toStream(target);
    int64_t ts = toStream(from);
    for (int step = 0; step < kKeyFrameSteps; ++step) {
        if (av_seek_frame(ic, is.videoStream, ts, AVSEEK_FLAG_BACKWARD) < 0)
            return step > 0 && av_seek_frame(ic, is.videoStream, toStream(from), AVSEEK_FLAG_BACKWARD) >= 0;
        // The key frame the index chose: the first video packet from here.
        int64_t keyPts = AV_NOPTS_VALUE;
        int64_t keyDts = AV_NOPTS_VALUE;
        for (int n = 0; n < kKeyFramePeekPackets && av_read_frame(ic, packet) >= 0; ++n) {
            const bool video = packet->stream_index == is.videoStream;
            keyPts = video ? packet->pts : keyPts;
            keyDts = video ? packet->dts : keyDts;
            av_packet_unref(packet);
            if (video)
                break;
        }
        // Indexes go by decoding time, and leading pictures of an open group
        // belong to the key frame before: a key frame after the target would
        // miss it. Then take the one before.
        if (keyPts == AV_NOPTS_VALUE || keyPts <= targetTs)
            break;
        const int64_t earlier = (keyDts != AV_NOPTS_VALUE ? qMin(keyPts, keyDts) : keyPts) - 1;
        ts = qMin(ts - 1, earlier);
    }
    // Back to the chosen point: the peeking read past it.
    return av_seek_frame(ic, is.videoStream, ts, AVSEEK_FLAG_BACKWARD) >= 0;
}

void VideoPlayer::performSeek(VideoState &is, AVPacket *packet, int64_t target, int64_t preroll)
{
    const int stream = is.videoStream >= 0 ? is.videoStream : is.audioStream;
    const int64_t from = qMax<int64_t>(0, target - preroll);

    av_packet_unref(packet);
    bool sought;
    if (stream == is.videoStream && is.seekIndexed) {
        sought = seekVideoKeyFrame(is, packet, from, target);
    } else {
        int64_t timestamp = from + is.startOffsetUs;
        if (stream >= 0)
            timestamp = av_rescale_q(timestamp, AV_TIME_BASE_Q, is.ic->streams[stream]->time_base);
        sought = av_seek_frame(is.ic.get(), stream, timestamp, AVSEEK_FLAG_BACKWARD) >= 0;
    }
    if (!sought) {
        qCDebug(lcPlayer).noquote() << QString::fromUtf8(is.ic->url) + QStringLiteral(": error while seeking.");
        // A late landing of the seek before is not tried again either.
        const SeekState before = is.seek.load();
        is.seek.update(before.serial, [](SeekState &s) { s.late = false; });
    } else {
        const bool hasAudio = is.audioStream >= 0 && is.soundOutput.load();
        SeekState seek;
        seek.target = target;
        seek.serial = PublishedSeek::nextSerial(is.seek.load().serial);
        seek.dropSound = hasAudio;
        seek.dropPictures = is.videoStream >= 0;
        seek.picturePending = is.videoStream >= 0;
        seek.canRetry = from > 0 && preroll < kMaxSeekPreroll;
        const int64_t now = wallClockUs();
        {
            // The clock and the seek change together: the video thread moves
            // the clock for a seek only while that seek is the current one.
            std::lock_guard<std::mutex> clock(is.clockMutex);
            is.wallClock.moveTo(now, seek.targetSeconds());
            is.audioClockUpdatedUs = now;
            if (!hasAudio)
                is.audioClock = seek.targetSeconds();
            // Published before the markers, so that a decoder taking a marker
            // finds the seek it belongs to; whatever the decoders still hold is
            // stale from here on.
            is.seek.publish(seek);
        }
        if (hasAudio)
            putFlushMarker(is.audioQueue, seek.serial);
        if (is.videoStream >= 0) {
            putFlushMarker(is.videoQueue, seek.serial);
            is.videoClock = 0.0;
            is.videoWaker.wake();
        }
    }
    is.readFinished = 0;
}
