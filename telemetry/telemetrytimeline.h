#pragma once

#include "gpsrecord.h"
#include "telemetrypick.h"
#include "timeoffset.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <memory>

// A position as the panel shows it: unsigned degrees, with the optional
// minutes-to-degrees correction some cameras need.
struct ShownPosition
{
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
};
ShownPosition shownPosition(const GpsRecord &record, bool fixGpsData);

// What the telemetry panel shows for one second of playback.
struct TelemetrySecond
{
    bool hasRecord = false;    // the track has a fix ('A') for this second
    bool mph = false;          // the unit of speed and speedText: mph, else km/h
    float speed = 0.0f;        // in the unit shown (km/h or mph)
    float speedKmh = 0.0f;     // the same speed in km/h
    float heading = 0.0f;      // degrees clockwise from north
    QString speedText = QStringLiteral("000.00");
    QString longitudeText = QStringLiteral("000.000000");
    QString latitudeText = QStringLiteral("00.000000");
    QString dateTimeText;      // date, time and clock (dateTimeLabel); empty without a record or for an impossible date
    QDateTime dateTime;        // what dateTimeText shows, with its offset; invalid likewise
    double mapLongitude = 0.0; // degrees, west negative
    double mapLatitude = 0.0;  // degrees, south negative
};

// Turns the GPS track of the open file and the playback position into what
// the panel shows. The track is a finished snapshot: it never changes while
// it is held here.
class TelemetryTimeline
{
public:
    void setTrack(std::shared_ptr<const GpsTrack> track, qint16 gpsVersion);
    void clear();
    // The clock the date and time are shown in (the camera's rule at first);
    // kept across tracks.
    void setTimeOffset(TimeOffset offset) { mTimeOffset = offset; }
    TimeOffset timeOffset() const { return mTimeOffset; }

    // A track that passed its check: only then is anything of it shown.
    bool isValid() const;
    const GpsTrack *track() const { return mTrack.get(); }

    // The whole second a playback position (s) stands for, rounded half up.
    static qint64 currentSecond(double position);

    TelemetrySecond at(qint64 second, bool mph, bool fixGpsData) const;

    // The route as the map draws it: the signed positions of the fixes,
    // in order; positions with both coordinates 0 are no fix and left out.
    void route(bool fixGpsData, QVector<double> &longitudes, QVector<double> &latitudes) const;
    // The same points with the second of each.
    QVector<RoutePoint> routePoints(bool fixGpsData) const;

private:
    const GpsRecord *fix(qint64 second) const;

    std::shared_ptr<const GpsTrack> mTrack;
    qint16 mGpsVersion = 0;
    TimeOffset mTimeOffset;
};
