#pragma once

#include "gpsrecord.h"

#include <QVector>

// A speed as shown (label, gauge, chart): km/h, or mph when mph is set, from
// a record's speed in knots; single precision throughout.
float shownSpeed(float knots, bool mph);

// One point of the speed chart.
struct SpeedPoint
{
    int second;  // playback second, the key
    float speed; // shownSpeed() of the record of that second
};

// The chart's history before second: one point for each second 0 .. second - 1
// that the track has a record for, whatever its fix status, but for speeds
// that are not finite. Empty for a track that is not valid.
QVector<SpeedPoint> speedHistory(const GpsTrack &track, int second, bool mph);
