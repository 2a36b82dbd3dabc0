// The window's side of the telemetry panel: it hands the panel the open
// file's track, the playback position and the unit.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "formfilelist.h"
#include "needleangles.h"
#include "playbacksession.h"
#include "setupmenu.h"
#include "telemetrypanel.h"
#include "seekbar.h"

#include <QLoggingCategory>
#include <QTimer>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

void MainWindow::setupTelemetry(MapView map)
{
    TelemetryWidgets widgets;
    widgets.speed = ui->labelSpeed_5;
    widgets.longitude = ui->labelSpeed_6;
    widgets.latitude = ui->labelSpeed_7;
    widgets.dateTime = ui->labelDateTime;
    widgets.speedUnit = ui->labelSpeedUint;
    widgets.dashboardUnit = ui->labelDashboardSpeedUnit;
    widgets.dashboard = ui->widgetDashboard;
    widgets.compass = ui->widgetCompass;
    widgets.chart = ui->widgetChart;
    widgets.mapFrame = map == MapView::Web ? ui->frameMap : nullptr;
    QString tileUrl;
    mSettings->readString(QStringLiteral("Setup"), QStringLiteral("mapTileUrl"), tileUrl);
    mPanel = std::make_unique<TelemetryPanel>(widgets, tileUrl);
    connect(mPanel.get(), &TelemetryPanel::sig_MapCall, this, &MainWindow::sig_MapCall);
    connect(mPanel.get(), &TelemetryPanel::sig_SeekSecond, mSeekBar, &SeekBar::seekToSecond);
}

SpeedChart *MainWindow::speedChart() const
{
    return mPanel->chart();
}

MapBridge *MainWindow::mapBridge() const
{
    return mPanel->map();
}

int MainWindow::speedToAngle(float speed)
{
    return ::speedToAngle(speed);
}

int MainWindow::headingToCompassAngle(float heading)
{
    return ::headingToCompassAngle(heading);
}

void MainWindow::slotupdateDashboard(int angle)
{
    mPanel->updateDashboard(angle);
}

void MainWindow::slotupdateCompass(int angle)
{
    mPanel->updateCompass(angle);
}

void MainWindow::slotGetGpsData(const GpsData &data)
{
    if (!mSession->takeGpsData(data))
        return;
    mFileList->markTrack(mSession->filePath(), data.track->valid && data.track->count() > 0);
    // Within a drive the panel shows the drive's track.
    if (!mSession->inTrip())
        mPanel->setTrack(data.track, data.version);
}

void MainWindow::slotTimerTimeOut()
{
    if (sender() != mSession->timer())
        return;
    const qint64 second = TelemetryTimeline::currentSecond(mSession->position());
    const bool playing = mSession->state() == PlaybackSession::Playing;
    if (playing)
        mSeekBar->showPlaying(second);
    mPanel->showSecond(second, playing, mSeekBar->takeSeek());
}

bool MainWindow::speedInMph() const
{
    return mPanel->speedInMph();
}

void MainWindow::setSpeedInMph(bool mph)
{
    // The checked unit action shows the choice; the panel keeps it.
    mMenu->checkUnit(mph);
    if (mph == mPanel->speedInMph())
        return;
    mPanel->setSpeedInMph(mph, mSession->state() != PlaybackSession::Stopped, TelemetryTimeline::currentSecond(mSession->position()));
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("Unit"), mph ? QStringLiteral("1") : QStringLiteral("0"));
}

void MainWindow::showTrip()
{
    const qint64 seconds = mSession->length() / 1000000;
    mSeekBar->setTotal(mSession->length());
    mPanel->startChart(int(seconds));
    qint16 version = 0;
    mPanel->setShowPlayed(true);
    mPanel->setTrack(mSession->trip().combinedTrack(&version), version);
    mPanel->showSecond(TelemetryTimeline::currentSecond(mSession->position()),
                       mSession->state() == PlaybackSession::Playing, true);
}
