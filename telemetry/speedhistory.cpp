#include "speedhistory.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kKmhToMph = 0.6213712f;  // mph per km/h

} // namespace

float shownSpeed(float knots, bool mph)
{
    const float value = mph ? knots * kKmhToMph : knots;
    return value * kKmhPerKnot;
}

QVector<SpeedPoint> speedHistory(const GpsTrack &track, int first, int end, bool mph)
{
    QVector<SpeedPoint> points;
    if (!track.valid)
        return points;
    first = std::clamp(first, 0, track.count());
    end = std::clamp(end, first, track.count());
    points.reserve(end - first);
    for (int m = first; m < end; ++m) {
        // A speed that is no number is a gap, not a point off the scale.
        if (std::isfinite(track.records[size_t(m)].speed))
            points.append({m, shownSpeed(track.records[size_t(m)].speed, mph)});
    }
    return points;
}
