#include "playbacksession.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

constexpr int kTimelineIntervalMs = 500;
constexpr int kPrepareDelayMs = 500; // after a take-over, before the next file is readied

} // namespace

PlaybackSession::PlaybackSession(std::function<bool()> pausedDrag, QObject *parent)
    : QObject(parent)
    , mPlayer(new VideoPlayer)
    , mTimer(new QTimer(this))
    , mPausedDrag(std::move(pausedDrag))
{
    auto *spare = new VideoPlayer;
    mDrive = new Drive(spare, [this] { return !stopped(); }, this);
    mTimer->setInterval(kTimelineIntervalMs);
    connect(mTimer, &QTimer::timeout, this, [this] {
        const double now = position();
        const bool still = mState == Paused && now == mTickPosition && !mPlayer->seekWaiting();
        mTickPosition = now;
        if (still)
            mTimer->stop(); // this tick still reaches the window
    });
    listenTo(mPlayer);
    listenTo(spare);
    connect(mDrive, &Drive::sig_Found, this, [this] {
        emit sig_TripFound();
        QTimer::singleShot(0, this, &PlaybackSession::prepareNext);
    });
    connect(mDrive, &Drive::sig_NextSettled, this, [this] {
        // The end that came meanwhile, handled now.
        if (std::exchange(mContinueWhenReady, false) && !continueTrip())
            emit sig_Ended();
    });
}

PlaybackSession::~PlaybackSession()
{
    // The players' last reports reach nobody: whoever listened may be gone.
    blockSignals(true);
    mStopping = true;
    // Joins a GPS pass that still reads a file which ended by itself.
    // The players' threads end before anything that hears them goes.
    mFollowers.clear();
    delete mDrive->spare();
    delete mPlayer;
    delete mDrive;
}

// Only the player that plays speaks to the window.
void PlaybackSession::listenTo(VideoPlayer *player)
{
    connect(player, &VideoPlayer::sig_GetOneFrame, this, [this, player](QImage image) {
        if (player != mPlayer || image.text(QStringLiteral("serial")).toULongLong() != player->serial())
            return; // of the spare, or of an open superseded or stopped
        wakeTimeline(); // a paused picture may be a step to another second
        emit sig_GetOneFrame(image);
    });
    connect(player, &VideoPlayer::sig_DecodeTooSlow, this, [this, player](bool tooSlow) {
        if (player == mPlayer)
            emit sig_DecodeTooSlow(tooSlow);
    });
    // The one check of a track's serial: what reaches the panel is the open file's.
    connect(player, &VideoPlayer::sig_GetGpsData, this, [this, player](GpsData data) {
        if (player != mPlayer)
            return;
        if (!data.track || data.serial != player->serial()) {
            qCDebug(lcWindow) << "gps track of an earlier file ignored";
            return;
        }
        takeTrack(data);
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
        if (player == mPlayer && serial == player->serial())
            opened(ok);
    });
    connect(player, &VideoPlayer::sig_PlayStopNormally, this, [this, player](quint64 serial) {
        if (player == mPlayer)
            fileEnded(serial);
    });
}

void PlaybackSession::setVolume(int volume)
{
    mPlayer->setVolume(volume);
    mDrive->spare()->setVolume(volume);
}

void PlaybackSession::setSpeed(double speed)
{
    mPlayer->setSpeed(speed);
    mDrive->spare()->setSpeed(speed);
    for (Follower &f : mFollowers)
        f.player->setSpeed(speed);
}

void PlaybackSession::setOutputSize(const QSize &size)
{
    mPlayer->setOutputSize(size);
    mDrive->spare()->setOutputSize(size);
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
    qCDebug(lcWindow) << "mPlayState:" << int(mState);
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
        followersPlay(true);
        report(Playing);
        break;
    case VideoPlayer::Pause:
        followersPlay(false);
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

void PlaybackSession::takeTrack(const GpsData &data)
{
    mGpsData = data;
    qCDebug(lcWindow) << "gps track ready, valid:" << data.track->valid << "records:" << data.track->count();
    emit sig_TrackReady(data);
    wakeTimeline(); // the next tick shows the track's second
}

void PlaybackSession::stopPlayer()
{
    mStopping = true;
    mPlayer->stop(); // nothing when stopped already
    mStopping = false;
}

void PlaybackSession::open(const QString &path, bool play)
{
    clearFollowers(); // of another moment
    stopPlayer();
    // Stopped already, the player says nothing: the state may still be an earlier file's.
    if (mState == Playing || mState == Paused)
        report(Stopped);
    mPlayAfterOpen = play;
    mSeekAfterOpen = 0;
    // A transport stream's track arrives only while the new file already plays.
    mGpsData = GpsData();
    if (!mSwitching) {
        mDrive->clear();
        mContinueWhenReady = false;
        emit sig_OpenStarted();
    }
    mOpenPath = path;
    mPlayer->openFile(path); // stopped above: it takes the file
}

// The player that plays is paused on its first picture, or cannot play the file.
void PlaybackSession::opened(bool ok)
{
    const bool switched = std::exchange(mSwitching, false);
    if (!ok) {
        qCDebug(lcWindow) << "cannot play:" << mOpenPath;
        mPlayAfterOpen = false;
        if (switched) {
            // The drive is broken where this file was: what played stays as it ends.
            qCWarning(lcWindow) << "next part of the drive cannot be played:" << mOpenPath;
            mDrive->dropTrip(mSwitchFrom);
            mSwitching = true; // the window keeps the last picture
            report(Failed);
            mSwitching = false;
        } else {
            report(Failed);
        }
        emit sig_OpenFailed(mOpenPath);
        return;
    }
    startTimeline();
    // Whether its neighbours follow on is read beside playback.
    if (!switched)
        mDrive->scan(mOpenPath);
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
    if (mState == Opening) {
        mPlayAfterOpen = !mPlayAfterOpen;
        return;
    }
    switch (playState()) {
    case Stopped:
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
    for (Follower &f : mFollowers)
        f.player->stop();
    mPlayAfterOpen = false;
    // A part opening is a stop of playback too: the window hears it.
    mSwitching = false;
    stopPlayer();
}

void PlaybackSession::stepFrame(int direction)
{
    mPlayer->stepFrame(direction);
    // The followers show the moment the step lands on.
    if (mState == Paused)
        followersSeek(mPlayer->seekTarget());
}

void PlaybackSession::setDragging(bool dragging)
{
    mPlayer->setIsMove(dragging);
}

void PlaybackSession::setTrips(bool on, std::function<QStringList()> listed)
{
    mDrive->setEnabled(on, std::move(listed));
}

void PlaybackSession::listed(const QString &path)
{
    if (!stopped() && !mSwitching)
        mDrive->listed(path, mFilePath);
}

double PlaybackSession::position() const
{
    return double(partOffsetUs()) / 1e6 + mPlayer->currentTime();
}

qint64 PlaybackSession::length() const
{
    return inTrip() ? trip().lengthUs() : mPlayer->totalTime();
}

void PlaybackSession::seek(qint64 positionUs)
{
    if (stopped() && inTrip())
        return; // no part of an ended drive opens by itself
    wakeTimeline();
    qint64 local = positionUs;
    const int part = inTrip() ? trip().partAt(positionUs, &local) : mDrive->part();
    if (part != mDrive->part())
        switchPart(part, local, mState == Playing || (mState == Opening && mPlayAfterOpen));
    else if (mState == Opening)
        mSeekAfterOpen = local; // the player takes it once its first picture is in
    else {
        mPlayer->seek(local);
        followersSeek(local);
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
    followersPlay(false);
    emit sig_FileEnded();
    if (continueTrip())
        return;
    qCDebug(lcWindow) << "normally stop end";
    emit sig_Ended();
}

bool PlaybackSession::continueTrip()
{
    if (!inTrip() || mDrive->part() + 1 >= trip().partCount())
        return false;
    if (mDrive->preparing()) {
        // Taken up once the next file is open.
        mContinueWhenReady = true;
        return true;
    }
    switchPart(mDrive->part() + 1, 0, true);
    return true;
}

bool PlaybackSession::goToPart(const QString &path)
{
    const int part = inTrip() && !stopped() ? trip().indexOf(path) : -1;
    if (part < 0)
        return false;
    seek(trip().offsetUs(part));
    return true;
}

void PlaybackSession::prepareNext()
{
    if (mState != Opening && !stopped())
        mDrive->prepareNext(*mPlayer);
}

// The waiting player takes over, already on its first picture: the
// window's surface shows it at once.
bool PlaybackSession::takeOver(int part, qint64 localUs, bool play)
{
    QImage picture;
    GpsData track;
    VideoPlayer *next = mDrive->takeOver(part, mPlayer, &picture, &track);
    if (!next)
        return false;
    clearFollowers(); // of the part that ended
    VideoPlayer *previous = std::exchange(mPlayer, next);
    // No longer the one that plays: its stop reaches nobody.
    previous->stop();
    mSwitching = false;
    mFilePath = trip().part(part).path;
    mOpenPath = mFilePath;
    mGpsData = GpsData();
    emit sig_TotalTimeChanged(mPlayer->totalTime());
    if (!picture.isNull())
        emit sig_GetOneFrame(picture);
    startTimeline();
    if (localUs > 0)
        mPlayer->seek(localUs);
    if (play)
        mPlayer->play();
    else
        report(Paused);
    if (track.track)
        takeTrack(track);
    // Not at once: readying the next file first waits for the player that
    // just ended to close its sound device, which would hold up the picture
    // just handed over.
    QTimer::singleShot(kPrepareDelayMs, this, &PlaybackSession::prepareNext);
    return true;
}

void PlaybackSession::switchPart(int part, qint64 localUs, bool play)
{
    if (takeOver(part, localUs, play))
        return;
    if (!mSwitching)
        mSwitchFrom = mDrive->part();
    mSwitching = true;
    mDrive->setPart(part);
    mFilePath = trip().part(part).path;
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
    for (int i = 0; i < trip().partCount(); ++i)
        tracks.push_back({trip().part(i).path, trip().part(i).track, trip().part(i).gpsVersion});
    return tracks;
}

int PlaybackSession::addFollower(const QString &path, double offsetSeconds)
{
    const int index = int(mFollowers.size());
    auto player = std::make_unique<VideoPlayer>();
    VideoPlayer *follower = player.get();
    mFollowers.push_back({std::move(player), offsetSeconds});
    follower->follow(mPlayer->clock(), offsetSeconds);
    follower->setSpeed(mPlayer->speed());
    connect(follower, &VideoPlayer::sig_GetOneFrame, this, [this, follower, index](QImage image) {
        if (image.text(QStringLiteral("serial")).toULongLong() == follower->serial())
            emit sig_FollowerPicture(index, image);
    });
    // Open, it joins the main one where it stands.
    connect(follower, &VideoPlayer::sig_Opened, this, [this, follower, index](quint64 serial, bool ok) {
        if (!ok || serial != follower->serial() || index >= int(mFollowers.size()))
            return;
        const qint64 at = mPlayer->seekWaiting() ? mPlayer->seekTarget() : qint64(mPlayer->currentTime() * 1e6);
        follower->seek(qMax<qint64>(0, at - qint64(mFollowers[index].offset * 1e6)));
        if (mState == Playing)
            follower->play();
    });
    follower->openFile(path);
    return index;
}

void PlaybackSession::clearFollowers()
{
    // Their threads end here, before their reports could find them gone.
    mFollowers.clear();
}

void PlaybackSession::setFollowerOutputSize(int index, const QSize &size)
{
    if (index >= 0 && index < int(mFollowers.size()))
        mFollowers[index].player->setOutputSize(size);
}

void PlaybackSession::followersPlay(bool play)
{
    for (Follower &f : mFollowers)
        play ? f.player->play() : f.player->pause();
}

void PlaybackSession::followersSeek(qint64 localUs)
{
    for (Follower &f : mFollowers)
        f.player->seek(qMax<qint64>(0, localUs - qint64(f.offset * 1e6)));
}
