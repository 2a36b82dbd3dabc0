#pragma once

#include "trip.h"
#include "videoplayer.h"

#include <QImage>
#include <QObject>
#include <QStringList>

#include <functional>

class QTimer;
class TripScanner;

// The drive of the open recording: its neighbours in the list that follow
// on in time, read beside playback, and its next part waiting open and
// paused on its first picture in a player of its own, so that a change of
// file shows no gap. The session owns the player that plays and asks this
// what the timeline is and whether the next part can take over.
class Drive : public QObject
{
    Q_OBJECT

public:
    // spare: the player the next part waits in (it becomes the one that plays
    // at a take-over, and the one that played becomes the spare). fileOpen
    // tells whether a file is open: a drive found after a stop is no use.
    Drive(VideoPlayer *spare, std::function<bool()> fileOpen, QObject *parent = nullptr);
    ~Drive() override;

    // listed gives the list's recordings in order; off, every file plays by itself.
    void setEnabled(bool on, std::function<QStringList()> listed);
    bool enabled() const { return mEnabled; }
    // No drive: a file opened by itself. The waiting part goes.
    void clear();
    // path opened by itself: whether its neighbours follow on is read beside it.
    void scan(const QString &path);
    // A recording was listed while path is open: when it may continue the
    // drive, the drive is read again.
    void listed(const QString &added, const QString &path);

    // The open file's drive, when it has more than one part.
    bool active() const { return mTrip.partCount() > 1; }
    const Trip &trip() const { return mTrip; }
    int part() const { return mPart; }
    void setPart(int part) { mPart = part; }
    // Where the open part starts on the drive's timeline (0 outside one).
    qint64 offsetUs() const { return active() ? mTrip.offsetUs(mPart) : 0; }
    // Broken where a part could not be played: the file plays by itself.
    void dropTrip(int part);

    // Opens the part after the open one in the spare player, with main's
    // volume, speed and picture size. Nothing when it waits ready already.
    void prepareNext(const VideoPlayer &main);
    bool preparing() const { return mPreparing; }
    VideoPlayer *spare() const { return mSpare; }
    // The spare player, paused on part's first picture, takes over from
    // current, which becomes the spare; null when part is not ready. Its
    // first picture and its track (when its pass finished) come along.
    VideoPlayer *takeOver(int part, VideoPlayer *current, QImage *picture, GpsData *track);

signals:
    // The open file turned out to be part of a drive (trip() tells which).
    void sig_Found();
    // The spare player settled on the next part: ready, or not.
    void sig_NextSettled();

private:
    void hear(VideoPlayer *player);
    void scanned(quint64 ticket, const Trip &trip);

    bool mEnabled = false;
    std::function<QStringList()> mListed;
    std::function<bool()> mFileOpen;
    QString mPath;                        // the open file, as last scanned or listed
    TripScanner *mScanner = nullptr;
    quint64 mScanTicket = 0;              // the scan of the open file
    bool mScanPending = false;            // its report has not come yet
    QTimer *mRescan = nullptr;            // files listed one by one make one scan
    Trip mTrip;                           // empty, or the open file's drive
    int mPart = 0;                        // the part that plays

    VideoPlayer *mSpare = nullptr;
    bool mPreparing = false;              // it is opening mPreparePath
    QString mPreparePath;
    int mNextPart = -1;                   // the part it holds ready; -1 none
    QString mNextPath;
    QImage mNextPicture;                  // its first picture, shown when it takes over
    GpsData mNextGps;                     // its track, when its pass finished before
    QList<VideoPlayer *> mHeard;
};
