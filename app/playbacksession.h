#pragma once

#include "drive.h"
#include "trackexport.h"
#include "videoplayer.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QTimer;

// What the window's controls ask of playback, and the one owner of its
// state: opening a recording (it returns at once; the state says Opening
// until the first picture is in or the file failed), play and pause, the
// timeline tick, and the track of the open file. It owns the players and is
// the only door to them.
//
// A recording whose neighbours in the list follow on in time is part of a
// drive (Drive): the timeline (position, length, seeks) is then the drive's,
// and at the end of one file the next starts by itself, taking over from a
// player where it waits paused on its first picture, so the change shows no
// gap; the window hears only the player that plays.
class PlaybackSession : public QObject
{
    Q_OBJECT

public:
    // playState() gives the first four, Opening and Failed counting as
    // Stopped there, as the controls always saw them.
    enum State { Playing = 0, Paused = 1, Stopped = 2, PausedDrag = 3, Opening = 4, Failed = 5 };
    Q_ENUM(State)

    // pausedDrag: whether the position slider is held while paused.
    PlaybackSession(std::function<bool()> pausedDrag, QObject *parent = nullptr);
    ~PlaybackSession() override;

    // For every player, this one and the ones to come.
    void setVolume(int volume);
    int volume() const { return mPlayer->volume(); }
    void setSpeed(double speed);
    double speed() const { return mPlayer->speed(); }
    void setOutputSize(const QSize &size);
    QTimer *timer() const { return mTimer; }
    // Paused, the timeline tick rests once a tick finds playback where the
    // last one left it; whatever may change what it shows wakes it.
    void wakeTimeline();
    // Playing, Paused, Stopped, Opening (the first picture is awaited) or
    // Failed (the last open could not be played).
    State state() const { return mState; }
    // Nothing plays or is open: stopped, or the last open failed.
    bool stopped() const { return mState == Stopped || mState == Failed; }
    bool isOpening() const { return mState == Opening; }
    // Playing, Paused, PausedDrag while the slider is held in a pause, or
    // Stopped (also while opening or failed).
    int playState() const;
    QString filePath() const { return mFilePath; }
    void setFilePath(const QString &path) { mFilePath = path; }
    // The open file's track, once its pass has finished.
    const GpsData &gpsData() const { return mGpsData; }

    // Stops what plays and begins to open path; returns at once. The state
    // is Opening until the first picture is in (Paused, or Playing with play
    // set) or the file fails (Failed, sig_OpenFailed). A later open
    // supersedes one under way: nothing of the earlier file is shown.
    void open(const QString &path, bool play);
    // The play button: when stopped (at the end or by the stop button)
    // plays again from the start of what stopped, the drive's first file in
    // a drive; else toggles (opening: whether it plays once open).
    void togglePlay();
    // The space key: toggles only while a file is open and the slider is free.
    void playPause();
    // Opening, play() plays once the first picture is in.
    void play();
    void stop();
    void stepFrame(int direction);
    // A paused picture follows the slider while it is held.
    void setDragging(bool dragging);
    // The picture of the file that plays: the serial its pictures and its
    // end carry, its own length and position, its picture counters.
    quint64 serial() const { return mPlayer->serial(); }
    qint64 fileLength() const { return mPlayer->totalTime(); } // µs
    double filePosition() const { return mPlayer->currentTime(); } // s
    qint64 framesShown() const { return mPlayer->framesShown(); }
    qint64 framesDropped() const { return mPlayer->framesDropped(); }
    qint64 longestDropRun() const { return mPlayer->longestDropRun(); }
    // Tests that fake a report of the player that plays, or slow it down.
    VideoPlayer *player() const { return mPlayer; }

    // Followers: other pictures of the same moment (another camera's file),
    // timed by the clock of the player that plays. path's 0 lies at
    // offsetSeconds on the open file's timeline. A follower starts, pauses,
    // seeks, steps and changes speed with it, plays no sound and, when it
    // cannot keep up, drops its own pictures; its pictures come with
    // sig_FollowerPicture. The next open or part change drops them.
    // Returns its index.
    int addFollower(const QString &path, double offsetSeconds);
    void clearFollowers();
    int followerCount() const { return int(mFollowers.size()); }
    // The follower's picture size (the inset's); empty keeps the source size.
    void setFollowerOutputSize(int index, const QSize &size);

    // Drives: listed gives the list's recordings in order; off, every file
    // plays by itself.
    void setTrips(bool on, std::function<QStringList()> listed);
    bool tripsOn() const { return mDrive->enabled(); }
    // The drive of the open file, when it has more than one part.
    bool inTrip() const { return mDrive->active(); }
    const Trip &trip() const { return mDrive->trip(); }
    // Where the open file starts on the drive (0 outside one).
    qint64 partOffsetUs() const { return mDrive->offsetUs(); }
    // The tracks of the drive's files, or of the open file, for export.
    std::vector<TrackSource> tracks() const;
    // The timeline the controls show: the drive's, else the open file's.
    double position() const; // s
    qint64 length() const;   // µs
    void seek(qint64 positionUs);
    qint64 seekTarget() const { return partOffsetUs() + mPlayer->seekTarget(); }
    bool seekWaiting() const { return mPlayer->seekWaiting(); }
    // A recording was listed: when it may continue the open file's drive,
    // the drive is read again.
    void listed(const QString &path);
    // Next and Prev inside the open drive: the start of path's part on the
    // drive's timeline, playing on as before; false when path is no part of it.
    bool goToPart(const QString &path);
    // The player is changing from one part of the drive to another: its
    // stop is no stop of playback.
    bool switchingPart() const { return mSwitching; }

signals:
    // The player that plays reports, as VideoPlayer's signals.
    void sig_GetOneFrame(QImage image);
    void sig_TotalTimeChanged(qint64 uSec);
    void sig_StateChanged(PlaybackSession::State state);
    // A file came to its natural end (each file of a drive too), before
    // what follows it.
    void sig_FileEnded();
    // Playback came to its natural end: a file by itself, or a drive's last.
    void sig_Ended();
    // The open file's track, its pass finished (an earlier file's never comes).
    void sig_TrackReady(GpsData data);
    void sig_DecodeTooSlow(bool tooSlow);
    // A new open begins: the last file's track and route go.
    void sig_OpenStarted();
    void sig_OpenFailed(QString path);
    // The open file turned out to be part of a drive (trip() tells which).
    void sig_TripFound();
    // A picture of follower index, of the moment the main one shows.
    void sig_FollowerPicture(int index, QImage image);

private:
    struct Follower
    {
        std::unique_ptr<VideoPlayer> player;
        double offset = 0.0; // s on the open file's timeline where its 0 lies
    };
    // What the main player just did, done by every follower too.
    void followersPlay(bool play);
    void followersSeek(qint64 localUs);
    void listenTo(VideoPlayer *player);
    void takeTrack(const GpsData &data);
    // The state, set before the window hears it.
    void setState(State state);
    void report(State state);
    void playerState(VideoPlayer::PlayerState state);
    void opened(bool ok);
    // Stops the player that plays; its stop is reported as the session's.
    void stopPlayer();
    void fileEnded(quint64 serial);
    // The next part of the open file's drive plays; false when there is none.
    bool continueTrip();
    void startTimeline(); // from a fresh tick
    void prepareNext();
    void switchPart(int part, qint64 localUs, bool play);
    bool takeOver(int part, qint64 localUs, bool play);

    VideoPlayer *mPlayer = nullptr;       // the player that plays
    Drive *mDrive = nullptr;              // holds the other one
    QTimer *mTimer = nullptr;             // the timeline tick while a file is open
    double mTickPosition = -1.0;          // where the last tick found playback, s
    std::function<bool()> mPausedDrag;
    State mState = Stopped;
    QString mFilePath;                    // the recording the play button opens
    GpsData mGpsData;
    QString mOpenPath;                    // the file the player opens or has open
    bool mPlayAfterOpen = false;          // opening: it plays once the first picture is in
    qint64 mSeekAfterOpen = 0;            // opening: where it goes then, µs of the file
    bool mStopping = false;               // the session stops the player: its stop is one
    bool mSwitching = false;              // a part of the drive opens in the player
    int mSwitchFrom = 0;                  // the part that played before the switch
    bool mContinueWhenReady = false;      // a file ended while the next part was opening
    std::vector<Follower> mFollowers;
};
