#include "telemetrypick.h"

#include <cmath>

namespace {

constexpr double kEarthRadiusMeters = 6371008.8;
constexpr double kDegreesToRadians = M_PI / 180.0;

// Great-circle distance (haversine): the equirectangular shortcut goes
// wrong across the 180th meridian and near the poles.
double distanceMeters(double lat1, double lon1, double lat2, double lon2)
{
    const double dLat = (lat2 - lat1) * kDegreesToRadians;
    const double dLon = (lon2 - lon1) * kDegreesToRadians;
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2)
                     + std::cos(lat1 * kDegreesToRadians) * std::cos(lat2 * kDegreesToRadians)
                           * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarthRadiusMeters * std::asin(std::sqrt(std::fmin(1.0, a)));
}

} // namespace

int nearestRoutePoint(const QVector<RoutePoint> &route, double latitude, double longitude, double toleranceMeters)
{
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) > 90.0
        || !std::isfinite(toleranceMeters) || toleranceMeters < 0)
        return -1;
    // The map wraps: a click one world to the east is the same place.
    longitude = std::remainder(longitude, 360.0);
    int nearest = -1;
    double nearestDistance = toleranceMeters;
    for (int i = 0; i < route.size(); ++i) {
        const double distance = distanceMeters(latitude, longitude, route[i].latitude, route[i].longitude);
        // The first of equally near points: a car that stood still shows
        // where it stopped, not where it left.
        if (distance <= nearestDistance && (nearest < 0 || distance < nearestDistance)) {
            nearest = i;
            nearestDistance = distance;
        }
    }
    return nearest;
}

qint64 secondAtChartPosition(double x, double left, double width, double lower, double upper)
{
    if (!(width > 0) || !(upper > lower) || !std::isfinite(x))
        return -1;
    const double key = lower + (x - left) / width * (upper - lower);
    const double held = std::fmin(upper, std::fmax(lower, key));
    return qint64(std::floor(held + 0.5));
}
