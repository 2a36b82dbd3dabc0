// The window's side of the telemetry panel: it hands the panel the open
// file's track, the playback position and the unit.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "formfilelist.h"
#include "needleangles.h"
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
    if (!data.track || data.serial != mPlayer->serial()) {
        qCDebug(lcWindow) << "gps track of an earlier file ignored";
        return;
    }
    mGpsData = data;
    qCDebug(lcWindow) << "gps track ready, valid:" << data.track->valid << "records:" << data.track->count();
    mPanel->setTrack(data.track, data.version);
    mFileList->markTrack(mFilePath, !mPanel->showsNoGps());
}

void MainWindow::slotTimerTimeOut()
{
    if (sender() != mTimer)
        return;
    const qint64 second = TelemetryTimeline::currentSecond(mPlayer->currentTime());
    if (mPlayState == 0)
        mSeekBar->showPlaying(second);
    mPanel->showSecond(second, mPlayState == 0, mSeekBar->takeSeek());
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
    mPanel->setSpeedInMph(mph, mPlayState != 2, TelemetryTimeline::currentSecond(mPlayer->currentTime()));
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("Unit"), mph ? QStringLiteral("1") : QStringLiteral("0"));
}
