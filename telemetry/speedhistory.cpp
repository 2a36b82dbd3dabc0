#include "speedhistory.h"

#include <algorithm>

namespace {

constexpr float kKnotToKmh = 1.852f;     // km/h per knot
constexpr float kKmhToMph = 0.6213712f;  // mph per km/h

} // namespace

float shownSpeed(float knots, bool mph)
{
    const float value = mph ? knots * kKmhToMph : knots;
    return value * kKnotToKmh;
}

QVector<SpeedPoint> speedHistory(const GpsTrack &track, int second, bool mph)
{
    QVector<SpeedPoint> points;
    if (!track.valid)
        return points;
    const int end = std::clamp(std::min(second, track.count), 0, kGpsTrackCapacity);
    points.reserve(end);
    for (int m = 0; m < end; ++m)
        points.append({m, shownSpeed(track.records[m].speed, mph)});
    return points;
}
