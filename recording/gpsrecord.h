#pragma once

#include <QtGlobal>
#include <cmath>
#include <cstdint>
#include <vector>

// One GPS fix as the camera writes it, one per second of recording.
// Held byte for byte as stored: little-endian integers and IEEE-754 floats.
struct GpsRecord
{
    int32_t hour;      // fix time, 0..23
    int32_t minute;
    int32_t second;
    int32_t year;      // years since 2000
    int32_t month;     // 1..12
    int32_t day;       // 1..31
    char status;       // 'A' when the fix is valid
    char latRef;       // 'N' or 'S'
    char lonRef;       // 'E' or 'W'
    char reserved;
    float latitude;    // ddmm.mmmm as stored, unsigned decimal degrees once decoded
    float longitude;   // dddmm.mmmm as stored, unsigned decimal degrees once decoded
    float speed;       // knots
    float heading;     // degrees clockwise from north; may be NaN
};
static_assert(sizeof(GpsRecord) == 44, "GpsRecord must match the camera's 44-byte layout");
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "GpsRecord is copied as stored (little-endian)");

// km/h per knot, the unit the camera writes speeds in.
constexpr float kKmhPerKnot = 1.852f;

// A fix the camera vouches for ('A') whose position is a number: any other
// record has nothing to place on a map or to date a track by.
inline bool isFix(const GpsRecord &record)
{
    return record.status == 'A' && std::isfinite(record.latitude) && std::isfinite(record.longitude);
}

// Decoded degrees, negative to the south and the west.
inline double signedDegrees(double degrees, char ref)
{
    return ref == 'S' || ref == 'W' ? -degrees : degrees;
}

// The GPS track of one recording; record i describes second i. It grows
// with the file: a recording of hours has thousands of records.
struct GpsTrack
{
    std::vector<GpsRecord> records; // of the current file, in stream order
    bool valid = false;             // one record passed its check-text test

    int count() const { return int(records.size()); }
    void reset()
    {
        records.clear();
        valid = false;
    }
};

// Which road a GPS payload came by; the two differ in small details.
enum class GpsPayloadVariant {
    TransportStream, // PID 0x300 stream of an MPEG-TS: carries the format version
    Mp4DataTrack,    // data track of an MP4 with the chip maker's handler: NaN heading becomes 0
};
