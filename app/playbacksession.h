#pragma once

#include "videoplayer.h"

#include <QObject>
#include <QString>

#include <functional>

class QTimer;

// What the window's controls ask of playback: opening a recording (the
// window keeps painting while the player waits for its first picture),
// play and pause, the player's state as the controls see it, the timeline
// tick, and the track of the open file. It owns the player.
class PlaybackSession : public QObject
{
    Q_OBJECT

public:
    enum State { Playing = 0, Paused = 1, Stopped = 2, PausedDrag = 3 };

    // pausedDrag: whether the position slider is held while paused.
    PlaybackSession(std::function<bool()> pausedDrag, QObject *parent = nullptr);
    ~PlaybackSession() override;

    VideoPlayer *player() const { return mPlayer; }
    QTimer *timer() const { return mTimer; }
    // Playing, Paused or Stopped, as last reported by the player.
    int state() const { return mState; }
    // As state(), with PausedDrag while the slider is held in a pause.
    int playState() const;
    void setState(VideoPlayer::PlayerState state);
    QString filePath() const { return mFilePath; }
    void setFilePath(const QString &path) { mFilePath = path; }
    // The open file's track, once its pass has finished.
    const GpsData &gpsData() const { return mGpsData; }
    // Takes a pass's track when it belongs to the open file.
    bool takeGpsData(const GpsData &data);

    // Stops what plays, opens path (paused at its start) and, with play set,
    // starts it. False when it cannot be played.
    bool open(const QString &path, bool play);
    // The play button: opens the current file when stopped, else toggles.
    void togglePlay();
    // The space key: toggles only while a file is open and the slider is free.
    void playPause();

    // An open asked for while one is under way runs once it is done; true
    // when it was put off.
    bool deferWhileOpening(std::function<void()> open);
    // Waits until the player reports state, a few seconds at most.
    bool waitForState(int state);
    // Waits msec milliseconds while events are processed.
    static void delay(int msec);

signals:
    // A new open begins: the last file's track and route go.
    void sig_OpenStarted();
    void sig_OpenFailed();

private:
    bool openInPlayer(const QString &path);

    VideoPlayer *mPlayer = nullptr;
    QTimer *mTimer = nullptr;             // the timeline tick while a file is open
    std::function<bool()> mPausedDrag;
    int mState = Stopped;
    QString mFilePath;                    // the recording the play button opens
    GpsData mGpsData;
    bool mOpening = false;                // the player waits for a first picture, events flow
    std::function<void()> mDeferredOpen;  // the last open asked for meanwhile
};
