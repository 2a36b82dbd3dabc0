#pragma once

#include "gpsrecord.h"

#include <cstddef>
#include <cstdint>

// Layout of a GPS payload: a data-stream packet, or a record block of the
// MP4 "gps " box after its 16-byte header.
constexpr int kGpsPayloadVersionOffset = 0;  // uint16 LE, transport streams only
constexpr int kGpsPayloadCheckTextOffset = 132;
constexpr int kGpsCheckTextSize = 32;        // hex digits of one AES block, NUL-padded
constexpr int kGpsPayloadRecordOffset = 164;
constexpr int kGpsPayloadSize = kGpsPayloadRecordOffset + int(sizeof(GpsRecord)); // 208

// Appends the record carried by one payload to the track, testing its check
// text while the track is not yet valid. Returns false, appending nothing,
// for a payload shorter than 208 bytes. The transport-stream
// variant takes the first non-zero format version of the file into gpsVersion.
bool decodeGpsPayload(const uint8_t *payload, size_t size, GpsPayloadVariant variant,
                      GpsTrack &track, qint16 &gpsVersion);

// ddmm.mmmm (or dddmm.mmmm) to decimal degrees, in single precision.
float nmeaToDegrees(float value);

// The steps both roads share once the record sits in its slot: the
// check-text test (only when `testing`), then the position conversion.
// Returns true when the record passed the test.
bool verifyAndConvertRecord(GpsRecord &record, const char *checkText, bool testing,
                            bool logNumber);
