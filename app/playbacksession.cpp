#include "playbacksession.h"

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

} // namespace

PlaybackSession::PlaybackSession(std::function<bool()> pausedDrag, QObject *parent)
    : QObject(parent)
    , mPlayer(new VideoPlayer)
    , mTimer(new QTimer(this))
    , mPausedDrag(std::move(pausedDrag))
{
    mTimer->setInterval(kTimelineIntervalMs);
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
    emit sig_OpenStarted();
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
