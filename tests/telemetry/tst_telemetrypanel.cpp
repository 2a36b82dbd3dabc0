// The telemetry panel over bare widgets: its figures with nothing open or
// stopped and the clock of its date, the speed chart drawn from the track.

#include "speedchart.h"
#include "telemetrypanel.h"

#include <QLabel>
#include <QtTest>
#include <qcustomplot.h>

#include <memory>

namespace {

// Fixes at 08:00 UTC on 2025/06/01, one a second at these speeds.
std::shared_ptr<GpsTrack> trackOf(const QVector<float> &knots, bool valid = true)
{
    auto track = std::make_shared<GpsTrack>();
    for (float speed : knots)
        track->records.push_back(GpsRecord{8, 0, 0, 25, 6, 1, 'A', 'N', 'E', 0, 31.5f, 121.5f, speed, 90.0f});
    track->valid = valid;
    return track;
}

} // namespace

class TestTelemetryPanel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void figuresAndTheirClock();
    void chartDrawsTheTrackRecords();

private:
    // The labels' texts: speed, longitude, latitude, date.
    QStringList figures() const
    {
        return {mWidgets.speed->text(), mWidgets.longitude->text(), mWidgets.latitude->text(), mWidgets.dateTime->text()};
    }
    // The chart's points as "second:speed", speed with one decimal.
    QStringList chartPoints() const
    {
        QStringList points;
        for (const QCPGraphData &point : *mPanel->chart()->plot()->graph(0)->data())
            points.append(QStringLiteral("%1:%2").arg(point.key).arg(point.value, 0, 'f', 1));
        return points;
    }

    std::unique_ptr<QWidget> mForm;
    TelemetryWidgets mWidgets;
    std::unique_ptr<TelemetryPanel> mPanel;
};

void TestTelemetryPanel::init()
{
    mForm = std::make_unique<QWidget>();
    for (QLabel **label : {&mWidgets.speed, &mWidgets.longitude, &mWidgets.latitude, &mWidgets.dateTime,
                           &mWidgets.speedUnit, &mWidgets.dashboardUnit})
        *label = new QLabel(mForm.get());
    mWidgets.dashboard = new QWidget(mForm.get());
    mWidgets.compass = new QWidget(mForm.get());
    mWidgets.chart = new QCustomPlot(mForm.get());
    mPanel = std::make_unique<TelemetryPanel>(mWidgets, QString());
}

void TestTelemetryPanel::cleanup()
{
    mPanel.reset();
    mForm.reset();
}

// Nothing open, stopped, or a recording without GPS: dashes and no compass
// needle, never zeros that read as a place and a speed; only a recording
// without GPS says so. A second of a track names the clock of its date.
void TestTelemetryPanel::figuresAndTheirClock()
{
    const QStringList blank{QStringLiteral("---.--"), QStringLiteral("---.------"), QStringLiteral("--.------"), QString()};
    QCOMPARE(figures(), blank);
    QVERIFY(!mPanel->showsCompassNeedle());

    mPanel->setTrack(trackOf({10.0f, 20.0f}), 1); // format version 1: the camera means Japan's clock
    QCOMPARE(figures(), blank); // until its first second is shown
    mPanel->showSecond(1, true, false);
    QCOMPARE(figures().first(), QStringLiteral("37.04"));
    QCOMPARE(figures().last(), QStringLiteral("2025/06/01 17:00:00 +09:00"));
    QVERIFY(mPanel->showsCompassNeedle());
    mPanel->setTimeOffset(TimeOffset::utc());
    QCOMPARE(figures().last(), QStringLiteral("2025/06/01 08:00:00 UTC"));
    mPanel->setTimeOffset(TimeOffset::fixed(-(11 * 60 + 45)));
    QLabel *date = mWidgets.dateTime;
    QVERIFY(date->width() >= date->fontMetrics().horizontalAdvance(date->text())); // held for the widest
    // A second of the track without a fix (here past its last) has no place or speed either.
    mPanel->showSecond(5, true, false);
    QCOMPARE(figures(), blank);
    QVERIFY(!mPanel->showsCompassNeedle());
    mPanel->reset();
    QCOMPARE(figures(), blank);
    QVERIFY(!mPanel->showsCompassNeedle());

    mPanel->clearTrack();
    mPanel->setTrack(trackOf({10.0f}, false), 0);
    mPanel->showSecond(0, true, false);
    QCOMPARE(figures().last(), QStringLiteral("No GPS in this recording"));
    QVERIFY(!mPanel->showsCompassNeedle());
    mPanel->reset();
    QCOMPARE(figures(), blank);
}

// One point for each second up to the one shown that has a record, drawn
// from the track whatever seconds the ticks land on; nothing made up for a
// second without one, so no fall to 0 past the last record. A unit switch
// redraws at once: paused or stopped, no position comes to do it.
void TestTelemetryPanel::chartDrawsTheTrackRecords()
{
    // A 3 s clip: the first tick lands on second 1, the last one past the end.
    mPanel->setTrack(trackOf({10.0f, 20.0f, 25.0f / 1.852f}), 0);
    mPanel->showSecond(1, true, false);
    QCOMPARE(chartPoints(), (QStringList{"0:18.5", "1:37.0"}));
    mPanel->showSecond(3, true, false);
    QCOMPARE(chartPoints(), (QStringList{"0:18.5", "1:37.0", "2:25.0"}));
    mPanel->showSecond(1, false, true);
    QCOMPARE(chartPoints(), (QStringList{"0:18.5", "1:37.0"}));

    mPanel->setSpeedInMph(true);
    QCOMPARE(figures().first(), QStringLiteral("23.02"));
    QCOMPARE(mPanel->chart()->plot()->yAxis->label(), QStringLiteral("MPH"));
    QCOMPARE(chartPoints(), (QStringList{"0:11.5", "1:23.0"}));
    mPanel->reset();
    mPanel->setSpeedInMph(false);
    QCOMPARE(chartPoints(), (QStringList{"0:18.5", "1:37.0"}));

}

QTEST_MAIN(TestTelemetryPanel)
#include "tst_telemetrypanel.moc"
