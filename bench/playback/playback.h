#pragma once

// The parts of velmora_bench_playback that run in the benchmark's own
// process: the recordings, the runs of every player (each in a child
// process), and the report.

#include "benchtext.h"
#include "childprocess.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// --- recordings.cpp -----------------------------------------------------------

struct Recording
{
    QString key;         // as given to --files
    int width;
    int height;
    int fps;
    double seconds;
    QString codec;       // ffmpeg encoder
    QString bitrate;
    int bframes;         // -1: the preset's default
    QString soundless;   // non-empty: this is that recording's pictures alone (stream copy)
    QString describe() const;
};

const std::vector<Recording> &recordings();
QString encoderPreset(); // x264/x265 preset of every recording
const Recording *findRecording(const QString &key);
QString recordingPath(const QString &dir, const Recording &r);
// Makes the recording unless it exists (or regenerate), printing what it does.
bool generate(const QString &dir, const QString &logDir, const Recording &r, bool regenerate);

struct MediaInfo
{
    bool ok = false;
    double duration = 0.0;  // s, the container's
    qint64 frames = 0;      // video packets
    double fps = 0.0;
    QString videoCodec;
    QString profile;
    int videoDelay = 0;     // pictures of reordering (B-frames)
    int width = 0;
    int height = 0;
    double videoMbps = 0.0;
    QString audio;
    qint64 bytes = 0;
};

MediaInfo probe(const QString &path);

// --- runs.cpp -------------------------------------------------------------------

struct Setup
{
    QString dir;
    QString self;
    QString logDir;
    int seeks = 10;
    unsigned seed = 1;
    int firstFrameReps = 10;
    int reps = 1;
    int idlePlayMs = 2000;  // played before the idle cost is measured
    int idleMs = 10000;     // each idle window
    QStringList floorScalers;
};

struct PlayResult
{
    QString player;
    bool ok = false;
    QString note;
    bench::ChildRun run;
    qint64 shown = -1;
    qint64 dropped = -1;
    bool shownDerived = false;  // frames in the file minus drops
    QMap<QString, QString> extra;
    // With --reps: every play's CPU s per media s and dropped pictures; the
    // fields above are the play with the median CPU.
    QStringList everyCpu;
    QStringList everyDropped;
    qint64 maxDropped = -1;
    double maxWallPerMedia = 0.0;
    int failures = 0;
};

// The play with the median CPU time of several (failed plays are only counted).
PlayResult medianPlay(std::vector<PlayResult> plays, double duration);
// pacing: the engine also notes the sound device's buffers (its CPU is then not comparable).
PlayResult playEngine(const Setup &s, const Recording &r, const QString &file, const MediaInfo &m, bool pacing = false);
PlayResult playMpv(const Setup &s, const Recording &r, const QString &file, const MediaInfo &m);
PlayResult playFfplay(const Setup &s, const Recording &r, const QString &file, const MediaInfo &m);
PlayResult decodeFloor(const Setup &s, const Recording &r, const QString &file, const MediaInfo &m, const QString &scaler);

// Picture-aligned positions (µs), drawn at random from the second second to
// one second before the end, the same for every player.
std::vector<qint64> seekPositions(const MediaInfo &m, int count, unsigned seed);

struct SeekTimes
{
    bool ok = false;
    QString note;
    bench::Stats delivered; // ms
    bench::Stats painted;   // ms
    int exact = 0;
    int count = 0;
    QStringList misses;
};

SeekTimes engineSeeks(const Setup &s, const Recording &r, const QString &file, const std::vector<qint64> &positions);
SeekTimes mpvSeeks(const Setup &s, const Recording &r, const QString &file, const std::vector<qint64> &positions);

struct FirstPicture
{
    bench::Stats open;    // ms, openFile returned
    bench::Stats paint;   // ms, first picture painted
    double coldMs = -1.0; // the process's first open
    QString note;
    QMap<QString, QString> steps; // the open sequence outside the engine, medians
};

FirstPicture firstPicture(const Setup &s, const Recording &r, const QString &file);

// The decoding alone of a paused seek, outside the engine: key frame before
// t up to the picture for t, then the same with non-reference pictures before
// t left out by the decoder.
struct SeekFloor
{
    bench::Stats plain;
    bench::Stats skipping;
    int pictures = 0;
    int picturesSkipping = 0;
    QString note;
};

SeekFloor seekFloor(const Setup &s, const Recording &r, const QString &file, const std::vector<qint64> &positions);

// CPU seconds per wall second of a player's whole process, paused after
// playing a moment and then stopped (window still open), and where its
// picture is on the screen while paused.
struct IdleCost
{
    bool ok = false;
    QString note;
    double paused = -1.0;
    double stopped = -1.0;
    double pausedRounds = -1.0;  // ours: rounds of the player and video loops per second
    double stoppedRounds = -1.0;
    QString screen;              // "WxH at X,Y" of the lit part of the screen
    QString picture;             // ours: the size of the picture the engine delivered
    QString pausedThreads;       // ours: the threads that cost most, name:µs per s
    QString stoppedThreads;
};

IdleCost engineIdle(const Setup &s, const Recording &r, const QString &file);
IdleCost mpvIdle(const Setup &s, const Recording &r, const QString &file);

// --- report.cpp -----------------------------------------------------------------

struct FileSummary
{
    QString key;
    std::optional<PlayResult> ours;
    std::optional<PlayResult> mpv;
    std::optional<PlayResult> ffplay;
    std::vector<PlayResult> floors;
    QMap<QString, QString> convert; // the conversion alone, CPU ms per picture by scaler
    MediaInfo media;
};

constexpr double kRealTimeSlack = 1.05; // wall/media at or under this counts as real time (start-up and exit included)

double cpuPerMedia(const PlayResult &p, const MediaInfo &m);
// Every play to the end, none dropping a picture, none slower than real time.
bool realTime(const PlayResult &p, const MediaInfo &m);
void printPlayTable(const FileSummary &f);
void printPacingReport(const QString &key, const PlayResult &p);
void printSeeks(const QString &who, const SeekTimes &t);
void printFirstPicture(const FirstPicture &fp);
void printIdle(const IdleCost &ours, const IdleCost &mpv);
