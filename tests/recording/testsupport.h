#pragma once

// Helpers shared by the recording tests.

#include "gpsrecord.h"

#include <cstring>
#include <memory>

namespace testsupport {

inline std::unique_ptr<GpsTrack> newTrack()
{
    return std::make_unique<GpsTrack>();
}

// What a previous file leaves behind: a full, valid track of recognisable bytes.
inline void fillWithPreviousFile(GpsTrack &track)
{
    GpsRecord stale;
    std::memset(&stale, 0x5A, sizeof stale);
    track.records.assign(1024, stale);
    track.valid = true;
}

inline bool isZeroRecord(const GpsRecord &record)
{
    static const GpsRecord zero{};
    return std::memcmp(&record, &zero, sizeof zero) == 0;
}

} // namespace testsupport
