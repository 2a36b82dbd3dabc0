#include "playbacksession.h"

#include "tripscanner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

constexpr int kTimelineIntervalMs = 500;
constexpr int kEventSliceMs = 100;       // longest event processing slice while waiting
constexpr int kStateReportWaitMs = 5000; // the player reports its states at once; never wait longer
constexpr int kRescanDelayMs = 300;      // files listed one after another make one scan

} // namespace

PlaybackSession::PlaybackSession(std::function<bool()> pausedDrag, QObject *parent)
    : QObject(parent)
    , mPlayer(new VideoPlayer)
    , mTimer(new QTimer(this))
    , mPausedDrag(std::move(pausedDrag))
    , mScanner(new TripScanner(this))
{
    mTimer->setInterval(kTimelineIntervalMs);
    connect(mScanner, &TripScanner::sig_Trip, this, &PlaybackSession::tripScanned);
    mRescan = new QTimer(this);
    mRescan->setSingleShot(true);
    mRescan->setInterval(kRescanDelayMs);
    connect(mRescan, &QTimer::timeout, this, [this] {
        const QStringList listed = mListed();
        const int index = listed.indexOf(mFilePath);
        if (index >= 0 && mState != Stopped)
            mScanTicket = mScanner->scan(listed, index);
    });
}

void PlaybackSession::listed(const QString &path)
{
    if (!mTripsOn || !mListed || mState == Stopped || mSwitching)
        return;
    const QStringList files = mListed();
    const QString first = inTrip() ? mTrip.part(0).path : mFilePath;
    const QString last = inTrip() ? mTrip.part(mTrip.partCount() - 1).path : mFilePath;
    const int added = files.indexOf(path);
    if (added >= 0 && (added == files.indexOf(last) + 1 || added == files.indexOf(first) - 1))
        mRescan->start();
}

PlaybackSession::~PlaybackSession()
{
    // Joins a GPS pass that still reads a file which ended by itself.
    delete mPlayer;
}

int PlaybackSession::playState() const
{
    return mState == Paused && mPausedDrag() ? PausedDrag : mState;
}

void PlaybackSession::setState(VideoPlayer::PlayerState state)
{
    mState = state == VideoPlayer::Playing ? Playing : state == VideoPlayer::Pause ? Paused : Stopped;
    if (mState == Stopped)
        mTimer->stop();
    qCDebug(lcWindow) << "mPlayState:" << mState;
}

bool PlaybackSession::takeGpsData(const GpsData &data)
{
    if (!data.track || data.serial != mPlayer->serial()) {
        qCDebug(lcWindow) << "gps track of an earlier file ignored";
        return false;
    }
    mGpsData = data;
    qCDebug(lcWindow) << "gps track ready, valid:" << data.track->valid << "records:" << data.track->count();
    return true;
}

void PlaybackSession::delay(int msec)
{
    // A monotonic clock: a wall-clock deadline would wait a whole day when
    // the wait crosses midnight.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < msec)
        QCoreApplication::processEvents(QEventLoop::AllEvents, kEventSliceMs);
}

bool PlaybackSession::waitForState(int state)
{
    QElapsedTimer waited;
    waited.start();
    while (mState != state && waited.elapsed() < kStateReportWaitMs)
        delay(20);
    return mState == state;
}

// The window keeps painting while the player waits for the first picture (a
// slow card can take a while); the user's clicks and keys wait until it is there.
bool PlaybackSession::openInPlayer(const QString &path)
{
    // A transport stream's track arrives only while the new file already plays.
    mGpsData = GpsData();
    if (!mSwitching) {
        mTrip = Trip();
        emit sig_OpenStarted();
    }
    mOpening = true;
    const bool opened = mPlayer->openFile(path, [] {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kEventSliceMs);
    });
    mOpening = false;
    if (!opened) {
        qCDebug(lcWindow) << "cannot play:" << path;
        emit sig_OpenFailed();
    } else {
        mTimer->start();
        // Whether its neighbours follow on is read beside playback.
        if (mTripsOn && !mSwitching && mListed) {
            const QStringList listed = mListed();
            const int index = listed.indexOf(path);
            mScanTicket = index >= 0 ? mScanner->scan(listed, index) : 0;
        }
    }
    if (mDeferredOpen)
        QMetaObject::invokeMethod(this, std::exchange(mDeferredOpen, {}), Qt::QueuedConnection);
    return opened;
}

// Events keep flowing while a file opens: a recording the file list
// finished reading meanwhile must not start a second open inside this one.
bool PlaybackSession::deferWhileOpening(std::function<void()> open)
{
    if (!mOpening)
        return false;
    qCDebug(lcWindow) << "open deferred until the current one is done";
    mDeferredOpen = std::move(open);
    return true;
}

bool PlaybackSession::open(const QString &path, bool play)
{
    mPlayer->stop();
    waitForState(Stopped);
    if (!openInPlayer(path))
        return false;
    if (play)
        mPlayer->play();
    return true;
}

void PlaybackSession::togglePlay()
{
    if (!QFileInfo(mFilePath).isFile())
        return;
    switch (playState()) {
    case Stopped:
        // Nothing could be opened: stay stopped rather than wait for a report that never comes.
        if (!openInPlayer(mFilePath))
            return;
        waitForState(Paused);
        mPlayer->play();
        break;
    case Paused:
        mPlayer->play();
        break;
    case Playing:
        mPlayer->pause();
        break;
    default:
        break;
    }
}

void PlaybackSession::playPause()
{
    if (playState() == Playing)
        mPlayer->pause();
    else if (playState() == Paused)
        mPlayer->play();
}

void PlaybackSession::setTrips(bool on, std::function<QStringList()> listed)
{
    mTripsOn = on;
    mListed = std::move(listed);
    if (!on)
        mTrip = Trip();
}

void PlaybackSession::tripScanned(quint64 ticket, const Trip &trip)
{
    const int part = trip.indexOf(mFilePath);
    if (ticket != mScanTicket || !mTripsOn || trip.partCount() < 2 || part < 0 || mState == Stopped)
        return;
    mTrip = trip;
    mPart = part;
    emit sig_TripFound();
}

double PlaybackSession::position() const
{
    const double offset = inTrip() ? double(mTrip.offsetUs(mPart)) / 1e6 : 0.0;
    return offset + mPlayer->currentTime();
}

qint64 PlaybackSession::length() const
{
    return inTrip() ? mTrip.lengthUs() : mPlayer->totalTime();
}

qint64 PlaybackSession::seekTarget() const
{
    return (inTrip() ? mTrip.offsetUs(mPart) : 0) + mPlayer->seekTarget();
}

bool PlaybackSession::seekWaiting() const
{
    return mPlayer->seekWaiting();
}

void PlaybackSession::seek(qint64 positionUs)
{
    if (!inTrip()) {
        mPlayer->seek(positionUs);
        return;
    }
    qint64 local = 0;
    const int part = mTrip.partAt(positionUs, &local);
    if (part == mPart)
        mPlayer->seek(local);
    else
        switchPart(part, local, mState == Playing);
}

bool PlaybackSession::continueTrip()
{
    if (!inTrip() || mPart + 1 >= mTrip.partCount())
        return false;
    return switchPart(mPart + 1, 0, true);
}

bool PlaybackSession::switchPart(int part, qint64 localUs, bool play)
{
    const int previous = mPart;
    mSwitching = true;
    mPart = part;
    mFilePath = mTrip.part(part).path;
    const bool opened = open(mFilePath, false);
    mSwitching = false;
    if (!opened) {
        // The drive is broken where this file was: what played stays as it ends.
        qCWarning(lcWindow) << "next part of the drive cannot be played:" << mFilePath;
        mPart = previous;
        mTrip = Trip();
        return false;
    }
    if (localUs > 0)
        mPlayer->seek(localUs);
    if (play)
        mPlayer->play();
    return true;
}

std::vector<TrackSource> PlaybackSession::tracks() const
{
    std::vector<TrackSource> tracks;
    if (!inTrip()) {
        tracks.push_back({mFilePath, mGpsData.track, mGpsData.version});
        return tracks;
    }
    for (int i = 0; i < mTrip.partCount(); ++i)
        tracks.push_back({mTrip.part(i).path, mTrip.part(i).track, mTrip.part(i).gpsVersion});
    return tracks;
}
