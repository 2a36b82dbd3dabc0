#pragma once

// How evenly the engine's pictures reached the screen during a play: from
// the times each picture left the video thread, reached the surface and was
// painted, and the times the sound device took each buffer.

#include <QString>

#include <vector>

struct PictureTimes
{
    double pts = 0.0;       // ms, where the picture belongs
    double delivered = -1;  // ms after play(): emitted by the video thread; -1 unknown
    double arrived = -1;    // ms after play(): the surface's slot began
    double painted = -1;    // ms after play(): the first paint that showed it
};

struct SoundStep
{
    double wall = 0.0;  // ms after play() at which the device took a buffer
    double clock = 0.0; // ms: the playback clock's end of decoded sound after it
};

// Prints the analysis as RESULT lines (see pacing.cpp for the keys).
void printPacing(const std::vector<PictureTimes> &pictures, const std::vector<SoundStep> &sound);

// Writes the raw times as CSV files (path and path + ".sound.csv").
void writePacingTrace(const QString &path, const std::vector<PictureTimes> &pictures, const std::vector<SoundStep> &sound);
