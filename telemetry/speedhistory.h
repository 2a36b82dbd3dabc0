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

// The chart's points of seconds first .. end - 1: one for each second the
// track has a record for, whatever its fix status, but for speeds that are
// not finite (a drive's seconds that no file has a record for among them).
// Empty for a track that is not valid.
QVector<SpeedPoint> speedHistory(const GpsTrack &track, int first, int end, bool mph);
