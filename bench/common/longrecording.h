#pragma once

// Long dash-camera recordings with GPS, made with the fixture library: one
// noisy 1920x1080 30 fps segment encoded once, repeated to the length by
// stream copy (ffmpeg concat), then the GPS added as the camera writes it:
// a PID 0x300 stream in a transport stream, a "gps " box in an MP4. Files
// are written under a temporary name, renamed when complete and reused.

#include "gpsfixture.h"

#include <QString>
#include <QVector>

namespace bench {

struct LongRecording
{
    QString dir;
    qint64 bitrate = 8000000; // video, bits per second
    int seconds = 1800;
    int segmentSeconds = 60;  // encoded once, repeated
    quint16 gpsVersion = 0;   // TS payload version; 0 makes the GPS pass read the whole file
    bool regenerate = false;

    QString tsPath() const;
    QString mp4Path() const;
    QString segmentPath() const;
    // The drive the fixture writes: one record per second.
    QVector<fixture::CameraRecord> drive() const;
    // Bytes still to be written for the files asked for (existing ones count nothing).
    qint64 bytesNeeded(bool ts, bool mp4) const;
};

// Makes the files asked for that are missing (all of them with regenerate),
// printing what it does. False on failure, with the reason printed.
bool makeLongRecording(const LongRecording &r, bool ts, bool mp4);

// Free bytes in the folder's file system (as df), -1 when unknown.
qint64 freeBytes(const QString &dir);

} // namespace bench
