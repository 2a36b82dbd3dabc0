#pragma once

#include "ffmpegptr.h"
#include "speedclock.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#include <cstdint>
#include <memory>
#include <vector>

struct AVFilterContext;
struct AVFilterGraph;

// The libavfilter functions a tempo filter calls. The library is loaded when
// the first filter is made, not with the program: with what it pulls in, it
// is a third of the libraries the program would load at start.
struct AvFilterApi;

struct FilterGraphDeleter
{
    void (*free)(AVFilterGraph **graph) = nullptr;
    void operator()(AVFilterGraph *graph) const;
};
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;

// One stretch of sound played faster or slower at its own pitch (libavfilter's
// atempo; two in a row below half speed, the least one takes). The sound
// that comes out maps back to media time linearly, from the start of the
// first sound put in: sample k of the output belongs to begin + k × speed /
// rate. A new speed or a gap in the input makes a new stretch: this one is
// then finished, and what it gave out so far plays first. The input it has
// not given out yet is handed back, so that the next stretch starts where
// this one's sound ended.
class TempoFilter
{
public:
    enum class Take {
        Sound,     // a chunk came out
        NeedsMore, // put more sound in
        Ended,     // finished and empty
    };

    TempoFilter();
    ~TempoFilter();
    TempoFilter(const TempoFilter &) = delete;
    TempoFilter &operator=(const TempoFilter &) = delete;

    // Loads libavfilter for good; false (and a warning logged) when it cannot
    // be. Any thread; open() does it too, but its first time takes a while.
    static bool preload();

    // For packed sound of this format, layout and rate; false when the
    // filters cannot be made (also without libavfilter).
    bool open(AVSampleFormat format, const AVChannelLayout &layout, int rate, double speed);
    double speed() const { return mSpeed; }

    // Puts in `samples` sample frames at `data` that begin at media time
    // `begin` (s); only the first one's begin counts. False when refused.
    bool put(const uint8_t *data, int samples, double begin);
    // No more sound goes in. With `flush` what the filters hold comes out,
    // their last fragment cut short (the end of the input); without, only
    // what already came out (a new speed: unplayed() hands back the rest).
    void finish(bool flush);
    // The next chunk into out (at most `room` bytes), and the media time it covers.
    Take take(uint8_t *out, int room, int &bytes, double &mediaBegin, double &mediaEnd);
    // Media time at the end of the sound put in, s.
    double inputEnd() const { return mInputEnd; }
    // Once ended: the input after the last sound that came out (packed, as
    // put in) and the media time it begins at.
    void unplayed(std::vector<uint8_t> &sound, double &begin) const;

private:
    std::unique_ptr<AvFilterApi> mApi;
    FilterGraphPtr mGraph;
    AVFilterContext *mSource = nullptr;
    AVFilterContext *mSink = nullptr;
    FramePtr mFrame{av_frame_alloc()};
    AVSampleFormat mFormat = AV_SAMPLE_FMT_NONE;
    AVChannelLayout mLayout{};
    int mRate = 0;
    int mBytesPerFrame = 0;
    double mSpeed = 1.0;
    SpeedClock mOutput;          // media time, driven by the µs of sound that came out
    int64_t mSamplesIn = 0;
    int64_t mSamplesOut = 0;
    double mInputEnd = 0.0;
    double mOutputEnd = 0.0;             // media time at the end of the sound that came out
    std::vector<uint8_t> mRecent;        // the last input, for unplayed()
    bool mFinished = false;
};
