#include "playbacksession.h"

#include "tripscanner.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

constexpr int kTimelineIntervalMs = 500;
constexpr int kEventSliceMs = 100;       // longest event processing slice while waiting
constexpr int kRescanDelayMs = 300;      // files listed one after another make one scan
constexpr int kPrepareDelayMs = 500;     // after a take-over, before the next file is readied

} // namespace

PlaybackSession::PlaybackSession(std::function<bool()> pausedDrag, QObject *parent)
    : QObject(parent)
    , mPlayer(new VideoPlayer)
    , mTimer(new QTimer(this))
    , mPausedDrag(std::move(pausedDrag))
    , mScanner(new TripScanner(this))
{
    mTimer->setInterval(kTimelineIntervalMs);
    connect(mTimer, &QTimer::timeout, this, [this] {
        const double now = position();
        const bool still = mState == Paused && now == mTickPosition && !mPlayer->seekWaiting();
        mTickPosition = now;
        if (still)
            mTimer->stop(); // this tick still reaches the window
    });
    listenTo(mPlayer);
    connect(mScanner, &TripScanner::sig_Trip, this, &PlaybackSession::tripScanned);
    mRescan = new QTimer(this);
    mRescan->setSingleShot(true);
    mRescan->setInterval(kRescanDelayMs);
    connect(mRescan, &QTimer::timeout, this, [this] {
        const QStringList listed = mListed();
        const int index = listed.indexOf(mFilePath);
        if (index >= 0 && mState != Stopped) {
            mScanTicket = mScanner->scan(listed, index);
            mScanPending = true;
        }
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
    // A scan still under way may have taken the list before this file came;
    // a file opened before it was listed had none.
    const bool playsUnscanned = path == mFilePath && !inTrip() && !mScanPending;
    if (added >= 0
        && (playsUnscanned || mScanPending || added == files.indexOf(last) + 1 || added == files.indexOf(first) - 1))
        mRescan->start();
}

PlaybackSession::~PlaybackSession()
{
    // Joins a GPS pass that still reads a file which ended by itself.
    delete mNext;
    delete mPlayer;
}

// Only the player that plays speaks to the window; the waiting one's first
// picture and track are kept for when it takes over.
void PlaybackSession::listenTo(VideoPlayer *player)
{
    connect(player, &VideoPlayer::sig_GetOneFrame, this, [this, player](QImage image) {
        if (player == mPlayer) {
            wakeTimeline(); // a paused picture may be a step to another second
            emit sig_GetOneFrame(image);
        } else if (player == mNext && image.text(QStringLiteral("serial")).toULongLong() == player->serial())
            mNextPicture = image;
    });
    connect(player, &VideoPlayer::sig_DecodeTooSlow, this, [this, player](bool tooSlow) {
        if (player == mPlayer)
            emit sig_DecodeTooSlow(tooSlow);
    });
    // The one check of a track's serial: what reaches the panel is the open file's.
    connect(player, &VideoPlayer::sig_GetGpsData, this, [this, player](GpsData data) {
        if (!data.track || data.serial != player->serial()) {
            qCDebug(lcWindow) << "gps track of an earlier file ignored";
            return;
        }
        if (player == mPlayer)
            takeTrack(data);
        else if (player == mNext)
            mNextGps = data;
    });
    connect(player, &VideoPlayer::sig_TotalTimeChanged, this, [this, player](qint64 uSec) {
        if (player == mPlayer)
            emit sig_TotalTimeChanged(uSec);
    });
    connect(player, &VideoPlayer::sig_StateChanged, this, [this, player](VideoPlayer::PlayerState state) {
        if (player == mPlayer)
            report(state);
    });
    connect(player, &VideoPlayer::sig_PlayStopNormally, this, [this, player](quint64 serial) {
        if (player == mPlayer)
            fileEnded(serial);
    });
}

void PlaybackSession::setVolume(int volume)
{
    for (VideoPlayer *player : {mPlayer, mNext}) {
        if (player)
            player->setVolume(volume);
    }
}

void PlaybackSession::setSpeed(double speed)
{
    for (VideoPlayer *player : {mPlayer, mNext}) {
        if (player)
            player->setSpeed(speed);
    }
}

void PlaybackSession::setOutputSize(const QSize &size)
{
    for (VideoPlayer *player : {mPlayer, mNext}) {
        if (player)
            player->setOutputSize(size);
    }
}

int PlaybackSession::playState() const
{
    return mState == Paused && mPausedDrag() ? PausedDrag : mState;
}

void PlaybackSession::startTimeline()
{
    mTickPosition = -1.0;
    mTimer->start();
}

void PlaybackSession::wakeTimeline()
{
    if (mState != Stopped && !mTimer->isActive())
        startTimeline();
}

void PlaybackSession::setState(VideoPlayer::PlayerState state)
{
    mState = state == VideoPlayer::Playing ? Playing : state == VideoPlayer::Pause ? Paused : Stopped;
    if (mState == Stopped)
        mTimer->stop();
    else if (mState == Playing)
        wakeTimeline();
    qCDebug(lcWindow) << "mPlayState:" << mState;
}

void PlaybackSession::takeTrack(const GpsData &data)
{
    mGpsData = data;
    qCDebug(lcWindow) << "gps track ready, valid:" << data.track->valid << "records:" << data.track->count();
    emit sig_TrackReady(data);
    wakeTimeline(); // the next tick shows the track's second
}

// The window keeps painting while the player waits for the first picture (a
// slow card can take a while); the user's clicks and keys wait until it is there.
bool PlaybackSession::openInPlayer(const QString &path)
{
    // A transport stream's track arrives only while the new file already plays.
    mGpsData = GpsData();
    if (!mSwitching) {
        mTrip = Trip();
        dropNext();
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
        startTimeline();
        // Whether its neighbours follow on is read beside playback.
        if (mTripsOn && !mSwitching && mListed) {
            const QStringList listed = mListed();
            const int index = listed.indexOf(path);
            mScanTicket = index >= 0 ? mScanner->scan(listed, index) : 0;
            mScanPending = index >= 0;
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

void PlaybackSession::openBeforeListed(const QString &path)
{
    if (path.isEmpty() || mOpening || mState != Stopped || !QFileInfo(path).isFile())
        return;
    mOpenedBeforeListed = path;
    mFilePath = path;
    // A failure is for the list's read to tell.
    if (!open(path, false))
        mOpenedBeforeListed.clear();
}

bool PlaybackSession::listedWhileOpen(const QString &path)
{
    return path == std::exchange(mOpenedBeforeListed, QString()) && mFilePath == path && mState != Stopped;
}

bool PlaybackSession::refusedWhileOpen(const QString &path)
{
    return path == std::exchange(mOpenedBeforeListed, QString()) && mFilePath == path;
}

bool PlaybackSession::open(const QString &path, bool play)
{
    mPlayOnceOpen = false; // this open supersedes the play button's
    mPlayer->stop();
    // Stopped already, the player says nothing: the state may still be an earlier file's.
    if (mState != Stopped)
        report(VideoPlayer::Stop);
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
        // The drive stays the timeline: its first file opens as a part of it.
        if (inTrip()) {
            switchPart(0, 0, true);
            break;
        }
        // It plays once the player reports the first picture in, paused.
        mPlayOnceOpen = true;
        if (!openInPlayer(mFilePath)) {
            mPlayOnceOpen = false;
            return;
        }
        if (mState == Paused && std::exchange(mPlayOnceOpen, false))
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

void PlaybackSession::play()
{
    mPlayer->play();
}

void PlaybackSession::stop()
{
    mPlayer->stop(); // nothing when stopped already
}

void PlaybackSession::stepFrame(int direction)
{
    mPlayer->stepFrame(direction);
}

double PlaybackSession::speed() const
{
    return mPlayer->speed();
}

void PlaybackSession::setDragging(bool dragging)
{
    mPlayer->setIsMove(dragging);
}

quint64 PlaybackSession::serial() const
{
    return mPlayer->serial();
}

qint64 PlaybackSession::fileLength() const
{
    return mPlayer->totalTime();
}

double PlaybackSession::filePosition() const
{
    return mPlayer->currentTime();
}

void PlaybackSession::setTrips(bool on, std::function<QStringList()> listed)
{
    mTripsOn = on;
    mListed = std::move(listed);
    if (!on) {
        mTrip = Trip();
        dropNext();
    }
}

void PlaybackSession::tripScanned(quint64 ticket, const Trip &trip)
{
    if (ticket == mScanTicket)
        mScanPending = false;
    const int part = trip.indexOf(mFilePath);
    if (ticket != mScanTicket || !mTripsOn || trip.partCount() < 2 || part < 0 || mState == Stopped)
        return;
    mTrip = trip;
    mPart = part;
    // A drive read again may have gained files before this one: the file
    // waiting keeps its place by its name.
    mNextPart = mNextPath.isEmpty() ? -1 : trip.indexOf(mNextPath);
    emit sig_TripFound();
    QTimer::singleShot(0, this, &PlaybackSession::prepareNext);
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
    wakeTimeline();
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

void PlaybackSession::report(VideoPlayer::PlayerState state)
{
    setState(state);
    emit sig_StateChanged(state);
    // Reported while the open still runs, togglePlay plays once it returns.
    if (state == VideoPlayer::Pause && !mOpening && std::exchange(mPlayOnceOpen, false))
        mPlayer->play();
}

// What follows a file's natural end is decided here: the drive's next file,
// or playback ends.
void PlaybackSession::fileEnded(quint64 serial)
{
    if (serial != mPlayer->serial()) {
        qCDebug(lcWindow) << "end of an earlier file ignored";
        return;
    }
    setState(VideoPlayer::Stop);
    emit sig_FileEnded();
    if (continueTrip())
        return;
    qCDebug(lcWindow) << "normally stop end";
    emit sig_Ended();
}

bool PlaybackSession::continueTrip()
{
    if (!inTrip() || mPart + 1 >= mTrip.partCount())
        return false;
    if (mPreparing) {
        // Taken up once the next file is open.
        mContinueWhenReady = true;
        return true;
    }
    return switchPart(mPart + 1, 0, true);
}

bool PlaybackSession::goToPart(const QString &path)
{
    const int part = inTrip() && mState != Stopped ? mTrip.indexOf(path) : -1;
    if (part < 0)
        return false;
    seek(mTrip.offsetUs(part));
    return true;
}

void PlaybackSession::prepareNext()
{
    const int part = mPart + 1;
    if (!inTrip() || part >= mTrip.partCount() || mOpening || mPreparing || mNextPart == part || mState == Stopped)
        return;
    if (!mNext) {
        mNext = new VideoPlayer;
        listenTo(mNext);
    }
    mNext->stop();
    mNext->setVolume(mPlayer->volume());
    mNext->setSpeed(mPlayer->speed());
    mNext->setOutputSize(mPlayer->outputSize());
    mNextPart = -1;
    mNextPath.clear();
    mNextPicture = QImage();
    mNextGps = GpsData();
    const QString path = mTrip.part(part).path;
    // An open asked for meanwhile (a file the list finished reading) waits
    // as it would for any open.
    mPreparing = true;
    mOpening = true;
    const bool ready = mNext->openFile(path, [] {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kEventSliceMs);
    });
    mOpening = false;
    mPreparing = false;
    // The drive may have been read again, or left, meanwhile.
    const int at = ready && inTrip() ? mTrip.indexOf(path) : -1;
    if (at >= 0 && at == mPart + 1) {
        mNextPart = at;
        mNextPath = path;
    } else
        qCDebug(lcWindow) << "next file of the drive not kept ready:" << path;
    // The end that came meanwhile, handled now.
    if (std::exchange(mContinueWhenReady, false) && !continueTrip())
        emit sig_Ended();
    if (mDeferredOpen)
        QMetaObject::invokeMethod(this, std::exchange(mDeferredOpen, {}), Qt::QueuedConnection);
}

void PlaybackSession::dropNext()
{
    mNextPart = -1;
    mNextPath.clear();
    if (mNext)
        mNext->stop();
}

// The waiting player takes over, already on its first picture: the
// window's surface shows it at once.
bool PlaybackSession::takeNext(qint64 localUs, bool play)
{
    if (!mNext || mNext->state() != VideoPlayer::Pause)
        return false;
    if (mPlayer->state() != VideoPlayer::Stop) {
        mSwitching = true;
        mPlayer->stop();
        mSwitching = false;
    }
    std::swap(mPlayer, mNext);
    mPart = std::exchange(mNextPart, -1);
    mNextPath.clear();
    mFilePath = mTrip.part(mPart).path;
    mGpsData = GpsData();
    emit sig_TotalTimeChanged(mPlayer->totalTime());
    if (!mNextPicture.isNull() && mNextPicture.text(QStringLiteral("serial")).toULongLong() == mPlayer->serial())
        emit sig_GetOneFrame(mNextPicture);
    startTimeline();
    if (localUs > 0)
        mPlayer->seek(localUs);
    if (play)
        mPlayer->play();
    else
        report(VideoPlayer::Pause);
    if (mNextGps.track && mNextGps.serial == mPlayer->serial())
        takeTrack(mNextGps);
    // Not at once: readying the next file first waits for the player that
    // just ended to close its sound device, which would hold up the picture
    // just handed over.
    QTimer::singleShot(kPrepareDelayMs, this, &PlaybackSession::prepareNext);
    return true;
}

bool PlaybackSession::switchPart(int part, qint64 localUs, bool play)
{
    if (part == mNextPart && takeNext(localUs, play))
        return true;
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
    QTimer::singleShot(0, this, &PlaybackSession::prepareNext);
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
