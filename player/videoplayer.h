#pragma once

#include "gpsrecord.h"
#include "videostate.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

// Duration and picture size of a recording, as probeFile reads them.
struct VideoInfo
{
    qint64 duration = 0; // µs
    int width = 0;       // pixels
    int height = 0;      // pixels
};

// The process-wide GPS track of the file being played. The player thread
// writes it before it emits sig_GetGpsData; the GUI reads it afterwards.
GpsTrack &gpsTrack();

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
    };
    Q_ENUM(PlayerState)

    explicit VideoPlayer(QObject *parent = nullptr);
    ~VideoPlayer() override;

    // Opens a file (only while stopped) and returns once its first picture has
    // been delivered, paused. False when the file cannot be played.
    bool openFile(const QString &path);
    bool play();
    bool pause();
    bool stop();
    // Posts a seek to a position in µs from the start; ignored while another is pending.
    void seek(qint64 position);
    void setVolume(int volume);   // 0..128, for this file and the next ones
    double currentTime() const;   // s
    qint64 totalTime() const;     // µs; 0 when no file is open
    void setIsMove(bool isMove);
    static bool probeFile(const QString &path, VideoInfo &info);

    PlayerState state() const { return playerState.load(); }
    // The position of the last seek asked for (µs), and whether it still waits.
    qint64 seekTarget() const { return mVideoState.seekPos.load(); }
    bool seekWaiting() const { return mVideoState.seekRequest.load() != 0; }
    // The mixing volume of the open file (or of the next one), 0..128.
    int volume() const { return mVideoState.volume.load(); }
    qint16 gpsVersion() const { return mGpsVersion.load(); }

    // Pictures are converted straight to this size (aspect kept), so that
    // painting does not have to scale them. An empty size keeps the source size.
    void setOutputSize(const QSize &size);
    QSize outputSize() const;

    // Pictures delivered and late pictures skipped since the file was opened.
    qint64 framesShown() const { return mVideoState.framesShown.load(); }
    qint64 framesDropped() const { return mVideoState.framesDropped.load(); }
    // Channels the audio device was opened with; 0 without sound.
    int audioOutputChannels() const { return mVideoState.audioChannels.load(); }
    // Tests: makes every picture this much slower to decode, as on a slow machine.
    void setExtraDecodeTime(int ms) { mExtraDecodeMs = ms; }

    // Called by the player's own threads when openFile may stop waiting.
    void notifyOpenWaiters();

signals:
    void sig_GetOneFrame(QImage image);
    void sig_StateChanged(VideoPlayer::PlayerState state);
    void sig_TotalTimeChanged(qint64 uSec);
    void sig_PlayStopNormally();
    void sig_GetGpsData();

protected:
    void run() override;

private:
    bool openStreams(QByteArray &pathUtf8);
    void demuxLoop(AVPacket *packet);
    void performSeek(AVPacket *packet, int64_t target, int64_t preroll);
    bool seekVideoKeyFrame(AVPacket *packet, int64_t from, int64_t target);
    void releaseFile();
    void finishEarly();
    void joinRun();
    void logFlags();

    QString mFilePath;
    VideoState mVideoState;
    std::atomic<PlayerState> playerState{Stop};
    std::atomic<qint16> mGpsVersion{0};
    std::atomic<qint64> mDuration{0};      // µs of the open file
    int mExtraDecodeMs = 0;
    std::atomic<quint64> mOutputSize{0};   // width << 32 | height
    // Player thread only:
    bool mSeekIndexed = false;             // the video stream has an index of key frames
    int64_t mSeekPreroll = 0;              // µs sought before a target in files without an index; learnt from late landings
    int64_t mRetryPreroll = 0;             // µs sought before the target by the current seek
    int64_t mLastSeekTarget = 0;           // µs

    std::mutex mOpenMutex;                 // guards the first-picture wait of openFile
    std::condition_variable mOpenCondition;
    std::atomic<bool> mRunActive{false};   // run() has not returned yet
};

Q_DECLARE_METATYPE(VideoPlayer::PlayerState)
