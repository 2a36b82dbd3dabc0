// The telemetry panel over bare widgets: what it shows with nothing open or
// stopped.

#include "telemetrypanel.h"

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

private:
    // The labels' texts: speed, longitude, latitude, date.
    QStringList figures() const
    {
        return {mWidgets.speed->text(), mWidgets.longitude->text(), mWidgets.latitude->text(), mWidgets.dateTime->text()};
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

QTEST_MAIN(TestTelemetryPanel)
#include "tst_telemetrypanel.moc"
