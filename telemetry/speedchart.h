#pragma once

#include "gpsrecord.h"

class QCustomPlot;

// The speed chart: one graph of shown speed (km/h or mph) over playback
// seconds on a plot the form provides. Neither axis follows the data:
// seconds 0..60 until setKeyRange(), speed 0..180 in both units. GUI thread.
class SpeedChart
{
public:
    explicit SpeedChart(QCustomPlot *plot);

    // The one-time look: dark background, white labels, blue axes, key axis
    // "Time" 0..60, value axis "MPH" or "km/h" 0..180, one red graph, no
    // interactions.
    void setup(bool mph);

    // Points are kept sorted by second whatever the order they come in.
    void addSpeedPoint(double second, double speed);
    // Adds the track's points of seconds first .. end - 1 (speedHistory);
    // does not clear first.
    void refill(const GpsTrack &track, int first, int end, bool mph);
    // Removes every point; ranges and labels stay.
    void clear();
    // Rebuilds the plot now; the widget repaints on the next paint cycle.
    void replot();

    void setKeyRange(double lower, double upper); // seconds
    // The speed axis from 0 to just above the fastest the track goes in
    // the unit shown, in steps of 20 and at least 60; 0..180 without a track.
    void fitSpeedRange(const GpsTrack *track, bool mph);
    void setUnitLabel(bool mph);
    // The key axis label again, after a change of language.
    void retranslate();

    QCustomPlot *plot() const { return mPlot; }
    // The second under a pixel column of the plot, held to the key axis.
    qint64 secondAt(int x) const;

private:
    QCustomPlot *mPlot;
};
