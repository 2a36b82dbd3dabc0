#include "panelfeed.h"

#include "formfilelist.h"
#include "playbacksession.h"
#include "seekbar.h"
#include "telemetrytimeline.h"

namespace {

constexpr int kMapWaitMs = 1000;

} // namespace

PanelFeed::PanelFeed(const TelemetryWidgets &widgets, const QString &tileUrl, PlaybackSession *session,
                     SeekBar *seekBar, FormFileList *list, QObject *parent)
    : QObject(parent)
    , mPanel(std::make_unique<TelemetryPanel>(widgets, tileUrl))
    , mSession(session)
    , mSeekBar(seekBar)
    , mList(list)
    , mMapFrame(widgets.mapFrame)
{
    connect(mPanel.get(), &TelemetryPanel::sig_SeekSecond, seekBar, &SeekBar::seekToSecond);
    connect(session, &PlaybackSession::sig_OpenStarted, mPanel.get(), &TelemetryPanel::clearTrack);
    connect(session, &PlaybackSession::sig_TripFound, this, &PanelFeed::showTrip);
    connect(session, &PlaybackSession::sig_TrackReady, this, &PanelFeed::takeTrack);
    if (!mMapFrame)
        return;
    // Queued behind the paint the window has just asked for.
    mFirstPicture = connect(session, &PlaybackSession::sig_GetOneFrame, this, &PanelFeed::startMap, Qt::QueuedConnection);
    mMapWait.setInterval(kMapWaitMs);
    connect(&mMapWait, &QTimer::timeout, this, [this] {
        if (mMapFrame && mMapFrame->isVisible() && !mSession->isOpening())
            startMap();
    });
    mMapWait.start();
}

void PanelFeed::startMap()
{
    mMapWait.stop();
    disconnect(mFirstPicture);
    mPanel->startMap();
}

PanelFeed::~PanelFeed() = default;

qint64 PanelFeed::second() const
{
    return TelemetryTimeline::currentSecond(mSession->position());
}

void PanelFeed::tick()
{
    const bool playing = mSession->state() == PlaybackSession::Playing;
    if (playing)
        mSeekBar->showPlaying(second());
    mPanel->showSecond(second(), playing, mSeekBar->takeSeek());
}

void PanelFeed::takeTrack(const GpsData &data)
{
    if (mList)
        mList->markTrack(mSession->filePath(), data.track->valid && data.track->count() > 0);
    // Within a drive the panel shows the drive's track.
    if (!mSession->inTrip())
        mPanel->setTrack(data.track, data.version);
}

void PanelFeed::showTrip()
{
    mSeekBar->setTotal(mSession->length());
    // A later part opened paused stands where it starts on the drive.
    mSeekBar->showPlaying(second());
    qint16 version = 0;
    mPanel->setShowPlayed(true);
    // The track first: the chart starts over with nothing of the file's own.
    mPanel->setTrack(mSession->trip().combinedTrack(&version), version);
    mPanel->startChart(int(mSession->length() / 1000000));
    mPanel->showSecond(second(), mSession->state() == PlaybackSession::Playing, true);
}

void PanelFeed::stopped()
{
    mSeekBar->takeSeek();
    mPanel->reset();
}

bool PanelFeed::setSpeedInMph(bool mph)
{
    if (mph == mPanel->speedInMph())
        return false;
    mPanel->setSpeedInMph(mph);
    return true;
}
