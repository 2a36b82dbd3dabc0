#pragma once

#include "gpsrecord.h"

#include <QMetaType>
#include <QString>
#include <QVector>

#include <memory>

// A drive the camera cut into files: consecutive recordings whose times
// follow on are played as one.

// One recording of a drive.
struct TripPart
{
    QString path;
    qint64 startMs = -1;   // when its first second was recorded, ms since 1970 UTC; -1 unknown
    qint64 durationUs = 0; // its length
    std::shared_ptr<const GpsTrack> track; // may be null
    qint16 gpsVersion = 0;
};

// How far apart the end of one file and the start of the next may be.
constexpr qint64 kTripGapMs = 5000;

// The start of a recording from its track: the first checked fix with a
// date, less the seconds before it; -1 without one.
qint64 trackStartMs(const GpsTrack &track);
// Whether later starts where earlier ends, within maxGapMs either way.
bool followsOn(const TripPart &earlier, const TripPart &later, qint64 maxGapMs = kTripGapMs);

// A drive: its parts in order, end to end on one timeline.
class Trip
{
public:
    Trip() = default;
    explicit Trip(QVector<TripPart> parts);

    int partCount() const { return mParts.size(); }
    const TripPart &part(int index) const { return mParts.at(index); }
    // The part that plays this recording, or -1.
    int indexOf(const QString &path) const;
    // Where a part begins on the drive's timeline, and the drive's length (µs).
    qint64 offsetUs(int index) const { return mOffsets.at(index); }
    qint64 lengthUs() const { return mOffsets.isEmpty() ? 0 : mOffsets.last(); }
    // The part a position of the drive falls in, and the position inside it;
    // positions outside the drive are held to it.
    int partAt(qint64 positionUs, qint64 *localUs) const;
    // The parts' tracks laid end to end, record i at second i of the drive;
    // only checked tracks count. A second no part has a record for holds a
    // record without a fix whose speed is NaN. Null when none passed its check.
    std::shared_ptr<const GpsTrack> combinedTrack(qint16 *gpsVersion) const;

private:
    QVector<TripPart> mParts;
    QVector<qint64> mOffsets; // partCount() + 1 entries: each start, then the end
};

Q_DECLARE_METATYPE(Trip)
