#pragma once

#include "gpsrecord.h"

#include <QString>

#include <atomic>

// What the GPS pass did with one file.
struct GpsPassResult
{
    enum Status {
        Ok,               // the file was read (whether or not it had GPS), or the pass was interrupted
        OpenFailed,       // "can't open the file."
        StreamInfoFailed, // "Could't find stream infomation."
    };
    Status status = Ok;
    QString error;          // why the file could not be read, for tools
    int gpsStream = -1;     // demuxer stream index of the GPS stream, -1 when none
    bool hisiHandler = false; // MP4: the chip maker's handler asked for the data-track pass
    bool interrupted = false; // stopped by the caller: the track is incomplete, status says nothing about the file
    qint64 bytesRead = 0;   // bytes the pass's demuxers read, re-reads after seeks included (0 when the open failed)
};

// The pass in two steps, so that a player can take the quick one before its
// first picture and the slow one beside playback. Both write track and
// gpsVersion; nothing else may touch them until the step has returned.

// Step 1, under a millisecond for a camera's files: the road by the container
// FFmpeg finds in the first bytes (MPEG-TS, or MP4/QuickTime; nothing for any
// other), whatever the file's suffix, the TS type-marker
// probe, the MP4 "gps " box. Resets track, gpsVersion and result first.
// True when step 2 has a stream to read: a TS, or an MP4 whose handlers are
// the chip maker's.
bool runGpsPassHeader(const QString &path, GpsTrack &track, qint16 &gpsVersion, GpsPassResult &result);

// Step 2: reads the GPS stream (TS PID 0x300, or the MP4 data track) through
// the demuxer, appending to the track of step 1 and filling in result. Does
// nothing when step 1 returned false. interrupt (may be null) is polled before
// every read of the file and after every packet: once it is true the step
// ends promptly with result.interrupted set. A status other than Ok means the
// player cannot go on with this file.
void runGpsPassStreams(const QString &path, GpsTrack &track, qint16 &gpsVersion, GpsPassResult &result,
                       const std::atomic<bool> *interrupt);

// Both steps, one after the other.
GpsPassResult runGpsPass(const QString &path, GpsTrack &track, qint16 &gpsVersion,
                         const std::atomic<bool> *interrupt = nullptr);

// The transport-stream PID of the camera's GPS stream.
constexpr int kGpsStreamPid = 0x300;

// When a TS header lists no GPS stream, the pass reads packets looking for
// one that appears late, but at most this many bytes: past the 5 MB that
// stream information probes, by seconds at a camera's bit rate, instead of
// reading a file without GPS to its end.
constexpr qint64 kGpsRescanBytes = 8 << 20;
