#include "playbacksession.h"

#include "tripscanner.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

constexpr int kTimelineIntervalMs = 500;
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
        if (index >= 0 && !stopped()) {
            mScanTicket = mScanner->scan(listed, index);
            mScanPending = true;
        }
    });
}

void PlaybackSession::listed(const QString &path)
{
    if (!mTripsOn || !mListed || stopped() || mSwitching)
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
    mStopping = true;
    // Joins a GPS pass that still reads a file which ended by itself.
    delete mNext;
    delete mPlayer;
}

// Only the player that plays speaks to the window; the waiting one's first
// picture and track are kept for when it takes over.
void PlaybackSession::listenTo(VideoPlayer *player)
{
    connect(player, &VideoPlayer::sig_GetOneFrame, this, [this, player](QImage image) {
        if (image.text(QStringLiteral("serial")).toULongLong() != player->serial())
            return; // of an open superseded or stopped
        if (player == mPlayer) {
            wakeTimeline(); // a paused picture may be a step to another second
            emit sig_GetOneFrame(image);
        } else if (player == mNext)
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
            playerState(state);
    });
    connect(player, &VideoPlayer::sig_Opened, this, [this, player](quint64 serial, bool ok) {
        opened(player, serial, ok);
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
    if (mState == Paused && mPausedDrag())
        return PausedDrag;
    return mState == Playing || mState == Paused ? mState : Stopped;
}

void PlaybackSession::startTimeline()
{
    mTickPosition = -1.0;
    mTimer->start();
}

void PlaybackSession::wakeTimeline()
{
    if ((mState == Playing || mState == Paused) && !mTimer->isActive())
        startTimeline();
}

void PlaybackSession::setState(State state)
{
    mState = state;
    if (mState == Playing)
        wakeTimeline();
    else if (mState != Paused)
        mTimer->stop();
    qCDebug(lcWindow) << "mPlayState:" << mState;
}

void PlaybackSession::takeTrack(const GpsData &data)
{
    mGpsData = data;
    qCDebug(lcWindow) << "gps track ready, valid:" << data.track->valid << "records:" << data.track->count();
    emit sig_TrackReady(data);
    wakeTimeline(); // the next tick shows the track's second
}

void PlaybackSession::openBeforeListed(const QString &path)
{
    if (path.isEmpty() || !stopped() || !QFileInfo(path).isFile())
        return;
    mOpenedBeforeListed = path;
    mFilePath = path;
    open(path, false);
}

bool PlaybackSession::listedWhileOpen(const QString &path)
{
    return path == std::exchange(mOpenedBeforeListed, QString()) && mFilePath == path && !stopped();
}

bool PlaybackSession::refusedWhileOpen(const QString &path)
{
    return path == std::exchange(mOpenedBeforeListed, QString()) && mFilePath == path;
}

void PlaybackSession::stopPlayer()
{
    mStopping = true;
    mPlayer->stop(); // nothing when stopped already
    mStopping = false;
}

void PlaybackSession::open(const QString &path, bool play)
{
    stopPlayer();
    // Stopped already, the player says nothing: the state may still be an earlier file's.
    if (mState == Playing || mState == Paused)
        report(Stopped);
    mPlayAfterOpen = play;
    mSeekAfterOpen = 0;
    // A transport stream's track arrives only while the new file already plays.
    mGpsData = GpsData();
    if (!mSwitching) {
        mTrip = Trip();
        dropNext();
        emit sig_OpenStarted();
    }
    mOpenPath = path;
    mPlayer->openFile(path); // stopped above: it takes the file
}

// The player that plays is paused on its first picture, or cannot play the file.
void PlaybackSession::opened(VideoPlayer *player, quint64 serial, bool ok)
{
    if (serial != player->serial())
        return;
    if (player == mNext) {
        nextOpened(ok);
        return;
    }
    if (player != mPlayer)
        return;
    if (!ok) {
        qCDebug(lcWindow) << "cannot play:" << mOpenPath;
        mPlayAfterOpen = false;
        if (mOpenedBeforeListed == mOpenPath)
            mOpenedBeforeListed.clear(); // a failure is for the list's read to tell
        if (mSwitching) {
            // The drive is broken where this file was: what played stays as it ends.
            qCWarning(lcWindow) << "next part of the drive cannot be played:" << mOpenPath;
            mPart = mSwitchFrom;
            mTrip = Trip();
            report(Failed);
            mSwitching = false;
        } else {
            report(Failed);
        }
        emit sig_OpenFailed(mOpenPath);
        return;
    }
    const bool switched = std::exchange(mSwitching, false);
    startTimeline();
    // Whether its neighbours follow on is read beside playback.
    if (mTripsOn && !switched && mListed) {
        const QStringList listed = mListed();
        const int index = listed.indexOf(mOpenPath);
        mScanTicket = index >= 0 ? mScanner->scan(listed, index) : 0;
        mScanPending = index >= 0;
    }
    if (mSeekAfterOpen > 0)
        mPlayer->seek(std::exchange(mSeekAfterOpen, 0));
    if (std::exchange(mPlayAfterOpen, false))
        mPlayer->play();
    if (switched)
        QTimer::singleShot(0, this, &PlaybackSession::prepareNext);
}

void PlaybackSession::togglePlay()
{
    if (!QFileInfo(mFilePath).isFile())
        return;
    switch (playState()) {
    case Stopped:
        if (mState == Opening) {
            mPlayAfterOpen = !mPlayAfterOpen;
            break;
        }
        // The drive stays the timeline: its first file opens as a part of it.
        if (inTrip())
            switchPart(0, 0, true);
        else
            open(mFilePath, true);
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
    if (mState == Opening)
        mPlayAfterOpen = !mPlayAfterOpen;
    else if (playState() == Playing)
        mPlayer->pause();
    else if (playState() == Paused)
        mPlayer->play();
}

void PlaybackSession::play()
{
    if (mState == Opening)
        mPlayAfterOpen = true;
    else
        mPlayer->play();
}

void PlaybackSession::stop()
{
    mPlayAfterOpen = false;
    // A part opening is a stop of playback too: the window hears it.
    mSwitching = false;
    stopPlayer();
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
    if (ticket != mScanTicket || !mTripsOn || trip.partCount() < 2 || part < 0 || stopped())
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
    qint64 local = positionUs;
    const int part = inTrip() ? mTrip.partAt(positionUs, &local) : mPart;
    if (part != mPart)
        switchPart(part, local, mState == Playing || (mState == Opening && mPlayAfterOpen));
    else if (mState == Opening)
        mSeekAfterOpen = local; // the player takes it once its first picture is in
    else
        mPlayer->seek(local);
}

void PlaybackSession::report(State state)
{
    setState(state);
    emit sig_StateChanged(state);
}

void PlaybackSession::playerState(VideoPlayer::PlayerState state)
{
    switch (state) {
    case VideoPlayer::Playing:
        report(Playing);
        break;
    case VideoPlayer::Pause:
        report(Paused);
        break;
    case VideoPlayer::Opening:
        report(Opening);
        break;
    case VideoPlayer::Stop:
        // Opening, a stop not asked for is the open failing: sig_Opened tells.
        if (mState != Opening || mStopping)
            report(Stopped);
        break;
    }
}

// What follows a file's natural end is decided here: the drive's next file,
// or playback ends.
void PlaybackSession::fileEnded(quint64 serial)
{
    if (serial != mPlayer->serial()) {
        qCDebug(lcWindow) << "end of an earlier file ignored";
        return;
    }
    setState(Stopped);
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
    switchPart(mPart + 1, 0, true);
    return true;
}

bool PlaybackSession::goToPart(const QString &path)
{
    const int part = inTrip() && !stopped() ? mTrip.indexOf(path) : -1;
    if (part < 0)
        return false;
    seek(mTrip.offsetUs(part));
    return true;
}

void PlaybackSession::prepareNext()
{
    const int part = mPart + 1;
    if (!inTrip() || part >= mTrip.partCount() || mState == Opening || mPreparing || mNextPart == part || stopped())
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
    mPreparePath = mTrip.part(part).path;
    mPreparing = mNext->openFile(mPreparePath);
}

void PlaybackSession::nextOpened(bool ok)
{
    mPreparing = false;
    // The drive may have been read again, or left, meanwhile.
    const int at = ok && inTrip() ? mTrip.indexOf(mPreparePath) : -1;
    if (at >= 0 && at == mPart + 1) {
        mNextPart = at;
        mNextPath = mPreparePath;
    } else
        qCDebug(lcWindow) << "next file of the drive not kept ready:" << mPreparePath;
    // The end that came meanwhile, handled now.
    if (std::exchange(mContinueWhenReady, false) && !continueTrip())
        emit sig_Ended();
}

void PlaybackSession::dropNext()
{
    mNextPart = -1;
    mNextPath.clear();
    // An open under way is abandoned: its report never comes.
    mPreparing = false;
    mContinueWhenReady = false;
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
        stopPlayer();
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
        report(Paused);
    if (mNextGps.track && mNextGps.serial == mPlayer->serial())
        takeTrack(mNextGps);
    // Not at once: readying the next file first waits for the player that
    // just ended to close its sound device, which would hold up the picture
    // just handed over.
    QTimer::singleShot(kPrepareDelayMs, this, &PlaybackSession::prepareNext);
    return true;
}

void PlaybackSession::switchPart(int part, qint64 localUs, bool play)
{
    if (part == mNextPart && takeNext(localUs, play))
        return;
    if (!mSwitching)
        mSwitchFrom = mPart;
    mSwitching = true;
    mPart = part;
    mFilePath = mTrip.part(part).path;
    open(mFilePath, play);
    mSeekAfterOpen = localUs;
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
