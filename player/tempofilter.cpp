#include "tempofilter.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// One atempo takes 0.5..100 (FFmpeg 5.1): below half speed two halve in turn.
constexpr double kLeastOneStage = 0.5;
// Input kept for unplayed(): a filter's last fragment misses at most a
// window of it (2048 samples at 48 kHz), before each of two filters in a row.
constexpr int kRecentSamples = 16384;

// Allocates a filter of the graph, sets its options and initialises it; null on failure.
template<typename SetOptions>
AVFilterContext *makeFilter(AVFilterGraph *graph, const char *name, SetOptions setOptions)
{
    const AVFilter *filter = avfilter_get_by_name(name);
    AVFilterContext *ctx = filter ? avfilter_graph_alloc_filter(graph, filter, nullptr) : nullptr;
    if (!ctx || !setOptions(ctx) || avfilter_init_str(ctx, nullptr) < 0)
        return nullptr;
    return ctx;
}

// Samples as µs of output, the driving time of the output's media clock.
int64_t samplesToUs(int64_t samples, int rate)
{
    return av_rescale(samples, 1000000, rate);
}

} // namespace

void FilterGraphDeleter::operator()(AVFilterGraph *graph) const
{
    avfilter_graph_free(&graph);
}

TempoFilter::~TempoFilter()
{
    av_channel_layout_uninit(&mLayout);
}

bool TempoFilter::open(AVSampleFormat format, const AVChannelLayout &layout, int rate, double speed)
{
    mSpeed = SpeedClock::clampSpeed(speed);
    mGraph.reset(avfilter_graph_alloc());
    if (!mGraph || !mFrame || rate <= 0 || av_sample_fmt_is_planar(format))
        return false;
    AVFilterGraph *graph = mGraph.get();
    // Made on the audio callback's thread, for a few kB at a time: no thread pool.
    graph->nb_threads = 1;

    mSource = makeFilter(graph, "abuffer", [&](AVFilterContext *ctx) {
        AVBufferSrcParameters *params = av_buffersrc_parameters_alloc();
        if (!params)
            return false;
        params->format = format;
        params->time_base = AVRational{1, rate};
        params->sample_rate = rate;
        const bool ok = av_channel_layout_copy(&params->ch_layout, &layout) >= 0
                        && av_buffersrc_parameters_set(ctx, params) >= 0;
        av_channel_layout_uninit(&params->ch_layout);
        av_free(params);
        return ok;
    });
    mSink = makeFilter(graph, "abuffersink", [&](AVFilterContext *ctx) {
        const AVSampleFormat formats[] = {format, AV_SAMPLE_FMT_NONE};
        return av_opt_set_int_list(ctx, "sample_fmts", formats, AV_SAMPLE_FMT_NONE, AV_OPT_SEARCH_CHILDREN) >= 0;
    });
    if (!mSource || !mSink)
        return false;

    const bool twoStages = mSpeed < kLeastOneStage;
    const double stages[2] = {twoStages ? kLeastOneStage : mSpeed, mSpeed / kLeastOneStage};
    AVFilterContext *last = mSource;
    for (int i = 0; i < (twoStages ? 2 : 1); ++i) {
        // Set as a number, not as text: the process's locale may write 0,5.
        AVFilterContext *tempo = makeFilter(graph, "atempo", [&](AVFilterContext *ctx) {
            return av_opt_set_double(ctx, "tempo", stages[i], AV_OPT_SEARCH_CHILDREN) >= 0;
        });
        if (!tempo || avfilter_link(last, 0, tempo, 0) < 0)
            return false;
        last = tempo;
    }
    if (avfilter_link(last, 0, mSink, 0) < 0 || avfilter_graph_config(graph, nullptr) < 0)
        return false;

    mFormat = format;
    av_channel_layout_uninit(&mLayout);
    if (av_channel_layout_copy(&mLayout, &layout) < 0)
        return false;
    mRate = rate;
    mBytesPerFrame = layout.nb_channels * av_get_bytes_per_sample(format);
    mOutput = SpeedClock{};
    mOutput.speed = mSpeed;
    mOutput.running = true;
    return mBytesPerFrame > 0;
}

bool TempoFilter::put(const uint8_t *data, int samples, double begin)
{
    if (mFinished || samples <= 0)
        return false;
    if (mSamplesIn == 0)
        mOutput.moveTo(0, begin); // output sample 0 is the first input sample
    FramePtr frame(av_frame_alloc());
    if (!frame)
        return false;
    frame->format = mFormat;
    frame->sample_rate = mRate;
    frame->nb_samples = samples;
    frame->pts = mSamplesIn;
    if (av_channel_layout_copy(&frame->ch_layout, &mLayout) < 0 || av_frame_get_buffer(frame.get(), 0) < 0)
        return false;
    std::memcpy(frame->data[0], data, size_t(samples) * size_t(mBytesPerFrame));
    if (av_buffersrc_add_frame(mSource, frame.get()) < 0)
        return false;
    mSamplesIn += samples;
    mInputEnd = mOutput.anchorMedia + double(mSamplesIn) / mRate;
    if (mSamplesOut == 0)
        mOutputEnd = mOutput.anchorMedia;
    const size_t keep = size_t(kRecentSamples) * size_t(mBytesPerFrame);
    mRecent.insert(mRecent.end(), data, data + size_t(samples) * size_t(mBytesPerFrame));
    if (mRecent.size() > 2 * keep)
        mRecent.erase(mRecent.begin(), mRecent.end() - std::ptrdiff_t(keep));
    return true;
}

void TempoFilter::finish(bool flush)
{
    // Should the end not go in, take() ends the stretch all the same.
    if (flush && !mFinished && mSource && av_buffersrc_add_frame(mSource, nullptr) < 0)
        mSource = nullptr;
    mFinished = true;
}

TempoFilter::Take TempoFilter::take(uint8_t *out, int room, int &bytes, double &mediaBegin, double &mediaEnd)
{
    bytes = 0;
    if (!mSink)
        return Take::Ended;
    const int got = av_buffersink_get_frame(mSink, mFrame.get());
    if (got < 0) {
        // Finished, nothing more can come: also when the filters ask for input.
        return got == AVERROR(EAGAIN) && !mFinished ? Take::NeedsMore : Take::Ended;
    }
    const int samples = std::min(mFrame->nb_samples, room / mBytesPerFrame);
    bytes = samples * mBytesPerFrame;
    std::memcpy(out, mFrame->data[0], size_t(bytes));
    av_frame_unref(mFrame.get());
    // Never past the sound that went in: a last fragment may come out longer.
    mediaBegin = std::min(mOutput.mediaAt(samplesToUs(mSamplesOut, mRate)), mInputEnd);
    mSamplesOut += samples;
    mediaEnd = std::min(mOutput.mediaAt(samplesToUs(mSamplesOut, mRate)), mInputEnd);
    mOutputEnd = mediaEnd;
    return Take::Sound;
}

void TempoFilter::unplayed(std::vector<uint8_t> &sound, double &begin) const
{
    const int64_t kept = mBytesPerFrame > 0 ? int64_t(mRecent.size()) / mBytesPerFrame : 0;
    const int64_t missed = std::clamp<int64_t>(std::llround((mInputEnd - mOutputEnd) * mRate), 0, kept);
    sound.assign(mRecent.end() - std::ptrdiff_t(missed * mBytesPerFrame), mRecent.end());
    begin = mInputEnd - double(missed) / mRate;
}
