#include "telemetrytimeline.h"

#include "speedhistory.h"
#include "telemetryformat.h"

#include <cmath>

namespace {

// ddd.mm read as degrees and minutes: 22.25 is 22° 25', 22.416667°.
double minutesToDegrees(double value)
{
    const double whole = double(qint64(value));
    return whole + (value - whole) * 100.0 / 60.0;
}

// Only the check of one record vouches for the track; any later one may
// carry numbers that are no position or speed at all.
bool isShownFix(const GpsRecord &record)
{
    return isFix(record) && std::isfinite(record.speed);
}

} // namespace

ShownPosition shownPosition(const GpsRecord &record, bool fixGpsData)
{
    ShownPosition shown;
    shown.latitude = double(record.latitude);
    shown.longitude = double(record.longitude);
    if (fixGpsData) {
        shown.latitude = minutesToDegrees(shown.latitude);
        shown.longitude = minutesToDegrees(shown.longitude);
    }
    return shown;
}

void TelemetryTimeline::setTrack(std::shared_ptr<const GpsTrack> track, qint16 gpsVersion)
{
    mTrack = std::move(track);
    mGpsVersion = gpsVersion;
}

void TelemetryTimeline::clear()
{
    mTrack.reset();
    mGpsVersion = 0;
}

bool TelemetryTimeline::isValid() const
{
    return mTrack && mTrack->valid;
}

qint64 TelemetryTimeline::currentSecond(double position)
{
    return qint64(position + 0.5);
}

const GpsRecord *TelemetryTimeline::fix(qint64 second) const
{
    if (!isValid() || second < 0 || second >= mTrack->count())
        return nullptr;
    const GpsRecord &record = mTrack->records[size_t(second)];
    return isShownFix(record) ? &record : nullptr;
}

TelemetrySecond TelemetryTimeline::at(qint64 second, bool mph, bool fixGpsData) const
{
    TelemetrySecond shown;
    shown.mph = mph;
    const GpsRecord *record = fix(second);
    if (!record)
        return shown;
    shown.hasRecord = true;
    shown.speed = shownSpeed(record->speed, mph);
    shown.speedKmh = shownSpeed(record->speed, false);
    shown.heading = record->heading;
    shown.speedText = QString::number(double(shown.speed), 'f', 2);
    const ShownPosition position = shownPosition(*record, fixGpsData);
    shown.longitudeText = QStringLiteral("%1:%2°").arg(QChar::fromLatin1(record->lonRef)).arg(position.longitude, 0, 'f', 6);
    shown.latitudeText = QStringLiteral("%1:%2°").arg(QChar::fromLatin1(record->latRef)).arg(position.latitude, 0, 'f', 6);
    shown.dateTime = shownDateTime(*record, mGpsVersion, mTimeOffset);
    shown.dateTimeText = dateTimeLabel(shown.dateTime);
    shown.mapLongitude = signedDegrees(position.longitude, record->lonRef);
    shown.mapLatitude = signedDegrees(position.latitude, record->latRef);
    return shown;
}

void TelemetryTimeline::route(bool fixGpsData, QVector<double> &longitudes, QVector<double> &latitudes) const
{
    longitudes.clear();
    latitudes.clear();
    for (const RoutePoint &point : routePoints(fixGpsData)) {
        longitudes.append(point.longitude);
        latitudes.append(point.latitude);
    }
}

QVector<RoutePoint> TelemetryTimeline::routePoints(bool fixGpsData) const
{
    QVector<RoutePoint> points;
    if (!isValid())
        return points;
    for (size_t i = 0; i < mTrack->records.size(); ++i) {
        const GpsRecord &record = mTrack->records[i];
        if (!isShownFix(record))
            continue;
        const ShownPosition position = shownPosition(record, fixGpsData);
        const double latitude = signedDegrees(position.latitude, record.latRef);
        const double longitude = signedDegrees(position.longitude, record.lonRef);
        if (latitude == 0.0 && longitude == 0.0)
            continue;
        points.append({latitude, longitude, qint64(i)});
    }
    return points;
}
