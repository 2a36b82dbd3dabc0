#pragma once

#include "ffmpegptr.h"
#include "packetqueue.h"
#include "playbackclock.h"
#include "seek.h"
#include "speedclock.h"
#include "tempofilter.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

struct AVStream;
struct SDL_Thread;
class VideoPlayer;

// A thread idles on it until another wakes it.
class Waker
{
public:
    void wake();
    // Waits up to ms milliseconds, less when woken (also by a wake that came
    // since the last wait).
    void idle(int ms);

private:
    std::mutex mMutex;
    std::condition_variable mCondition;
    bool mWoken = false; // guarded by mMutex
};

// Size of the sample converter's output buffer, in bytes.
constexpr int kAudioConvertBufSize = 768000;

// The playback state of one open file, shared by the player thread, the
// video thread, the audio callback and the control operations. Each open
// makes a new one; it goes once the audio device is closed and the threads
// of its open are gone. Everything another thread may touch is atomic or
// guarded as noted; the rest belongs to one thread, as noted.
// What a sound device was opened with, to open it again alike.
struct AudioDeviceSpec
{
    int freq = 0;
    int channels = 0;
    int samples = 0;
};

struct VideoState
{
    VideoState();
    ~VideoState();
    VideoState(const VideoState &) = delete;
    VideoState &operator=(const VideoState &) = delete;

    // isPlay and isPause always change together, in one store.
    bool isPlay() const { return playPause.load() & kPlayBit; }
    bool isPause() const { return playPause.load() & kPauseBit; }
    void setPlayPause(bool play, bool pause) { playPause.store(uint8_t((play ? kPlayBit : 0) | (pause ? kPauseBit : 0))); }

    static constexpr uint8_t kPlayBit = 1;
    static constexpr uint8_t kPauseBit = 2;

    // --- set up by openFile before the player thread starts -----------------
    VideoPlayer *player = nullptr;
    uint64_t serial = 0;              // the open these pictures belong to (VideoPlayer::serial)
    PlaybackClock *published = nullptr; // the player's clock (VideoPlayer::clock), kept in step by the video thread

    // --- set up by the player thread before the decoding threads start ----
    FormatContextPtr ic;
    int videoStream = -1;
    int audioStream = -1;
    int64_t startOffsetUs = 0;        // the container's start time: positions count from it
    double frameDuration = 1.0 / 25;  // s, nominal time between pictures

    // --- audio (audio callback thread once the device runs) ----------------
    FramePtr audioFrame;
    PacketQueue audioQueue;
    AVStream *audioStreamPtr = nullptr;
    CodecContextPtr audioCodecContext;
    uint32_t audioBufSize = 0;        // bytes in the current output chunk
    uint32_t audioBufIndex = 0;       // bytes of the chunk already handed to the device
    PacketPtr audioPacket;            // working packet of the audio decoding
    uint32_t audioSerial = 0;         // the seek whose sound is being decoded (SeekState::serial)
    const uint8_t *audioBuf = nullptr;
    AvBufferPtr audioConvertBuf;      // kAudioConvertBufSize bytes, 16-byte aligned
    AVSampleFormat audioSrcFormat = AV_SAMPLE_FMT_NONE;
    AVSampleFormat audioTgtFormat = AV_SAMPLE_FMT_S16;
    AVChannelLayout audioSrcLayout{};
    AVChannelLayout audioTgtLayout{};
    int audioSrcRate = 0;             // Hz
    int audioTgtRate = 0;             // Hz
    SwrContextPtr swrContext;         // absent while the decoder's output matches the device
    // Away from 1x the sound goes through a tempo filter; a filter that ends
    // its stretch (new speed, gap) is drained before the next one plays.
    std::unique_ptr<TempoFilter> tempo;
    std::unique_ptr<TempoFilter> tempoRetiring;
    std::vector<uint8_t> tempoCarry;  // what the retired stretch's sound missed, device format
    double tempoCarryBegin = 0.0;     // media s at its start
    bool tempoCarries = false;        // the retired stretch hands back what it missed (a new speed)
    bool tempoFailed = false;         // no filter could be made: sound plays unchanged
    int audioHwBufSize = 0;           // bytes of the device buffer
    std::atomic<int> audioChannels{0}; // channels of the open device
    double audioBufBegin = 0.0;       // media s at the start of the chunk in audioBuf
    double audioBufEnd = 0.0;         // media s at its end
    double audioBufSpeed = 1.0;       // media s per played s of the chunk
    uint32_t audioSeekReached = 0;    // 1 + serial of the seek whose sound a new chunk starts; 0 for none
    // The sound the device took last: played from the wall time of that call
    // on, from the media time of its first sample up to that of its last, at
    // its speed. The pictures are timed against it.
    std::atomic<int64_t> audioPlayUs{0};
    std::atomic<double> audioPlayFrom{0.0};
    std::atomic<double> audioPlayTo{0.0};
    std::atomic<double> audioPlaySpeed{1.0};
    std::atomic<int64_t> audioCallbackUs{0};     // wall time (µs) the device last asked for sound
    int64_t audioQueuedUntilUs = 0;   // wall time (µs) the buffers handed to the device so far end playing
    std::atomic<uint8_t> audioStalled{0};        // the device stopped asking: pictures keep the wall clock

    // --- video (video thread) ----------------------------------------------
    CodecContextPtr videoCodecContext;
    AVStream *videoStreamPtr = nullptr;
    PacketQueue videoQueue;

    // --- clocks --------------------------------------------------------------
    std::atomic<double> audioClock{0.0};     // s: end of the last decoded sound, or the wall clock without sound
    std::atomic<int64_t> audioClockUpdatedUs{0}; // wall time (µs) of the last audio clock step
    std::atomic<double> videoClock{0.0};     // s: predicted time of the next picture
    std::atomic<double> shownPts{0.0};       // s: the last picture delivered
    std::atomic<double> firstPicturePts{0.0}; // s: the file's first picture (delivered by the open)
    // The position by the wall clock: what pictures follow without sound,
    // while a seek waits for its sound or after the sound device stalled.
    // Paused, stopped or playing at `speed`. Guarded by clockMutex.
    SpeedClock wallClock;
    // Held while wallClock is read or changed (and while a seek that moves
    // it is published). Only ever for a few stores, never while waiting.
    std::mutex clockMutex;
    std::atomic<double> speed{1.0};          // playback speed asked for (SpeedClock::clampSpeed)
    // The clock of the player this one follows (null: none), and where this
    // file's 0 lies on it (s). Guarded by clockMutex.
    std::shared_ptr<const PlaybackClock> leader;
    double leaderOffset = 0.0;

    // --- seeking -------------------------------------------------------------
    SeekRequests seekRequests;        // asked for by seek() and the audio callback, taken by the player thread
    PublishedSeek seek;               // the seek under way, for the decoders
    // Player thread only:
    bool seekIndexed = false;         // the video stream has an index of key frames
    int64_t seekPreroll = 0;          // µs sought before a target in files without an index; learnt from late landings
    int64_t retryPreroll = 0;         // µs sought before the target by the current seek

    // --- flags ---------------------------------------------------------------
    std::atomic<uint8_t> playPause{0};
    std::atomic<uint8_t> quit{0};                // all player threads must end
    std::atomic<uint8_t> isMove{0};              // deliver one picture although paused
    std::atomic<uint8_t> readFinished{0};        // the demuxer reported end of input
    std::atomic<uint8_t> readThreadFinished{0};  // the player thread has released everything
    std::atomic<uint8_t> videoThreadFinished{0}; // the video thread has ended
    std::atomic<uint8_t> firstFramePending{1};   // openFile waits for the first picture

    std::atomic<int> volume{128};                // mixing volume, 0..128
    SDL_Thread *videoThread = nullptr;
    // The device is opened and closed by the player thread and paused by the
    // control operations: they use it only under audioDeviceMutex, and it is
    // closed only after its id was taken away under that mutex.
    std::atomic<uint32_t> audioDeviceId{0};      // open audio device, 0 when none
    std::mutex audioDeviceMutex;
    // The file plays sound. Paused for a while, its device is closed (a
    // paused SDL device still wakes its thread for every buffer of silence)
    // and opened again with audioSpec by play().
    std::atomic<bool> soundOutput{false};
    AudioDeviceSpec audioSpec;                   // under audioDeviceMutex
    bool silent = false;                         // under audioDeviceMutex: a follower opens no sound device

    // The player and video threads idle until a control operation, a seek,
    // a late landing or a new output size wakes them.
    Waker playerWaker;
    Waker videoWaker;

    // --- statistics (for tests and benchmarks) --------------------------------
    std::atomic<int64_t> framesShown{0};
    std::atomic<int64_t> framesDropped{0};
    std::atomic<int64_t> longestDropRun{0};   // most late pictures dropped in a row
    std::atomic<int64_t> loopRounds{0};       // rounds of the player and video loops: polling shows here
    std::atomic<int64_t> audioBytesPlayed{0}; // sound handed to the device, silence excluded
    std::atomic<int> extraDecodeMs{0};  // tests: stand-in for a machine that decodes slowly
    std::atomic<int> extraCallbackMs{0}; // tests: the audio callback takes this much longer
};
