#pragma once

// The recordings of every scenario, made with the fixture library and the
// ffmpeg command line, written under a temporary name, renamed when
// complete and reused by the next run.

#include "gpsfixture.h"

#include <QString>
#include <QVector>

namespace bench {

// The fixture's noisy picture (test pattern, slow scroll, moving grain) and
// a 440 Hz sine as AAC 48 kHz stereo, encoded as a dash camera's
// constant-rate encoder writes: a key frame every second and a one-second
// rate buffer (without it x264 spends several times the rate on the first
// second), which the fixture's own clips do not have.
struct Clip
{
    QString key;
    int width, height, fps;
    double seconds;
    QString codec, bitrate; // ffmpeg encoder, video bits per second ("8M")
    int bframes;            // -1: the preset's
    QString picturesOf;     // non-empty: that clip's pictures alone, by stream copy
};
const Clip *findClip(const QString &key); // 1080p30, 1080p60, 2160p30, 1080p60-nosound
QString clipPath(const QString &dir, const Clip &c);
bool makeClip(const QString &dir, const Clip &c, bool regenerate);

// A long 1920x1080 30 fps recording with GPS: a segment encoded once with
// the fixture library, repeated by stream copy, then the GPS as the camera
// writes it: a PID 0x300 stream in a TS, a "gps " box in an MP4.
struct LongRecording
{
    QString dir;
    qint64 bitrate = 8000000; // video, bits per second
    int seconds = 1800;
    int segmentSeconds = 60;
    quint16 gpsVersion = 0; // TS payload version; 0 makes the GPS pass read the whole file
    bool regenerate = false;
    QString tsPath() const;
    QString mp4Path() const;
    QVector<fixture::CameraRecord> drive() const; // one record a second
    qint64 bytesNeeded() const;                   // by the files still to make
};
bool makeLongRecording(const LongRecording &r, bool ts, bool mp4);
qint64 freeBytes(const QString &dir); // -1 unknown

// in with a "gps " box holding the drive, unless out exists.
bool addGpsTrack(const QString &in, const QString &out, const QVector<fixture::CameraRecord> &drive, bool regenerate);

struct MediaInfo
{
    bool ok = false;
    double duration = 0.0; // s
    qint64 frames = 0;     // video packets, counted
    double fps = 0.0;
    QString text; // "1920x1080 30.00 fps h264 High 8.00 Mbit/s, aac 48000 Hz 2 ch"
};
MediaInfo probe(const QString &path);

} // namespace bench
