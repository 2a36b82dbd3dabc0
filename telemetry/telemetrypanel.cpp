#include "telemetrypanel.h"

#include "mapbridge.h"
#include "mapcalls.h"
#include "mycompassthread.h"
#include "mythread.h"
#include "needleangles.h"
#include "needlepainter.h"
#include "speedchart.h"
#include "timetext.h"

#include <QEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <qcustomplot.h>

#include <algorithm>
#include <utility>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr int kMapFrameWidth = 319; // pixels, beside the video, before the first layout
constexpr int kMapFrameHeight = 491;

const std::tuple<qint64, bool, bool, bool> kNothingShown{-1, false, false, false};

} // namespace

TelemetryPanel::TelemetryPanel(const TelemetryWidgets &widgets, const QString &tileUrl, QObject *parent)
    : QObject(parent)
    , mWidgets(widgets)
{
    if (mWidgets.mapFrame) {
        mWidgets.mapFrame->resize(kMapFrameWidth, kMapFrameHeight);
        mMap = new MapBridge(mWidgets.mapFrame, this);
        // The view fills the frame at every size of the window.
        auto *layout = new QVBoxLayout(mWidgets.mapFrame);
        layout->setContentsMargins(0, 0, 0, 0);
        mTileUrl = tileUrl;
        connect(mMap, &MapBridge::sig_Clicked, this, &TelemetryPanel::mapClicked);
    }

    mChart = std::make_unique<SpeedChart>(mWidgets.chart);
    mChart->setup(mMph);
    // A click on the chart goes to its second; hovering tells what is there.
    mWidgets.chart->setMouseTracking(true);
    connect(mWidgets.chart, &QCustomPlot::mousePress, this, [this](QMouseEvent *event) { chartMouse(event, true); });
    connect(mWidgets.chart, &QCustomPlot::mouseMove, this, [this](QMouseEvent *event) { chartMouse(event, false); });
    showUnit();
    holdLabelWidths();

    mDashboardPainter = std::make_unique<NeedlePainter>(mWidgets.dashboard, QStringLiteral(":/image/RedArrow.png"),
                                                        QStringLiteral(":/image/Dashboard.png"));
    mCompassPainter = std::make_unique<NeedlePainter>(mWidgets.compass, QStringLiteral(":/image/CompassPointer.png"),
                                                      QStringLiteral(":/image/compass.png"));
    mWidgets.dashboard->installEventFilter(this);
    mWidgets.compass->installEventFilter(this);
    mDashboardThread = new mythread(this);
    connect(mDashboardThread, &mythread::sig_updateDashboard, this, &TelemetryPanel::updateDashboard);
    mDashboardThread->start();
    mCompassThread = new mycompassthread(this);
    connect(mCompassThread, &mycompassthread::sig_updateCompass, this, &TelemetryPanel::updateCompass);
    mCompassThread->start();
    showBlank(Blank::NothingOpen);
}

void TelemetryPanel::startMap()
{
    if (mMap && !mMap->isStarted())
        mMap->load(mTileUrl);
}

TelemetryPanel::~TelemetryPanel()
{
    // Closing never waits for a sweep.
    mDashboardThread->requestStop();
    mCompassThread->requestStop();
    mDashboardThread->wait();
    mCompassThread->wait();
}

bool TelemetryPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Polish || event->type() == QEvent::FontChange) {
        if (auto *label = qobject_cast<QLabel *>(watched))
            holdLabelWidth(label);
    }
    if (watched == mWidgets.dashboard && event->type() == QEvent::Resize)
        placeDashboardUnit();
    // Without a track's second a compass needle would point somewhere all the same.
    return mDashboardPainter->handleEvent(watched, event, mDashboardAngle)
           || mCompassPainter->handleEvent(watched, event, mCompassAngle, mBlank == Blank::No)
           || QObject::eventFilter(watched, event);
}

// The unit sits under the dial's centre where its face leaves room for it,
// at any size of the dial.
void TelemetryPanel::placeDashboardUnit()
{
    constexpr double kUnitTop = 0.76; // of the face's height, from its top
    const QRect face = mDashboardPainter->face();
    QLabel *unit = mWidgets.dashboardUnit;
    unit->setGeometry(face.left(), face.top() + qRound(face.height() * kUnitTop), face.width(), unit->sizeHint().height());
}

// A step repaints where the needle was and where it is, not the whole dial:
// the needles step up to 33 times a second each, and the dial image and the
// panel's backgrounds beneath are most of a whole repaint.
void TelemetryPanel::updateDashboard(int angle)
{
    const QRect dirty = mDashboardPainter->needleRect(mDashboardAngle) | mDashboardPainter->needleRect(angle);
    mDashboardAngle = angle;
    mWidgets.dashboard->update(dirty);
}

void TelemetryPanel::updateCompass(int angle)
{
    const QRect dirty = mCompassPainter->needleRect(mCompassAngle) | mCompassPainter->needleRect(angle);
    mCompassAngle = angle;
    mWidgets.compass->update(dirty);
}

void TelemetryPanel::setNeedleTargets(int dashboard, int compass)
{
    mDashboardThread->setTargetAngle(dashboard);
    mCompassThread->setTargetAngle(compass);
}

void TelemetryPanel::runMapCall(const QString &call)
{
    if (mMap)
        mMap->run(call); // kept until the page has loaded
    emit sig_MapCall(call);
}

void TelemetryPanel::mapClicked(double latitude, double longitude, double toleranceMeters)
{
    const int nearest = nearestRoutePoint(mRoute, latitude, longitude, toleranceMeters);
    if (nearest >= 0)
        emit sig_SeekSecond(mRoute[nearest].second);
}

void TelemetryPanel::chartMouse(QMouseEvent *event, bool press)
{
    const qint64 second = mChart->secondAt(event->pos().x());
    if (second < 0)
        return;
    if (press) {
        if (event->button() == Qt::LeftButton)
            emit sig_SeekSecond(second);
        return;
    }
    QString text = timeText(second);
    const TelemetrySecond shown = mTimeline.at(second, mMph, mFixGpsData);
    if (shown.hasRecord)
        text += QStringLiteral("  %1 %2").arg(shown.speed, 0, 'f', 1).arg(mMph ? QStringLiteral("MPH") : QStringLiteral("km/h"));
    QToolTip::showText(event->globalPos(), text, mWidgets.chart);
}

void TelemetryPanel::setTrack(std::shared_ptr<const GpsTrack> track, qint16 gpsVersion)
{
    mTimeline.setTrack(std::move(track), gpsVersion);
    mShown = kNothingShown;
    mChart->fitSpeedRange(mTimeline.track(), mMph);
    drawChart(-1, true);
    drawRoute();
    // Dashes until its first second is shown.
    showBlank(mTimeline.isValid() && mTimeline.track()->count() > 0 ? Blank::NothingOpen : Blank::NoGps);
}

void TelemetryPanel::clearTrack()
{
    mTimeline.clear();
    mRoute.clear();
    mShowPlayed = false;
    runMapCall(mapCleanCall());
    mShown = kNothingShown;
    drawChart(-1, true);
    showBlank(Blank::NothingOpen);
}

// Dashes, never figures that look like data.
void TelemetryPanel::showBlank(Blank blank)
{
    if (std::exchange(mBlank, blank) != blank)
        mWidgets.compass->update();
    if (blank == Blank::No)
        return;
    setNeedleTargets(speedToAngle(0.0f), 0);
    mWidgets.speed->setText(QStringLiteral("---.--"));
    mWidgets.longitude->setText(QStringLiteral("---.------"));
    mWidgets.latitude->setText(QStringLiteral("--.------"));
    mWidgets.dateTime->setText(blank == Blank::NoGps ? tr("No GPS in this recording") : QString());
}

void TelemetryPanel::drawRoute()
{
    runMapCall(mapCleanCall());
    mRoute = mTimeline.routePoints(mFixGpsData);
    mPlayedPoints = -1;
    QVector<double> longitudes;
    QVector<double> latitudes;
    for (const RoutePoint &point : mRoute) {
        longitudes.append(point.longitude);
        latitudes.append(point.latitude);
    }
    if (!longitudes.isEmpty())
        runMapCall(mapShowArrayCall(longitudes, latitudes));
}

void TelemetryPanel::setShowPlayed(bool on)
{
    mShowPlayed = on;
    mPlayedPoints = -1;
}

void TelemetryPanel::showSecond(qint64 second, bool playing, bool seeked)
{
    if (!mTimeline.isValid() || mBlank == Blank::NoGps)
        return;
    // A record a second, two ticks a second: the second tick would repeat
    // the first (a chart point, a replot, two map calls); paused, every one would.
    const auto shownNow = std::make_tuple(second, mMph, mFixGpsData, playing);
    if (shownNow == mShown && !seeked)
        return;
    mShown = shownNow;
    const TelemetrySecond shown = showFigures(second);
    // After a seek the chart's past is the past of the new position.
    drawChart(second, seeked);
    if (shown.hasRecord) {
        runMapCall(mapShowAddressCall(shown.mapLongitude, shown.mapLatitude));
        if (mShowPlayed) {
            const int played = int(std::upper_bound(mRoute.begin(), mRoute.end(), second,
                                                    [](qint64 s, const RoutePoint &p) { return s < p.second; })
                                   - mRoute.begin());
            if (played != mPlayedPoints)
                runMapCall(mapShowPlayedCall(played));
            mPlayedPoints = played;
        }
        // Paused, the map stays where the user put it, unless a seek took
        // the marker elsewhere.
        if (playing || seeked)
            runMapCall(mapPanToAddressCall(shown.mapLongitude, shown.mapLatitude));
    }
}

// The labels and the needles at a second of the track.
TelemetrySecond TelemetryPanel::showFigures(qint64 second)
{
    const TelemetrySecond shown = mTimeline.at(second, mMph, mFixGpsData);
    // A second without a fix has no place or speed to show: zeros would read as one.
    if (!shown.hasRecord) {
        showBlank(Blank::NoFix);
        return shown;
    }
    showBlank(Blank::No);
    mWidgets.speed->setText(shown.speedText);
    mWidgets.longitude->setText(shown.longitudeText);
    mWidgets.latitude->setText(shown.latitudeText);
    mWidgets.dateTime->setText(shown.dateTimeText);
    setNeedleTargets(speedToAngle(shown.speed), headingToCompassAngle(shown.heading));
    return shown;
}

// The chart draws the track's records up to second, whatever seconds the
// ticks landed on: the ones since the last call are added; a jump back or
// a rebuild starts again from second 0. A second without a record, or with
// a speed that is no number, gets no point.
void TelemetryPanel::drawChart(qint64 second, bool rebuild)
{
    if (rebuild || second < mChartSecond) {
        mChart->clear();
        mChartSecond = -1;
    }
    const GpsTrack *track = mTimeline.track();
    if (track && second > mChartSecond) {
        const int count = track->count();
        mChart->refill(*track, int(qMin<qint64>(mChartSecond + 1, count)), int(qMin<qint64>(second + 1, count)), mMph);
        mChartSecond = second;
    }
    mChart->replot();
}

void TelemetryPanel::reset()
{
    mShown = kNothingShown;
    showBlank(Blank::NothingOpen);
}

void TelemetryPanel::startChart(int seconds)
{
    mChart->setKeyRange(0, seconds);
    clearChart();
}

void TelemetryPanel::clearChart()
{
    // What is shown stays drawn: a paused picture would otherwise stand
    // over an empty chart until the next position.
    drawChart(std::get<0>(mShown), true);
}

void TelemetryPanel::setSpeedInMph(bool mph)
{
    if (mph == mMph)
        return;
    mMph = mph;
    showUnit();
    mChart->fitSpeedRange(mTimeline.track(), mMph);
    // Everything in the new unit at once, paused or stopped too: the figure
    // and the needle of the second shown, and the chart's points.
    if (const qint64 second = std::get<0>(mShown); second >= 0) {
        std::get<1>(mShown) = mMph;
        showFigures(second);
    }
    drawChart(mChartSecond, true);
}

void TelemetryPanel::showUnit()
{
    const QString unit = mMph ? QStringLiteral("MPH") : QStringLiteral("km/h");
    mWidgets.speedUnit->setText(unit);
    mWidgets.dashboardUnit->setText(unit);
    mChart->setUnitLabel(mMph);
}

void TelemetryPanel::setFixGpsData(bool on)
{
    mFixGpsData = on;
    drawRoute();
}

void TelemetryPanel::setTimeOffset(TimeOffset offset)
{
    mTimeline.setTimeOffset(offset);
    const qint64 second = std::get<0>(mShown);
    if (second >= 0 && mTimeline.isValid() && mBlank == Blank::No)
        mWidgets.dateTime->setText(mTimeline.at(second, mMph, mFixGpsData).dateTimeText);
}

void TelemetryPanel::retranslate()
{
    mChart->retranslate();
    mChart->replot();
    holdLabelWidths();
    if (mBlank == Blank::NoGps)
        mWidgets.dateTime->setText(tr("No GPS in this recording"));
}

// Each figure keeps the width of its widest text: a longer one must not
// widen the window under the user's hand. Measured again once a label is
// polished, when its font is the one it is drawn with.
void TelemetryPanel::holdLabelWidths()
{
    for (QLabel *label : {mWidgets.speed, mWidgets.longitude, mWidgets.latitude, mWidgets.dateTime}) {
        holdLabelWidth(label);
        label->installEventFilter(this);
    }
}

void TelemetryPanel::holdLabelWidth(QLabel *label)
{
    QStringList widest;
    if (label == mWidgets.speed)
        widest = QStringList{QStringLiteral("000.00"), QStringLiteral("---.--")};
    else if (label == mWidgets.longitude)
        widest = QStringList{QStringLiteral("W:180.000000°")};
    else if (label == mWidgets.latitude)
        widest = QStringList{QStringLiteral("S:90.000000°")};
    else
        widest = QStringList{QStringLiteral("2000/00/00 00:00:00 +00:00"), tr("No GPS in this recording")};
    int width = 0;
    for (const QString &text : widest)
        width = qMax(width, label->fontMetrics().horizontalAdvance(text) + 2 * label->margin() + 2);
    label->setFixedWidth(width);
}
