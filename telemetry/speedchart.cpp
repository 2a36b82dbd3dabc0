#include "speedchart.h"

#include "telemetrypick.h"

#include "speedhistory.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

namespace {

constexpr double kKeyRangeSeconds = 60.0; // until a recording's length is known
constexpr double kTopSpeed = 180.0;       // km/h or mph, as on the gauge
constexpr double kLeastTopSpeed = 60.0;   // a slow drive still reads as one
constexpr double kSpeedStep = 20.0;       // the top is a round figure
constexpr int kSpeedTicks = 10;           // at most, on a tall chart
constexpr int kLeastSpeedTicks = 3;
constexpr int kPixelsPerSpeedTick = 24;   // a tick label's height and a gap: short charts get fewer
constexpr int kFontPixels = 12;
constexpr int kGradientHeight = 350;      // pixels; both stops the same colour

QString timeLabel()
{
    // Translated with the main window's texts.
    return QCoreApplication::translate("MainWindow", "Time");
}

QString unitLabel(bool mph)
{
    return mph ? QStringLiteral("MPH") : QStringLiteral("km/h");
}

} // namespace

SpeedChart::SpeedChart(QCustomPlot *plot)
    : mPlot(plot)
{
}

void SpeedChart::setup(bool mph)
{
    const QColor background(55, 58, 67);
    QLinearGradient gradient(0, 0, 0, kGradientHeight);
    gradient.setColorAt(0, background);
    gradient.setColorAt(1, background);
    mPlot->setBackground(QBrush(gradient));

    const QColor white(255, 255, 255);
    const QPen axisPen(QBrush(QColor(0, 150, 255)), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    QFont font;
    font.setPixelSize(kFontPixels);
    font.setFamily(QStringLiteral("Microsoft YaHei"));
    for (QCPAxis *axis : {mPlot->xAxis, mPlot->yAxis}) {
        axis->setLabelColor(white);
        axis->setTickLabelColor(white);
        axis->setBasePen(axisPen);
        axis->setTickPen(axisPen);
        axis->setSubTickPen(axisPen);
        axis->setLabelFont(font);
        axis->setTickLabelFont(font);
    }

    mPlot->xAxis->setRange(0, kKeyRangeSeconds);
    mPlot->xAxis->setLabel(timeLabel());
    mPlot->yAxis->setRange(0, kTopSpeed);
    mPlot->yAxis->ticker()->setTickCount(kSpeedTicks);
    // Laid out for its size: as many ticks as fit, placed again for this drawing.
    QObject::connect(mPlot, &QCustomPlot::afterLayout, mPlot, [plot = mPlot] {
        const int fit = qBound(kLeastSpeedTicks, plot->yAxis->axisRect()->height() / kPixelsPerSpeedTick, kSpeedTicks);
        if (fit != plot->yAxis->ticker()->tickCount()) {
            plot->yAxis->ticker()->setTickCount(fit);
            plot->axisRect()->update(QCPLayoutElement::upPreparation);
        }
    });
    mPlot->yAxis->setLabel(unitLabel(mph));
    mPlot->yAxis2->setVisible(false);

    if (mPlot->graphCount() == 0)
        mPlot->addGraph();
    mPlot->graph(0)->setPen(QPen(Qt::red, 1));
    mPlot->setInteractions(QCP::Interactions());
}

void SpeedChart::fitSpeedRange(const GpsTrack *track, bool mph)
{
    double fastest = 0.0;
    if (track && track->valid) {
        for (const GpsRecord &record : track->records) {
            if (std::isfinite(record.speed))
                fastest = std::max(fastest, double(shownSpeed(record.speed, mph)));
        }
    }
    double top = kTopSpeed;
    if (fastest > 0.0)
        top = std::max(kLeastTopSpeed, std::ceil(fastest / kSpeedStep) * kSpeedStep);
    mPlot->yAxis->setRange(0, top);
}

void SpeedChart::addSpeedPoint(double second, double speed)
{
    if (mPlot->graphCount() > 0)
        mPlot->graph(0)->addData(second, speed);
}

void SpeedChart::refill(const GpsTrack &track, int first, int end, bool mph)
{
    for (const SpeedPoint &point : speedHistory(track, first, end, mph))
        addSpeedPoint(point.second, point.speed);
}

void SpeedChart::clear()
{
    if (mPlot->graphCount() > 0)
        mPlot->graph(0)->data()->clear();
}

void SpeedChart::replot()
{
    // The widget's repaint waits for the window's next paint pass (the next
    // video picture's, while playing) instead of a paint and flush of its own.
    mPlot->replot(QCustomPlot::rpQueuedRefresh);
}

void SpeedChart::setKeyRange(double lower, double upper)
{
    mPlot->xAxis->setRange(lower, upper);
}

void SpeedChart::setUnitLabel(bool mph)
{
    mPlot->yAxis->setLabel(unitLabel(mph));
}

void SpeedChart::retranslate()
{
    mPlot->xAxis->setLabel(timeLabel());
}

qint64 SpeedChart::secondAt(int x) const
{
    const QRect area = mPlot->axisRect()->rect();
    const QCPRange range = mPlot->xAxis->range();
    return secondAtChartPosition(x, area.left(), area.width(), range.lower, range.upper);
}
