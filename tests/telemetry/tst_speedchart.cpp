// The speed chart over a QCustomPlot: the axes after set-up, points kept in
// order, clearing that keeps the axes, unit and language relabelling, and the
// history refilled from a track.

#include "speedchart.h"

#include <QTranslator>
#include <QtTest>

#include <limits>
#include <qcustomplot.h>

#include <memory>

namespace {

QVector<double> keysOf(const QCustomPlot &plot)
{
    QVector<double> keys;
    for (const QCPGraphData &point : *plot.graph(0)->data())
        keys.append(point.key);
    return keys;
}

// Stands in for a loaded language file.
class GermanTime : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (qstrcmp(context, "MainWindow") == 0 && qstrcmp(sourceText, "Time") == 0)
            return QStringLiteral("Zeit");
        return QString();
    }
    bool isEmpty() const override { return false; }
};

} // namespace

class TestSpeedChart : public QObject
{
    Q_OBJECT

private slots:
    void setupAndRelabel();
    void pointsSortedAndClearKeepsAxes();
    void refillAddsHistory();
    void speedAxisFitsTheTrack();
    void clickAtTheMiddleIsTheMiddleSecond();
    void shortChartKeepsItsLabelsApart();
};

void TestSpeedChart::setupAndRelabel()
{
    for (const bool mph : {false, true}) {
        QCustomPlot plot;
        SpeedChart chart(&plot);
        chart.setup(mph);
        QCOMPARE(plot.xAxis->range(), QCPRange(0, 60));
        QCOMPARE(plot.xAxis->label(), QStringLiteral("Time"));
        QCOMPARE(plot.yAxis->range(), QCPRange(0, 180));
        QCOMPARE(plot.yAxis->label(), mph ? QStringLiteral("MPH") : QStringLiteral("km/h"));
        QVERIFY(!plot.yAxis2->visible());
        QCOMPARE(plot.graphCount(), 1);
        QCOMPARE(plot.interactions(), QCP::Interactions());

        chart.setUnitLabel(!mph);
        QCOMPARE(plot.yAxis->label(), mph ? QStringLiteral("km/h") : QStringLiteral("MPH"));
    }
    QCustomPlot plot;
    SpeedChart chart(&plot);
    chart.setup(false);
    GermanTime german;
    QCoreApplication::installTranslator(&german);
    chart.retranslate();
    QCoreApplication::removeTranslator(&german);
    QCOMPARE(plot.xAxis->label(), QStringLiteral("Zeit"));
}

void TestSpeedChart::pointsSortedAndClearKeepsAxes()
{
    QCustomPlot plot;
    SpeedChart chart(&plot);
    chart.setup(false);
    chart.setKeyRange(0, 125);
    chart.addSpeedPoint(3, 30);
    chart.addSpeedPoint(1, 10);
    chart.addSpeedPoint(130, 200); // past both ranges: kept, clipped when drawn
    chart.addSpeedPoint(2, 20);
    chart.replot();
    QCOMPARE(keysOf(plot), QVector<double>({1, 2, 3, 130}));
    QCOMPARE(plot.xAxis->range(), QCPRange(0, 125));
    QCOMPARE(plot.yAxis->range(), QCPRange(0, 180));

    chart.clear();
    chart.replot();
    QCOMPARE(plot.graph(0)->dataCount(), 0);
    QCOMPARE(plot.xAxis->range(), QCPRange(0, 125));
    QCOMPARE(plot.yAxis->range(), QCPRange(0, 180));
    QCOMPARE(plot.yAxis->label(), QStringLiteral("km/h"));
}

// The history goes in next to what is there; the window clears first when it
// wants to.
void TestSpeedChart::refillAddsHistory()
{
    auto track = std::make_unique<GpsTrack>();
    track->records.resize(2);
    track->valid = true;
    track->records[0] = GpsRecord{};
    track->records[0].speed = 10.0f;
    track->records[1] = GpsRecord{};
    track->records[1].speed = 20.0f;

    QCustomPlot plot;
    SpeedChart chart(&plot);
    chart.setup(true);
    chart.addSpeedPoint(7, 0);
    chart.refill(*track, 0, 5, true);
    QCOMPARE(keysOf(plot), QVector<double>({0, 1, 7}));
    QCOMPARE(QString::number(plot.graph(0)->data()->at(0)->value, 'f', 2), QStringLiteral("11.51"));
}

// Typical speeds use the chart's height: the top is the fastest second,
// rounded up to 20, never below 60; a speed that is no number counts for nothing.
void TestSpeedChart::speedAxisFitsTheTrack()
{
    GpsTrack track;
    track.valid = true;
    for (float knots : {10.0f, 58.0f, std::numeric_limits<float>::quiet_NaN()}) {
        GpsRecord record{};
        record.speed = knots;
        track.records.push_back(record);
    }
    QCustomPlot plot;
    SpeedChart chart(&plot);
    chart.setup(false);
    chart.fitSpeedRange(&track, false); // 58 kn: 107.4 km/h
    QCOMPARE(plot.yAxis->range(), QCPRange(0, 120));
    chart.fitSpeedRange(&track, true); // 66.8 mph
    QCOMPARE(plot.yAxis->range(), QCPRange(0, 80));
    track.records[1].speed = 5.0f;
    chart.fitSpeedRange(&track, false);
    QCOMPARE(plot.yAxis->range(), QCPRange(0, 60));
    track.valid = false;
    chart.fitSpeedRange(&track, false);
    QCOMPARE(plot.yAxis->range(), QCPRange(0, 180));
}

void TestSpeedChart::clickAtTheMiddleIsTheMiddleSecond()
{
    // The plot's axis rect, not the widget, spans the seconds: its margins
    // hold the labels.
    QCustomPlot plot;
    plot.resize(420, 200);
    plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot));
    SpeedChart chart(&plot);
    chart.setup(false);
    chart.setKeyRange(0, 180);
    plot.replot();
    const QRect area = plot.axisRect()->rect();
    QVERIFY(area.left() > 0);
    QVERIFY(qAbs(chart.secondAt(area.center().x()) - 90) <= 1);
    QCOMPARE(chart.secondAt(area.left()), qint64(0));
    QCOMPARE(chart.secondAt(0), qint64(0));
    QCOMPARE(chart.secondAt(plot.width()), qint64(180));
}

// On the smallest window the chart is short: fewer speed ticks, each label
// clear of the next.
void TestSpeedChart::shortChartKeepsItsLabelsApart()
{
    for (const int height : {150, 250, 600}) {
        QCustomPlot plot;
        plot.setViewport(QRect(0, 0, 240, height)); // as a resize of the shown widget does
        SpeedChart chart(&plot);
        chart.setup(false);
        plot.replot();
        const QVector<double> ticks = plot.yAxis->tickVector();
        QVERIFY(ticks.size() >= 3);
        const double apart = plot.yAxis->coordToPixel(ticks[0]) - plot.yAxis->coordToPixel(ticks[1]);
        QVERIFY2(apart >= QFontMetrics(plot.yAxis->tickLabelFont()).height(), qPrintable(QString::number(apart)));
    }
}

QTEST_MAIN(TestSpeedChart)
#include "tst_speedchart.moc"
