#pragma once

#include "outputactions.h"
#include "trip.h"
#include "videoplayer.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>

class QTimer;
class TripScanner;

// What the window's controls ask of playback: opening a recording (the
// window keeps painting while the player waits for its first picture),
// play and pause, the player's state as the controls see it, the timeline
// tick, and the track of the open file. It owns the player.
//
// A recording whose neighbours in the list follow on in time is part of a
// drive: the timeline (position, length, seeks) is then the drive's, and at
// the end of one file the next starts by itself. The next file waits open
// and paused on its first picture in a second player, so the change shows
// no gap; the window hears only the player that plays (the signals below).
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

    // The player of the file that plays (it changes at a drive's file borders).
    VideoPlayer *player() const { return mPlayer; }
    // For every player, this one and the ones to come.
    void setVolume(int volume);
    int volume() const { return mPlayer->volume(); }
    void setSpeed(double speed);
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
    // a drive; else toggles.
    void togglePlay();
    // The space key: toggles only while a file is open and the slider is free.
    void playPause();
    // What the controls ask of the file that plays; the players are reached
    // through the session only.
    // Opening, play() plays once the first picture is in.
    void play();
    void stop();
    void stepFrame(int direction);
    double speed() const;
    // A paused picture follows the slider while it is held.
    void setDragging(bool dragging);
    // The picture of the file that plays: the serial its pictures and its
    // end carry, its own length and position.
    quint64 serial() const;
    qint64 fileLength() const;  // µs
    double filePosition() const; // s
    // The picture counters of the file that plays (VideoPlayer's).
    qint64 framesShown() const { return mPlayer->framesShown(); }
    qint64 framesDropped() const { return mPlayer->framesDropped(); }
    qint64 longestDropRun() const { return mPlayer->longestDropRun(); }

    // A file from outside that the list does not know yet opens before the
    // list reads it: its picture need not wait for the list's row, nor share
    // the machine with the list's read. Only when nothing is open or opening.
    void openBeforeListed(const QString &path);
    // The list's word on a file decides what follows: its row finds path
    // open already (true: only play it), its refusal finds it open (true:
    // stop it). Either ends the wait for the word.
    bool listedWhileOpen(const QString &path);
    bool refusedWhileOpen(const QString &path);

    bool isOpening() const { return mState == Opening; }

    // Drives: listed gives the list's recordings in order; off, every file
    // plays by itself.
    void setTrips(bool on, std::function<QStringList()> listed);
    bool tripsOn() const { return mTripsOn; }
    // The drive of the open file, when it has more than one part.
    bool inTrip() const { return mTrip.partCount() > 1; }
    const Trip &trip() const { return mTrip; }
    // Where the open file starts on the drive (0 outside one).
    qint64 partOffsetUs() const { return inTrip() ? mTrip.offsetUs(mPart) : 0; }
    // The tracks of the drive's files, or of the open file, for export.
    std::vector<TrackSource> tracks() const;
    // The timeline the controls show: the drive's, else the open file's.
    double position() const; // s
    qint64 length() const;   // µs
    void seek(qint64 positionUs);
    qint64 seekTarget() const;
    bool seekWaiting() const;
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

private:
    void listenTo(VideoPlayer *player);
    void takeTrack(const GpsData &data);
    // The state, set before the window hears it.
    void setState(State state);
    void report(State state);
    void playerState(VideoPlayer::PlayerState state);
    void opened(VideoPlayer *player, quint64 serial, bool ok);
    void nextOpened(bool ok);
    // Stops the player that plays; its stop is reported as the session's.
    void stopPlayer();
    void fileEnded(quint64 serial);
    // The next part of the open file's drive plays; false when there is none.
    bool continueTrip();
    void startTimeline(); // from a fresh tick
    // The drive's next file, opened and paused in the second player.
    void prepareNext();
    void dropNext();
    bool takeNext(qint64 localUs, bool play);
    void switchPart(int part, qint64 localUs, bool play);
    void tripScanned(quint64 ticket, const Trip &trip);

    VideoPlayer *mPlayer = nullptr;
    VideoPlayer *mNext = nullptr;         // the second player, or null before a drive
    int mNextPart = -1;                   // the part it holds open, ready; -1 none
    QString mNextPath;                    // that part's recording
    bool mPreparing = false;              // it is opening that part
    QString mPreparePath;                 // the part it is opening
    bool mContinueWhenReady = false;      // the playing file ended meanwhile
    QImage mNextPicture;                  // its first picture, shown when it takes over
    GpsData mNextGps;                     // its track, when its pass finished before
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
    QString mOpenedBeforeListed;          // awaiting the list's word (openBeforeListed)
    bool mTripsOn = false;
    std::function<QStringList()> mListed;
    TripScanner *mScanner = nullptr;
    quint64 mScanTicket = 0;              // the scan of the open file
    bool mScanPending = false;            // its report has not come yet
    QTimer *mRescan = nullptr;            // files listed one by one make one scan
    Trip mTrip;                           // empty, or the open file's drive
    int mPart = 0;                        // the part of the drive that is open
    bool mSwitching = false;
    int mSwitchFrom = 0;                  // the part that played before the switch
};
