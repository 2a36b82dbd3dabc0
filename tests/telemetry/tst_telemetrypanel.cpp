// The telemetry panel over bare widgets: what it shows with nothing open or
// stopped, the speed chart drawn from the track, the unit's switch, the
// clock the date label names.

#include "speedchart.h"
#include "telemetrypanel.h"
#include "trip.h"

#include <QLabel>
#include <QtTest>
#include <qcustomplot.h>

#include <memory>

namespace {

GpsRecord fixOf(float knots)
{
    GpsRecord record{};
    record.year = 25;
    record.month = 6;
    record.day = 1;
    record.hour = 8;
    record.status = 'A';
    record.latRef = 'N';
    record.lonRef = 'E';
    record.latitude = 31.5f;
    record.longitude = 121.5f;
    record.speed = knots;
    record.heading = 90.0f;
    return record;
}

std::shared_ptr<GpsTrack> trackOf(const QVector<float> &knots, bool valid = true)
{
    auto track = std::make_shared<GpsTrack>();
    for (float speed : knots)
        track->records.push_back(fixOf(speed));
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
    void dashesWhenNothingIsShown();
    void chartDrawsTheTrackRecords();
    void unitSwitchShowsAtOnce();
    void dateLabelNamesItsClock();

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
// without GPS says so.
void TestTelemetryPanel::dashesWhenNothingIsShown()
{
    const QStringList blank{QStringLiteral("---.--"), QStringLiteral("---.------"), QStringLiteral("--.------"), QString()};
    QCOMPARE(figures(), blank);
    QVERIFY(!mPanel->showsCompassNeedle());

    mPanel->setTrack(trackOf({10.0f, 20.0f}), 0);
    QCOMPARE(figures(), blank); // until its first second is shown
    mPanel->showSecond(1, true, false);
    QCOMPARE(figures().first(), QStringLiteral("37.04"));
    QVERIFY(mPanel->showsCompassNeedle());
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
// second without one, so no fall to 0 past the last record.
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

    // A drive of two 3 s files with two records each: its third and last
    // seconds have none.
    const TripPart first{QStringLiteral("a"), 0, 3000000, trackOf({10.0f, 10.0f}), 0};
    TripPart second = first;
    second.path = QStringLiteral("b");
    second.track = trackOf({20.0f, 20.0f});
    qint16 version = 0;
    mPanel->startChart(6);
    mPanel->setTrack(Trip({first, second}).combinedTrack(&version), version);
    mPanel->showSecond(6, true, true);
    QCOMPARE(chartPoints(), (QStringList{"0:18.5", "1:18.5", "3:37.0", "4:37.0"}));
}

// Paused or stopped, no position comes to redraw: the figure, the unit
// labels and the chart change at once.
void TestTelemetryPanel::unitSwitchShowsAtOnce()
{
    mPanel->setTrack(trackOf({10.0f, 20.0f, 30.0f}), 0);
    mPanel->showSecond(1, false, false);
    mPanel->setSpeedInMph(true);
    QCOMPARE(figures().first(), QStringLiteral("23.02"));
    QCOMPARE(mWidgets.speedUnit->text(), QStringLiteral("MPH"));
    QCOMPARE(mPanel->chart()->plot()->yAxis->label(), QStringLiteral("MPH"));
    QCOMPARE(chartPoints(), (QStringList{"0:11.5", "1:23.0"}));

    mPanel->reset();
    mPanel->setSpeedInMph(false);
    QCOMPARE(figures().first(), QStringLiteral("---.--"));
    QCOMPARE(chartPoints(), (QStringList{"0:18.5", "1:37.0"}));
}

// The label says which clock its date and time are in, and keeps room for
// the widest of them.
void TestTelemetryPanel::dateLabelNamesItsClock()
{
    QLabel *date = mWidgets.dateTime;
    mPanel->setTrack(trackOf({10.0f}), 1); // format version 1: the camera means Japan's clock
    mPanel->showSecond(0, false, false);
    QCOMPARE(date->text(), QStringLiteral("2025/06/01 17:00:00 +09:00"));
    mPanel->setTimeOffset(TimeOffset::utc());
    QCOMPARE(date->text(), QStringLiteral("2025/06/01 08:00:00 UTC"));
    mPanel->setTimeOffset(TimeOffset::fixed(-(11 * 60 + 45)));
    QCOMPARE(date->text(), QStringLiteral("2025/05/31 20:15:00 -11:45"));
    QVERIFY(date->width() >= date->fontMetrics().horizontalAdvance(date->text()));
}

QTEST_MAIN(TestTelemetryPanel)
#include "tst_telemetrypanel.moc"
