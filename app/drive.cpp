#include "drive.h"

#include "tripscanner.h"

#include <QLoggingCategory>
#include <QTimer>

#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

constexpr int kRescanDelayMs = 300; // files listed one after another make one scan

} // namespace

Drive::Drive(VideoPlayer *spare, std::function<bool()> fileOpen, QObject *parent)
    : QObject(parent)
    , mFileOpen(std::move(fileOpen))
    , mScanner(new TripScanner(this))
    , mRescan(new QTimer(this))
    , mSpare(spare)
{
    connect(mScanner, &TripScanner::sig_Trip, this, &Drive::scanned);
    mRescan->setSingleShot(true);
    mRescan->setInterval(kRescanDelayMs);
    connect(mRescan, &QTimer::timeout, this, [this] {
        const QStringList listed = mListed();
        const int index = listed.indexOf(mPath);
        if (index >= 0 && mFileOpen()) {
            mScanTicket = mScanner->scan(listed, index);
            mScanPending = true;
        }
    });
    hear(spare);
}

Drive::~Drive() = default;

// The spare's first picture and track are kept for when it takes over;
// both players are heard, as either may be the spare.
void Drive::hear(VideoPlayer *player)
{
    if (mHeard.contains(player))
        return;
    mHeard.append(player);
    connect(player, &VideoPlayer::sig_GetOneFrame, this, [this, player](QImage image) {
        if (player == mSpare && image.text(QStringLiteral("serial")).toULongLong() == player->serial())
            mNextPicture = image;
    });
    connect(player, &VideoPlayer::sig_GetGpsData, this, [this, player](GpsData data) {
        if (player == mSpare && data.track && data.serial == player->serial())
            mNextGps = data;
    });
    connect(player, &VideoPlayer::sig_Opened, this, [this, player](quint64 serial, bool ok) {
        if (player != mSpare || !mPreparing || serial != player->serial())
            return;
        mPreparing = false;
        // The drive may have been read again, or left, meanwhile.
        const int at = ok && active() ? mTrip.indexOf(mPreparePath) : -1;
        if (at >= 0 && at == mPart + 1) {
            mNextPart = at;
            mNextPath = mPreparePath;
        } else
            qCDebug(lcWindow) << "next file of the drive not kept ready:" << mPreparePath;
        emit sig_NextSettled();
    });
}

void Drive::setEnabled(bool on, std::function<QStringList()> listed)
{
    mEnabled = on;
    mListed = std::move(listed);
    if (!on)
        clear();
}

void Drive::clear()
{
    mTrip = Trip();
    mPart = 0;
    mNextPart = -1;
    mNextPath.clear();
    // An open under way is abandoned: its report never comes.
    mPreparing = false;
    mSpare->stop();
}

void Drive::scan(const QString &path)
{
    mPath = path;
    if (!mEnabled || !mListed)
        return;
    const QStringList listed = mListed();
    const int index = listed.indexOf(path);
    mScanTicket = index >= 0 ? mScanner->scan(listed, index) : 0;
    mScanPending = index >= 0;
}

void Drive::listed(const QString &added, const QString &path)
{
    if (!mEnabled || !mListed)
        return;
    mPath = path;
    const QStringList files = mListed();
    const QString first = active() ? mTrip.part(0).path : path;
    const QString last = active() ? mTrip.part(mTrip.partCount() - 1).path : path;
    const int at = files.indexOf(added);
    // A scan still under way may have taken the list before this file came;
    // a file opened before it was listed had none.
    const bool playsUnscanned = added == path && !active() && !mScanPending;
    if (at >= 0 && (playsUnscanned || mScanPending || at == files.indexOf(last) + 1 || at == files.indexOf(first) - 1))
        mRescan->start();
}

void Drive::scanned(quint64 ticket, const Trip &trip)
{
    if (ticket == mScanTicket)
        mScanPending = false;
    const int part = trip.indexOf(mPath);
    if (ticket != mScanTicket || !mEnabled || trip.partCount() < 2 || part < 0 || !mFileOpen())
        return;
    mTrip = trip;
    mPart = part;
    // A drive read again may have gained files before this one: the file
    // waiting keeps its place by its name.
    mNextPart = mNextPath.isEmpty() ? -1 : trip.indexOf(mNextPath);
    emit sig_Found();
}

void Drive::dropTrip(int part)
{
    mPart = part;
    mTrip = Trip();
}

void Drive::prepareNext(const VideoPlayer &main)
{
    const int part = mPart + 1;
    if (!active() || part >= mTrip.partCount() || mPreparing || mNextPart == part)
        return;
    mSpare->stop();
    mSpare->setVolume(main.volume());
    mSpare->setSpeed(main.speed());
    mSpare->setOutputSize(main.outputSize());
    mNextPart = -1;
    mNextPath.clear();
    mNextPicture = QImage();
    mNextGps = GpsData();
    mPreparePath = mTrip.part(part).path;
    mPreparing = mSpare->openFile(mPreparePath);
}

VideoPlayer *Drive::takeOver(int part, VideoPlayer *current, QImage *picture, GpsData *track)
{
    if (part != mNextPart || mSpare->state() != VideoPlayer::Pause)
        return nullptr;
    hear(current);
    VideoPlayer *next = std::exchange(mSpare, current);
    mPart = std::exchange(mNextPart, -1);
    mNextPath.clear();
    *picture = mNextPicture.text(QStringLiteral("serial")).toULongLong() == next->serial() ? mNextPicture : QImage();
    *track = mNextGps.track && mNextGps.serial == next->serial() ? mNextGps : GpsData();
    return next;
}
