#include "tempofilter.h"

#include "playerlog.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavfilter/version_major.h>
#include <libavutil/opt.h>
}

#include <QLibrary>

#include <algorithm>
#include <cmath>
#include <cstring>

struct AvFilterApi
{
    decltype(&avfilter_get_by_name) getByName = nullptr;
    decltype(&avfilter_graph_alloc) graphAlloc = nullptr;
    decltype(&avfilter_graph_alloc_filter) graphAllocFilter = nullptr;
    decltype(&avfilter_graph_config) graphConfig = nullptr;
    decltype(&avfilter_graph_free) graphFree = nullptr;
    decltype(&avfilter_init_str) initStr = nullptr;
    decltype(&avfilter_link) link = nullptr;
    decltype(&av_buffersrc_parameters_alloc) sourceParametersAlloc = nullptr;
    decltype(&av_buffersrc_parameters_set) sourceParametersSet = nullptr;
    decltype(&av_buffersrc_add_frame) sourceAddFrame = nullptr;
    decltype(&av_buffersink_get_frame) sinkGetFrame = nullptr;

    // The library this build was made against, kept loaded once loaded.
    static bool load(QLibrary &library)
    {
        library.setFileNameAndVersion(QStringLiteral("avfilter"), LIBAVFILTER_VERSION_MAJOR);
        library.setLoadHints(QLibrary::PreventUnloadHint);
        if (library.load())
            return true;
        qCWarning(lcPlayer) << "no tempo filter:" << library.errorString();
        return false;
    }

    bool resolve()
    {
        QLibrary library;
        if (!load(library))
            return false;
        const auto get = [&](auto &function, const char *name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library.resolve(name));
            return function != nullptr;
        };
        return get(getByName, "avfilter_get_by_name") && get(graphAlloc, "avfilter_graph_alloc")
               && get(graphAllocFilter, "avfilter_graph_alloc_filter") && get(graphConfig, "avfilter_graph_config")
               && get(graphFree, "avfilter_graph_free") && get(initStr, "avfilter_init_str")
               && get(link, "avfilter_link") && get(sourceParametersAlloc, "av_buffersrc_parameters_alloc")
               && get(sourceParametersSet, "av_buffersrc_parameters_set")
               && get(sourceAddFrame, "av_buffersrc_add_frame") && get(sinkGetFrame, "av_buffersink_get_frame");
    }
};

namespace {

// One atempo takes 0.5..100 (FFmpeg 5.1): below half speed two halve in turn.
constexpr double kLeastOneStage = 0.5;
// Input kept for unplayed(): a filter's last fragment misses at most a
// window of it (2048 samples at 48 kHz), before each of two filters in a row.
constexpr int kRecentSamples = 16384;

// Allocates a filter of the graph, sets its options and initialises it; null on failure.
template<typename SetOptions>
AVFilterContext *makeFilter(const AvFilterApi &av, AVFilterGraph *graph, const char *name, SetOptions setOptions)
{
    const AVFilter *filter = av.getByName(name);
    AVFilterContext *ctx = filter ? av.graphAllocFilter(graph, filter, nullptr) : nullptr;
    if (!ctx || !setOptions(ctx) || av.initStr(ctx, nullptr) < 0)
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
    if (free)
        free(&graph);
}

bool TempoFilter::preload()
{
    QLibrary library;
    return AvFilterApi::load(library);
}

TempoFilter::TempoFilter() = default;

TempoFilter::~TempoFilter()
{
    av_channel_layout_uninit(&mLayout);
}

bool TempoFilter::open(AVSampleFormat format, const AVChannelLayout &layout, int rate, double speed)
{
    mSpeed = SpeedClock::clampSpeed(speed);
    if (!mApi) {
        auto api = std::make_unique<AvFilterApi>();
        if (!api->resolve())
            return false;
        mApi = std::move(api);
    }
    const AvFilterApi &av = *mApi;
    mGraph = FilterGraphPtr(av.graphAlloc(), FilterGraphDeleter{av.graphFree});
    if (!mGraph || !mFrame || rate <= 0 || av_sample_fmt_is_planar(format))
        return false;
    AVFilterGraph *graph = mGraph.get();
    // Made on the audio callback's thread, for a few kB at a time: no thread pool.
    graph->nb_threads = 1;

    mSource = makeFilter(av, graph, "abuffer", [&](AVFilterContext *ctx) {
        AVBufferSrcParameters *params = av.sourceParametersAlloc();
        if (!params)
            return false;
        params->format = format;
        params->time_base = AVRational{1, rate};
        params->sample_rate = rate;
        const bool ok = av_channel_layout_copy(&params->ch_layout, &layout) >= 0
                        && av.sourceParametersSet(ctx, params) >= 0;
        av_channel_layout_uninit(&params->ch_layout);
        av_free(params);
        return ok;
    });
    mSink = makeFilter(av, graph, "abuffersink", [&](AVFilterContext *ctx) {
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
        AVFilterContext *tempo = makeFilter(av, graph, "atempo", [&](AVFilterContext *ctx) {
            return av_opt_set_double(ctx, "tempo", stages[i], AV_OPT_SEARCH_CHILDREN) >= 0;
        });
        if (!tempo || av.link(last, 0, tempo, 0) < 0)
            return false;
        last = tempo;
    }
    if (av.link(last, 0, mSink, 0) < 0 || av.graphConfig(graph, nullptr) < 0)
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
    if (mFinished || samples <= 0 || !mSource)
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
    if (mApi->sourceAddFrame(mSource, frame.get()) < 0)
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
    if (flush && !mFinished && mSource && mApi->sourceAddFrame(mSource, nullptr) < 0)
        mSource = nullptr;
    mFinished = true;
}

TempoFilter::Take TempoFilter::take(uint8_t *out, int room, int &bytes, double &mediaBegin, double &mediaEnd)
{
    bytes = 0;
    if (!mSink)
        return Take::Ended;
    const int got = mApi->sinkGetFrame(mSink, mFrame.get());
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
