#pragma once

#include "gpsrecord.h"
#include "recordingprobe.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

struct AVPacket;
struct VideoState;
class PlaybackClock;

// The GPS track of one opened file, complete and never written again: it
// crosses to the GUI with sig_GetGpsData while the next file's pass fills
// a track of its own.
struct GpsData
{
    std::shared_ptr<const GpsTrack> track; // never null in a signal
    qint16 version = 0;                    // GPS payload format version (transport streams)
    quint64 serial = 0;                    // the open it belongs to (VideoPlayer::serial)
};

// Plays one recording at a time: run() is the player thread (GPS pass, demux),
// a video thread decodes and times pictures, the audio device's callback
// decodes sound. Control operations are called from the GUI thread.
class VideoPlayer : public QThread
{
    Q_OBJECT

public:
    enum PlayerState {
        Playing = 0, // the clock runs, the audio device plays
        Pause = 1,   // a file is open, the picture stands
        Stop = 2,    // no file is being played
        Opening = 3, // openFile began; sig_Opened tells how it went
    };
    Q_ENUM(PlayerState)

    explicit VideoPlayer(QObject *parent = nullptr);
    ~VideoPlayer() override;

    // Begins to open a file (only while stopped) and returns at once, the
    // player Opening. sig_Opened later says whether its first picture came
    // (the player paused on it) or the file cannot be played (stopped again).
    // A stop meanwhile abandons the open: its sig_Opened never comes.
    bool openFile(const QString &path);
    bool play();
    bool pause();
    bool stop();
    // Posts a seek to a position in µs from the start; a seek still waiting
    // for the player thread is replaced by the newer one.
    void seek(qint64 position);
    void setVolume(int volume);   // 0..128, for this file and the next ones
    // Playback speed, clamped to 0.25..4 (a NaN is ignored); sound keeps its
    // pitch. Takes effect at once in any state, without a jump of the
    // position, and stays for the next files.
    void setSpeed(double speed);
    double speed() const { return mSpeed.load(); }
    // Paused only: shows the next picture (direction > 0) or the previous one
    // (< 0) as an exact paused seek to it, so the position, the picture and
    // seekTarget() follow. Stays at the first and the last picture.
    void stepFrame(int direction);
    // Where this player's playback stands, for players that follow it; the
    // same clock across opens. It stands while paused, stopped or opening.
    std::shared_ptr<const PlaybackClock> clock() const { return mClock; }
    // From now on (the open file and the next ones) pictures are timed by
    // the leader's clock, not this player's own: this file's 0 lies at
    // offsetSeconds on the leader's timeline, so a picture at p s is due
    // when the leader's clock reaches offsetSeconds + p. Play, pause and
    // seek still go to each player; the leader's pauses hold the pictures,
    // its speed paces them, and late ones are dropped here, never waited
    // for there. A follower plays no sound (an open file's goes silent).
    void follow(std::shared_ptr<const PlaybackClock> leader, double offsetSeconds);
    // Pictures keep their own clock again from where the leader's put
    // them; the open file stays silent, the next ones have sound.
    void unfollow();
    double currentTime() const;   // s
    qint64 totalTime() const;     // µs; 0 when no file is open
    void setIsMove(bool isMove);
    static bool probeFile(const QString &path, VideoInfo &info);

    PlayerState state() const;
    // Counts opens and stops: what the player emits carries the count of the
    // open it belongs to (pictures in their "serial" text), so that a
    // receiver can tell a late report of an earlier file from a current one.
    quint64 serial() const { return mSerial.load(); }
    // The position of the last seek asked for (µs), and whether it still waits.
    qint64 seekTarget() const;
    bool seekWaiting() const;
    // The mixing volume of the open file (or of the next one), 0..128.
    int volume() const { return mVolume.load(); }

    // Pictures are converted straight to this size (aspect kept), so that
    // painting does not have to scale them. An empty size keeps the source size.
    void setOutputSize(const QSize &size);
    QSize outputSize() const;

    // Pictures delivered and late pictures skipped since the file was opened.
    qint64 framesShown() const;
    qint64 framesDropped() const;
    // The most late pictures dropped in a row since the file was opened.
    qint64 longestDropRun() const;
    // Channels the audio device was opened with; 0 without sound.
    int audioOutputChannels() const;
    // For tests and benchmarks: rounds of the player and video loops (polling
    // shows here), sound handed to the device (bytes), the largest queue
    // contents seen since the open (bytes), the open sound device.
    qint64 loopRounds() const;
    qint64 audioBytesPlayed() const;
    qint64 peakVideoQueueBytes() const;
    qint64 peakAudioQueueBytes() const;
    quint32 audioDevice() const;
    // Tests: makes every picture this much slower to decode, as on a slow
    // machine, or every audio callback this much longer (both from now on,
    // and for the next files).
    void setExtraDecodeTime(int ms);
    void setExtraCallbackTime(int ms);

    // Called by the player's own threads when the first picture is out or
    // they have ended: stop() waits for this, an open settles on it.
    void notifyOpenWaiters(quint64 serial);

signals:
    void sig_GetOneFrame(QImage image);
    void sig_StateChanged(VideoPlayer::PlayerState state);
    // The open with this serial settled: paused on its first picture
    // (opened), or stopped because the file cannot be played.
    void sig_Opened(quint64 serial, bool opened);
    void sig_TotalTimeChanged(qint64 uSec);
    // The stream of the open with this serial ended by itself.
    void sig_PlayStopNormally(quint64 serial);
    // The GPS pass of a file has finished; emitted beside playback.
    void sig_GetGpsData(GpsData data);
    // Decoding has been slower than real time for a few seconds (true): the
    // pictures slip and thin out, the machine is too slow for this
    // recording; false once it keeps up again for a while, and when the file
    // closes after a true. Emitted on change, from the video thread.
    void sig_DecodeTooSlow(bool tooSlow);

    // From the player's threads: the open with this serial may have settled.
    void sig_OpenProgress(quint64 serial);

protected:
    void run() override;

private:
    // playerState also takes this value while stop() waits for the threads:
    // a stream that ends meanwhile is then no natural end.
    static constexpr int kClosing = 4;

    void startGpsPass(quint64 serial);
    void endGpsPass();
    bool openStreams(VideoState &is, QByteArray &pathUtf8);
    void demuxLoop(VideoState &is, AVPacket *packet);
    void performSeek(VideoState &is, AVPacket *packet, int64_t target, int64_t preroll);
    bool seekVideoKeyFrame(VideoState &is, AVPacket *packet, int64_t from, int64_t target);
    void releaseFile(VideoState &is);
    void finishEarly(VideoState &is);
    void joinRun();
    void waitForRun(const std::function<bool()> &done);
    void settleOpen(quint64 serial);
    void endRun(quint64 serial);
    void logFlags();

    QString mFilePath;
    // The state of the current or last open (before the first, of none),
    // never null. openFile makes a new one, once the last open's threads are
    // gone and its audio device is closed. The accessors above read it: from
    // the thread that opens files, or from another one while no openFile runs.
    std::unique_ptr<VideoState> mState;
    std::atomic<int> playerState{Stop};    // a PlayerState or kClosing; changed by compare-and-swap
    std::atomic<quint64> mSerial{0};
    std::atomic<qint64> mDuration{0};      // µs of the open file
    // The GPS pass that reads a stream runs beside playback on a thread of
    // its own; it is ended by the next open, by stop() or by the destructor.
    std::thread mGpsThread;
    std::atomic<bool> mGpsInterrupt{false};
    std::atomic<int> mVolume{128};         // mixing volume of the open file and the next ones, 0..128
    std::atomic<double> mSpeed{1.0};       // playback speed of the open file and the next ones
    int mExtraDecodeMs = 0;                // tests: given to the next file
    int mExtraCallbackMs = 0;              // tests: given to the next file
    std::atomic<quint64> mOutputSize{0};   // width << 32 | height
    const std::shared_ptr<PlaybackClock> mClock;
    std::shared_ptr<const PlaybackClock> mLeader; // followed by the next opens; GUI thread
    double mLeaderOffset = 0.0;            // s on the leader's timeline where their 0 lies

    std::mutex mOpenMutex;                 // guards stop()'s wait for the threads
    std::condition_variable mOpenCondition;
    std::atomic<bool> mRunActive{false};   // run() has not returned yet
};

Q_DECLARE_METATYPE(VideoPlayer::PlayerState)
Q_DECLARE_METATYPE(GpsData)

// Sets up what playback needs in the process: SDL's hints, its audio and
// timer subsystems, FFmpeg's log routing and the player's signal types.
// main() calls it once, before any VideoPlayer exists, on the thread that
// makes the players; players assume it was done. False when SDL could not
// start its audio (files then play without sound). A second call does no
// harm.
bool initPlayback();
