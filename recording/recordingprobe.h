#pragma once

#include <QString>

struct AVFormatContext;

// Why a file cannot be played, as a probe finds it.
enum class ProbeProblem {
    None,          // it can be played
    Missing,       // no such file
    NotARecording, // no container FFmpeg reads, or not a readable one
    NoPictures,    // a container without a video stream
    NoDecoder,     // pictures no decoder here reads
};

// Duration and picture size of a recording, as probeRecording reads them.
struct VideoInfo
{
    qint64 duration = 0; // µs
    int width = 0;       // pixels
    int height = 0;      // pixels
    ProbeProblem problem = ProbeProblem::None;
};

// Opens a recording on this machine (openLocalInput) and reads its length
// and the picture size of its video. False when it cannot be opened, or
// when it has no video that a decoder here reads (its length is still read
// then). info is reset first. Thread-safe: calls share nothing.
bool probeRecording(const QString &path, VideoInfo &info);

// The recording's video stream of an opened file: the last video stream
// that is not cover art (a one-picture "video" stream); -1 when none.
int recordingVideoStream(const AVFormatContext *ic);

// µs at which an opened recording starts (the container's start, else the
// earliest of its streams, else 0): positions count from here.
qint64 recordingStartTime(const AVFormatContext *ic);
