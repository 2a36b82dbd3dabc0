// The telemetry panel: the route and the moving position on the map, the
// speed, position and date labels, the gauge and compass needles and the
// speed chart, all following the playback position.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "mapbridge.h"
#include "mapcalls.h"
#include "mycompassthread.h"
#include "mythread.h"
#include "needleangles.h"
#include "needlepainter.h"
#include "settings.h"
#include "speedchart.h"
#include "telemetryformat.h"
#include "timetext.h"

#include <QLoggingCategory>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

constexpr int kMapFrameWidth = 319;  // pixels, beside the video
constexpr int kMapFrameHeight = 491;

const std::tuple<qint64, bool, bool, int> kNothingShown{-1, false, false, -1};

} // namespace

void MainWindow::setupTelemetry(MapView map)
{
    if (map == MapView::Web) {
        ui->frameMap->resize(kMapFrameWidth, kMapFrameHeight);
        chooseMapRenderer();
        mMap = new MapBridge(ui->frameMap, this);
        // The view fills the frame at every size of the window.
        auto *layout = new QVBoxLayout(ui->frameMap);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(mMap->view());
        QString tileUrl;
        mSettings->readString(QStringLiteral("Setup"), QStringLiteral("mapTileUrl"), tileUrl);
        mMap->load(tileUrl);
    }

    mChart = std::make_unique<SpeedChart>(ui->widgetChart);
    mChart->setup(mUnitMph == 1);

    mDashboardPainter = std::make_unique<NeedlePainter>(ui->widgetDashboard, QStringLiteral(":/image/RedArrow.png"));
    mCompassPainter = std::make_unique<NeedlePainter>(ui->widgetCompass, QStringLiteral(":/image/CompassPointer.png"));
    mDashboardThread = new mythread(this);
    connect(mDashboardThread, &mythread::sig_updateDashboard, this, &MainWindow::slotupdateDashboard);
    mDashboardThread->start();
    mCompassThread = new mycompassthread(this);
    connect(mCompassThread, &mycompassthread::sig_updateCompass, this, &MainWindow::slotupdateCompass);
    mCompassThread->start();
}

void MainWindow::stopNeedles()
{
    for (QThread *needle : {static_cast<QThread *>(mDashboardThread), static_cast<QThread *>(mCompassThread)}) {
        if (!needle)
            continue;
        // A stop ends a sweep at once: closing never waits for a needle.
        if (auto *gauge = qobject_cast<mythread *>(needle))
            gauge->requestStop();
        else if (auto *compass = qobject_cast<mycompassthread *>(needle))
            compass->requestStop();
        needle->wait();
    }
}

int MainWindow::speedToAngle(float speed)
{
    return ::speedToAngle(speed);
}

int MainWindow::headingToCompassAngle(float heading)
{
    return ::headingToCompassAngle(heading);
}

// A step repaints where the needle was and where it is, not the whole dial:
// the needles step up to 33 times a second each, and the dial image and the
// panel's backgrounds beneath are most of a whole repaint.
void MainWindow::slotupdateDashboard(int angle)
{
    const QRect dirty = mDashboardPainter->needleRect(mDashboardAngle) | mDashboardPainter->needleRect(angle);
    mDashboardAngle = angle;
    ui->widgetDashboard->update(dirty);
}

void MainWindow::slotupdateCompass(int angle)
{
    const QRect dirty = mCompassPainter->needleRect(mCompassAngle) | mCompassPainter->needleRect(angle);
    mCompassAngle = angle;
    ui->widgetCompass->update(dirty);
}

bool MainWindow::paintNeedle(QObject *watched, QEvent *event)
{
    return mDashboardPainter->handleEvent(watched, event, mDashboardAngle)
           || mCompassPainter->handleEvent(watched, event, mCompassAngle);
}

void MainWindow::setNeedleTargets(int dashboard, int compass)
{
    mDashboardThread->setTargetAngle(dashboard);
    mCompassThread->setTargetAngle(compass);
}

void MainWindow::runMapCall(const QString &call)
{
    if (mMap)
        mMap->run(call);
    emit sig_MapCall(call);
}

void MainWindow::slotGetGpsData(const GpsData &data)
{
    if (!data.track || data.serial != mPlayer->serial()) {
        qCDebug(lcWindow) << "gps track of an earlier file ignored";
        return;
    }
    mGpsData = data;
    mTimeline.setTrack(data.track, data.version);
    mPanelShown = kNothingShown;
    qCDebug(lcWindow) << "gps track ready, valid:" << data.track->valid << "records:" << data.track->count();
    drawRoute();
}

void MainWindow::drawRoute()
{
    runMapCall(mapCleanCall());
    QVector<double> longitudes;
    QVector<double> latitudes;
    mTimeline.route(fixGpsData(), longitudes, latitudes);
    if (!longitudes.isEmpty())
        runMapCall(mapShowArrayCall(longitudes, latitudes));
}

void MainWindow::slotTimerTimeOut()
{
    if (sender() != mTimer)
        return;
    const qint64 second = TelemetryTimeline::currentSecond(mPlayer->currentTime());
    if (mPlayState == 0) {
        if (!mSliderHeld)
            ui->horizontalSlider->setValue(int(second));
        ui->curtimelabel->setText(timeText(second));
    }
    if (!mTimeline.isValid())
        return;
    // A record a second, two ticks a second: the second tick would repeat
    // the first (a chart point, a replot, two map calls); paused, every one would.
    const bool mph = speedInMph();
    const auto panel = std::make_tuple(second, mph, fixGpsData(), mPlayState);
    if (panel == mPanelShown && !mSeekPending)
        return;
    mPanelShown = panel;

    const TelemetrySecond shown = mTimeline.at(second, mph, fixGpsData());
    if (shown.hasRecord) {
        ui->labelDateTime->setText(shown.dateTimeText);
        // The chart holds its points in one unit: a new unit redraws the past.
        if (mUnitMph != int(mph)) {
            mUnitMph = int(mph);
            refillSpeedChart(second);
        }
        ui->labelSpeed_5->setText(shown.speedText);
        addSpeedPoint(double(second), double(shown.speed));
        replotSpeedChart();
        setNeedleTargets(speedToAngle(shown.speed), headingToCompassAngle(shown.heading));
        ui->labelSpeed_6->setText(shown.longitudeText);
        ui->labelSpeed_7->setText(shown.latitudeText);
        runMapCall(mapShowAddressCall(shown.mapLongitude, shown.mapLatitude));
        // Paused, the marker moves but the map stays where the user put it.
        if (mPlayState == 0)
            runMapCall(mapPanToAddressCall(shown.mapLongitude, shown.mapLatitude));
    } else {
        ui->labelSpeed_5->setText(shown.speedText);
        ui->labelSpeed_6->setText(shown.longitudeText);
        ui->labelSpeed_7->setText(shown.latitudeText);
        ui->labelDateTime->setText(QString());
        setNeedleTargets(speedToAngle(0.0f), 0);
        addSpeedPoint(double(second), 0.0);
        replotSpeedChart();
    }

    // After a seek the chart's past is the past of the new position.
    if (mSeekPending) {
        mSeekPending = false;
        clearSpeedChart();
        refillSpeedChart(second);
        addSpeedPoint(double(second), double(shown.speed));
        replotSpeedChart();
    }
}

void MainWindow::setSpeedInMph(bool mph)
{
    // The checked unit action is the choice; the labels follow it.
    (mph ? mActionMPH : mActionKPH)->setChecked(true);
    if (mph == mLabelsMph)
        return;
    showUnit(mph);
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("Unit"), mph ? QStringLiteral("1") : QStringLiteral("0"));
    if (mPlayState == 2) {
        // Stopped: the old points stay until the next playback empties the chart.
        mUnitMph = int(mph);
        replotSpeedChart();
    } else {
        // Emptied at once; the next tick redraws the past in the new unit,
        // also when the unit changed back before it came.
        clearSpeedChart();
        replotSpeedChart();
        mUnitMph = int(!mph);
        // The figure beside the unit is in that unit at once too.
        if (mTimeline.isValid()) {
            const qint64 second = TelemetryTimeline::currentSecond(mPlayer->currentTime());
            ui->labelSpeed_5->setText(mTimeline.at(second, mph, fixGpsData()).speedText);
        }
    }
}

void MainWindow::showUnit(bool mph)
{
    mLabelsMph = mph;
    const QString unit = mph ? QStringLiteral("MPH") : QStringLiteral("km/h");
    ui->labelSpeedUint->setText(unit);
    ui->labelDashboardSpeedUnit->setText(unit);
    mChart->setUnitLabel(mph);
}

void MainWindow::resetTelemetry()
{
    mPanelShown = kNothingShown;
    setNeedleTargets(speedToAngle(0.0f), 0);
    ui->labelSpeed_5->setText(QStringLiteral("000.00"));
    ui->labelSpeed_6->setText(QStringLiteral("000.000000"));
    ui->labelSpeed_7->setText(QStringLiteral("00.000000"));
    ui->labelDateTime->setText(QString());
}

void MainWindow::addSpeedPoint(double second, double speed)
{
    mChart->addSpeedPoint(second, speed);
}

void MainWindow::refillSpeedChart(qint64 second)
{
    if (mTimeline.track())
        mChart->refill(*mTimeline.track(), int(qBound<qint64>(0, second, mTimeline.track()->count())), speedInMph());
}

void MainWindow::clearSpeedChart()
{
    mChart->clear();
}

void MainWindow::replotSpeedChart()
{
    mChart->replot();
}
