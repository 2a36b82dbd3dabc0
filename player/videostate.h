#pragma once

#include "packetqueue.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SDL_Thread;
struct SwrContext;
class VideoPlayer;

// A thread idles in short waits on it; another cuts the wait short.
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

// The per-file playback state shared by the player thread, the video thread,
// the audio callback and the control operations. Everything another thread
// may touch is atomic; the rest belongs to one thread, as noted.
struct VideoState
{
    VideoState();
    ~VideoState();
    VideoState(const VideoState &) = delete;
    VideoState &operator=(const VideoState &) = delete;

    // Back to the state of a file not yet opened; keeps the audio buffer.
    void reset();

    // isPlay and isPause always change together, in one store.
    bool isPlay() const { return playPause.load() & kPlayBit; }
    bool isPause() const { return playPause.load() & kPauseBit; }
    void setPlayPause(bool play, bool pause) { playPause.store(uint8_t((play ? kPlayBit : 0) | (pause ? kPauseBit : 0))); }

    static constexpr uint8_t kPlayBit = 1;
    static constexpr uint8_t kPauseBit = 2;

    // --- set up by the player thread before the decoding threads start ----
    AVFormatContext *ic = nullptr;
    int videoStream = -1;
    int audioStream = -1;
    int gpsStream = -1;
    int64_t startOffsetUs = 0;        // the container's start time: positions count from it
    double frameDuration = 1.0 / 25;  // s, nominal time between pictures

    // --- audio (audio callback thread once the device runs) ----------------
    AVFrame *audioFrame = nullptr;
    PacketQueue audioQueue;
    AVStream *audioStreamPtr = nullptr;
    AVCodecContext *audioCodecContext = nullptr;
    uint32_t audioBufSize = 0;        // bytes in the current output chunk
    uint32_t audioBufIndex = 0;       // bytes of the chunk already handed to the device
    AVPacket *audioPacket = nullptr;  // working packet of the audio decoding
    int audioSerial = 0;              // the seek whose sound is being decoded
    const uint8_t *audioBuf = nullptr;
    uint8_t *audioConvertBuf = nullptr; // kAudioConvertBufSize bytes, 16-byte aligned
    AVSampleFormat audioSrcFormat = AV_SAMPLE_FMT_NONE;
    AVSampleFormat audioTgtFormat = AV_SAMPLE_FMT_S16;
    AVChannelLayout audioSrcLayout{};
    AVChannelLayout audioTgtLayout{};
    int audioSrcRate = 0;             // Hz
    int audioTgtRate = 0;             // Hz
    SwrContext *swrContext = nullptr; // absent while the decoder's output matches the device
    int audioHwBufSize = 0;           // bytes of the device buffer
    std::atomic<int> audioChannels{0}; // channels of the open device
    std::atomic<double> audioChunkDuration{0.0}; // s, length of the last decoded chunk

    // --- video (video thread) ----------------------------------------------
    AVCodecContext *videoCodecContext = nullptr;
    AVStream *videoStreamPtr = nullptr;
    PacketQueue videoQueue;

    // --- clocks --------------------------------------------------------------
    std::atomic<double> audioClock{0.0};     // s: end of the last decoded sound, or the wall clock without sound
    std::atomic<int64_t> audioClockUpdatedUs{0}; // wall time (µs) of the last audio clock step
    std::atomic<double> videoClock{0.0};     // s: predicted time of the next picture
    std::atomic<int64_t> startTime{0};       // µs of wall clock that corresponds to position 0
    std::atomic<int64_t> pauseStartTime{0};  // µs of wall clock at which the current pause began

    // --- seeking -------------------------------------------------------------
    std::atomic<int> seekRequest{0};     // 1 while a seek waits for the player thread
    std::atomic<int64_t> seekPos{0};     // µs from the start: target of the pending or last seek
    std::atomic<int> seekFlagAudio{0};   // 1 while the audio decoder drops sound before seekTime
    std::atomic<int> seekFlagVideo{0};   // 1 while the video thread drops pictures before seekTime
    std::atomic<double> seekTime{0.0};   // s, seekPos / 1e6
    std::atomic<int> seekLate{0};        // 1: the seek landed after its target; seek again earlier
    std::atomic<int> seekCanRetry{0};    // 1: an earlier landing point is still possible
    std::atomic<int> seekFramePending{0}; // serial of the seek whose target picture is to be shown, even while paused; 0 none
    std::atomic<int> seekSerial{0};       // counts seeks; decoders drop what they decoded for an older one

    // --- flags ---------------------------------------------------------------
    std::atomic<uint8_t> playPause{0};
    std::atomic<uint8_t> quit{0};                // all player threads must end
    std::atomic<uint8_t> isMove{0};              // deliver one picture although paused
    std::atomic<uint8_t> readFinished{0};        // the demuxer reported end of input
    std::atomic<uint8_t> readThreadFinished{0};  // the player thread has released everything
    std::atomic<uint8_t> videoThreadFinished{0}; // the video thread has ended
    std::atomic<uint8_t> firstFramePending{0};   // openFile waits for the first picture

    std::atomic<int> volume{128};                // mixing volume, 0..128
    SDL_Thread *videoThread = nullptr;
    std::atomic<uint32_t> audioDeviceId{0};      // open audio device, 0 when none
    VideoPlayer *player = nullptr;

    // The player and video threads idle in short waits; a control
    // operation, a seek or a late landing cuts the wait short.
    Waker playerWaker;
    Waker videoWaker;

    // --- statistics (for benchmarks) -----------------------------------------
    std::atomic<int64_t> framesShown{0};
    std::atomic<int64_t> framesDropped{0};
    std::atomic<int> extraDecodeMs{0};  // tests: stand-in for a machine that decodes slowly

};

// Microseconds of the wall clock.
int64_t wallClockUs();
