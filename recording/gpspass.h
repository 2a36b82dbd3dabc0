#pragma once

#include "gpsrecord.h"

#include <QString>

#include <atomic>

// What the GPS pass did with one file.
struct GpsPassResult
{
    enum Status {
        Ok,               // the file was read (whether or not it had GPS)
        OpenFailed,       // "can't open the file."
        StreamInfoFailed, // "Could't find stream infomation."
    };
    Status status = Ok;
    QString error;          // why the file could not be read, for tools
    int gpsStream = -1;     // demuxer stream index of the GPS stream, -1 when none
    bool hisiHandler = false; // MP4: the chip maker's handler asked for the data-track pass
    bool interrupted = false; // stopped before the end: the track is incomplete
};

// Reads a recording's GPS records into track, chosen by the file suffix:
// "TS"/"ts" reads the PID 0x300 stream, "MP4"/"mp4" the "gps " box and, when
// the handlers are the chip maker's, the GPS data track. Other suffixes have
// no GPS. The track and gpsVersion are reset first, for every file.
// A status other than Ok means the player cannot go on with this file.
GpsPassResult runGpsPass(const QString &path, GpsTrack &track, qint16 &gpsVersion,
                         const std::atomic<bool> *interrupt = nullptr);

// The pass in two steps. The first reads no media stream (under a
// millisecond: the suffix, the TS type marker, the MP4 "gps " box); it resets
// track and gpsVersion and is true when the second has a stream to read.
bool runGpsPassHeader(const QString &path, GpsTrack &track, qint16 &gpsVersion, GpsPassResult &result);
// The second reads the GPS stream into the same track; it ends early once
// *interrupt becomes true.
void runGpsPassStreams(const QString &path, GpsTrack &track, qint16 &gpsVersion, GpsPassResult &result,
                       const std::atomic<bool> *interrupt);

// The transport-stream PID of the camera's GPS stream.
constexpr int kGpsStreamPid = 0x300;
