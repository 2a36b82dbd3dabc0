#include "trip.h"

#include "telemetryformat.h"

#include <QDateTime>

#include <limits>

namespace {

constexpr qint64 kMicroseconds = 1000000;
// A drive of a day is more than any camera's card holds; a longer sum of
// lengths read from hostile files is not believed.
constexpr qint64 kLongestTripUs = 24LL * 3600 * kMicroseconds;

} // namespace

qint64 trackStartMs(const GpsTrack &track)
{
    if (!track.valid)
        return -1;
    for (size_t i = 0; i < track.records.size(); ++i) {
        const GpsRecord &record = track.records[i];
        if (!isFix(record))
            continue;
        const QDateTime when = gpsRecordDateTime(record);
        if (when.isValid())
            return when.toMSecsSinceEpoch() - qint64(i) * 1000;
    }
    return -1;
}

bool followsOn(const TripPart &earlier, const TripPart &later, qint64 maxGapMs)
{
    if (earlier.startMs < 0 || later.startMs < 0 || earlier.durationUs <= 0)
        return false;
    const qint64 gap = later.startMs - (earlier.startMs + earlier.durationUs / 1000);
    return gap >= -maxGapMs && gap <= maxGapMs;
}

Trip::Trip(QVector<TripPart> parts)
    : mParts(std::move(parts))
{
    qint64 offset = 0;
    for (const TripPart &part : mParts) {
        mOffsets.append(offset);
        offset = qMin(kLongestTripUs, offset + qMax<qint64>(0, part.durationUs));
    }
    mOffsets.append(offset);
}

int Trip::indexOf(const QString &path) const
{
    for (int i = 0; i < mParts.size(); ++i) {
        if (mParts[i].path == path)
            return i;
    }
    return -1;
}

int Trip::partAt(qint64 positionUs, qint64 *localUs) const
{
    if (mParts.isEmpty())
        return -1;
    positionUs = qBound<qint64>(0, positionUs, lengthUs());
    int index = 0;
    while (index + 1 < mParts.size() && positionUs >= mOffsets[index + 1])
        ++index;
    if (localUs)
        *localUs = positionUs - mOffsets[index];
    return index;
}

std::shared_ptr<const GpsTrack> Trip::combinedTrack(qint16 *gpsVersion) const
{
    auto combined = std::make_shared<GpsTrack>();
    bool versionSet = false;
    const size_t seconds = size_t((lengthUs() + kMicroseconds - 1) / kMicroseconds);
    // A second that no part has a record for is no fix and has no speed:
    // the chart leaves a gap there rather than a fall to 0.
    GpsRecord none{};
    none.speed = std::numeric_limits<float>::quiet_NaN();
    combined->records.resize(seconds, none);
    for (int p = 0; p < mParts.size(); ++p) {
        const TripPart &part = mParts[p];
        if (!part.track || !part.track->valid)
            continue;
        if (!versionSet && gpsVersion) {
            *gpsVersion = part.gpsVersion;
            versionSet = true;
        }
        combined->valid = true;
        // A part's records stay within its own seconds of the drive.
        const size_t first = size_t((mOffsets[p] + kMicroseconds / 2) / kMicroseconds);
        const size_t end = qMin(seconds, size_t((mOffsets[p + 1] + kMicroseconds / 2) / kMicroseconds));
        for (size_t i = 0; i < part.track->records.size() && first + i < end; ++i)
            combined->records[first + i] = part.track->records[i];
    }
    if (!combined->valid)
        return nullptr;
    return combined;
}
