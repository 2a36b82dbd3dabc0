#pragma once

#include "telemetrytimeline.h"

#include <QObject>
#include <QString>

#include <memory>
#include <tuple>

class MapBridge;
class mycompassthread;
class mythread;
class NeedlePainter;
class QCustomPlot;
class QLabel;
class QMouseEvent;
class QWidget;
class SpeedChart;

// The widgets of the form the panel fills; all but mapFrame are required.
struct TelemetryWidgets
{
    QLabel *speed = nullptr;          // figure in the chosen unit
    QLabel *longitude = nullptr;
    QLabel *latitude = nullptr;
    QLabel *dateTime = nullptr;
    QLabel *speedUnit = nullptr;      // the unit beside the figure
    QLabel *dashboardUnit = nullptr;  // the unit on the dial
    QWidget *dashboard = nullptr;     // dial whose needle the panel paints
    QWidget *compass = nullptr;
    QCustomPlot *chart = nullptr;
    QWidget *mapFrame = nullptr;      // holds the map view; null: no map page
};

// What the telemetry panel shows of the open recording's GPS track at the
// playback position: labels, gauge and compass needles, the speed chart and
// the route and position on the map. The window hands it the track, the
// position and the unit; everything else is the panel's. GUI thread only.
class TelemetryPanel : public QObject
{
    Q_OBJECT

public:
    // tileUrl: the map's tile address (empty: the default). The unit starts
    // as km/h and position correction off.
    TelemetryPanel(const TelemetryWidgets &widgets, const QString &tileUrl, QObject *parent = nullptr);
    // Stops the needle threads; a sweep under way ends at once.
    ~TelemetryPanel() override;

    // The track of the recording now open (its check decides whether any of
    // it shows): the map's route is drawn anew, the chart starts empty. A
    // track whose check fails, or that has no records, is no GPS: dashes, a
    // notice, needles at rest.
    void setTrack(std::shared_ptr<const GpsTrack> track, qint16 gpsVersion);
    // The open recording has no GPS to show.
    bool showsNoGps() const { return mBlank == Blank::NoGps; }
    // The compass has a needle only while a track's second is shown.
    bool showsCompassNeedle() const { return mBlank == Blank::No; }
    // A new recording opens: the last one's route and track go at once.
    void clearTrack();

    // The playback position (whole second). The chart draws the track's
    // records up to it. seeked: the position jumped since the last call, so
    // the chart's past is rebuilt. A call that would
    // show what is shown already does nothing. The map follows the marker
    // while playing and after a seek; paused it stays where the user put it.
    void showSecond(qint64 second, bool playing, bool seeked);
    // Nothing plays: dashes for the figures, no date, the speed needle at
    // 0 and no compass needle (as before anything was opened).
    void reset();
    // A drive: the route sets apart the part played so far.
    void setShowPlayed(bool on);
    // A new playback: the chart over 0..seconds starts again, from what is
    // shown (nothing after a stop or an open).
    void startChart(int seconds);
    void clearChart();

    bool speedInMph() const { return mMph; }
    // The figure, the needle and the chart change to the unit at once,
    // whether playing, paused or stopped.
    void setSpeedInMph(bool mph);
    // Positions with the minutes-to-degrees correction some cameras need.
    bool fixGpsData() const { return mFixGpsData; }
    void setFixGpsData(bool on);
    // The clock the date label follows; the label changes at once.
    void setTimeOffset(TimeOffset offset);
    TimeOffset timeOffset() const { return mTimeline.timeOffset(); }
    // What the panel shows, or would show, at a whole second of playback.
    TelemetrySecond at(qint64 second) const { return mTimeline.at(second, mMph, mFixGpsData); }
    // The chart's texts in the current language.
    void retranslate();

    // A needle thread's step: repaints where the needle was and where it is.
    void updateDashboard(int angle);
    void updateCompass(int angle);

    // The map's web engine starts here, not with the panel: its processes
    // would compete with the window's first picture. Calls made before wait.
    void startMap();

    SpeedChart *chart() const { return mChart.get(); }
    MapBridge *map() const { return mMap; }

signals:
    // Every call text sent to the map page, in order (also without a page).
    void sig_MapCall(const QString &call);
    // The user pointed at a second on the chart or the route.
    void sig_SeekSecond(qint64 second);

protected:
    // Paints the needles over the dials.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void runMapCall(const QString &call);
    void mapClicked(double latitude, double longitude, double toleranceMeters);
    void chartMouse(QMouseEvent *event, bool press);
    void drawRoute();
    void setNeedleTargets(int dashboard, int compass);
    TelemetrySecond showFigures(qint64 second);
    void drawChart(qint64 second, bool rebuild);
    void showUnit();
    // What the labels show when no second of a track is: nothing is open,
    // or the open recording has no GPS.
    enum class Blank { No, NothingOpen, NoGps, NoFix };
    void showBlank(Blank blank);
    void holdLabelWidths();
    void placeDashboardUnit();
    void holdLabelWidth(QLabel *label);

    TelemetryWidgets mWidgets;
    TelemetryTimeline mTimeline;
    MapBridge *mMap = nullptr;
    QString mTileUrl;
    std::unique_ptr<SpeedChart> mChart;
    qint64 mChartSecond = -1;                // the chart holds the track's points up to this second
    std::unique_ptr<NeedlePainter> mDashboardPainter;
    std::unique_ptr<NeedlePainter> mCompassPainter;
    mythread *mDashboardThread = nullptr;    // sweeps the gauge needle
    mycompassthread *mCompassThread = nullptr;
    int mDashboardAngle = 0;                 // degrees, as last reported by the needle thread
    int mCompassAngle = 0;
    bool mMph = false;                       // the unit shown: mph, else km/h
    bool mFixGpsData = false;
    bool mShowPlayed = false;
    int mPlayedPoints = -1;                  // route points set apart, as last sent
    QVector<RoutePoint> mRoute;              // the route drawn, with the seconds of its points
    Blank mBlank = Blank::No;                // dashes instead of figures; the compass has no needle but with No
    // What is shown: second, mph, positions corrected, playing (-1: nothing yet).
    std::tuple<qint64, bool, bool, bool> mShown{-1, false, false, false};
};
