#include "audiooutput.h"

#include "playerlog.h"
#include "videostate.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <SDL.h>

#include <cmath>
#include <cstring>

namespace {

constexpr int kDeviceSamples = 1024;     // sample frames per device buffer
constexpr int64_t kMaxDeviceQueueUs = 500000; // µs: no device queues more; keeps a drifting count bounded
// Next channel count to try when the device refuses one, indexed by min(7, count).
constexpr int kNextChannels[8] = {0, 0, 1, 6, 2, 6, 4, 6};
constexpr uint64_t kDownmixChannels = AV_CH_STEREO_LEFT | AV_CH_STEREO_RIGHT;

bool isPlaying(const VideoState &is)
{
    return is.isPlay() && !is.isPause();
}

} // namespace

int convertAudioFrame(VideoState &is, AVFrame *frame)
{
    AVChannelLayout frameLayout{};
    if (frame->ch_layout.nb_channels > 0 && av_channel_layout_check(&frame->ch_layout))
        av_channel_layout_copy(&frameLayout, &frame->ch_layout);
    else
        av_channel_layout_default(&frameLayout, is.audioCodecContext ? is.audioCodecContext->ch_layout.nb_channels : 0);

    const AVSampleFormat format = AVSampleFormat(frame->format);
    // Copied as it is only when it already is what the device plays.
    const bool deviceFormat = format == is.audioTgtFormat && frame->sample_rate == is.audioTgtRate
                              && av_channel_layout_compare(&frameLayout, &is.audioTgtLayout) == 0;
    if (!deviceFormat
        && (!is.swrContext || format != is.audioSrcFormat || frame->sample_rate != is.audioSrcRate
            || av_channel_layout_compare(&frameLayout, &is.audioSrcLayout) != 0)) {
        is.swrContext.reset();
        av_channel_layout_uninit(&is.audioSrcLayout);
        is.audioSrcFormat = AV_SAMPLE_FMT_NONE;
        is.audioSrcRate = 0;
        SwrContext *swr = nullptr; // freed by swr_alloc_set_opts2 when it fails
        const int made = swr_alloc_set_opts2(&swr, &is.audioTgtLayout, is.audioTgtFormat, is.audioTgtRate,
                                             &frameLayout, format, frame->sample_rate, 0, nullptr);
        is.swrContext.reset(swr);
        if (made < 0 || swr_init(is.swrContext.get()) < 0) {
            // No converter: this sound is not played (silence), never copied raw.
            qCDebug(lcPlayer) << "swr_init() failed.";
            is.swrContext.reset();
            av_channel_layout_uninit(&frameLayout);
            return 0;
        }
        is.audioSrcLayout = frameLayout; // takes ownership
        is.audioSrcFormat = format;
        is.audioSrcRate = frame->sample_rate;
    } else {
        av_channel_layout_uninit(&frameLayout);
    }

    const int bytesPerFrame = is.audioTgtLayout.nb_channels * av_get_bytes_per_sample(is.audioTgtFormat);
    if (deviceFormat) {
        const int size = av_samples_get_buffer_size(nullptr, frame->ch_layout.nb_channels, frame->nb_samples, format, 1);
        if (size <= 0)
            return 0;
        const int length = qMin(size, kAudioConvertBufSize);
        std::memcpy(is.audioConvertBuf.get(), frame->data[0], size_t(length));
        return length;
    }
    const int room = kAudioConvertBufSize / bytesPerFrame;
    uint8_t *out = is.audioConvertBuf.get();
    const int converted = swr_convert(is.swrContext.get(), &out, room,
                                      const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
    if (converted < 0) {
        qCDebug(lcPlayer) << "swr_convert() failed!";
        return 0;
    }
    if (converted == room) {
        qCDebug(lcPlayer) << "warning: audio buffer is probably too small!";
        // Start the next frame afresh; a converter that cannot be made
        // again is made anew (or not at all) by the next frame.
        if (swr_init(is.swrContext.get()) < 0)
            is.swrContext.reset();
    }
    return converted * bytesPerFrame;
}

namespace {

constexpr double kTempoGap = 0.1; // s: sound this far from where the last ended starts a new stretch

// Makes the chunk in is.audioConvertBuf the next to play: it covers media
// time begin..end, played `speed` times as fast.
int handOut(VideoState &is, int length, double begin, double end, double speed, const SeekState &seek)
{
    is.audioBufBegin = begin;
    is.audioBufEnd = end;
    is.audioBufSpeed = speed;
    is.audioClock.store(end);
    is.audioClockUpdatedUs.store(wallClockUs());
    // The seek's sound has come: once the callback has told where it
    // plays, the clock tells the place again.
    if (seek.dropSound)
        is.audioSeekReached = seek.serial + 1;
    is.audioBuf = is.audioConvertBuf.get();
    return length;
}

// The next chunk a tempo filter gives into is.audioConvertBuf; 0 when it has
// none now. A filter that ended goes.
int takeFiltered(VideoState &is, std::unique_ptr<TempoFilter> &filter, const SeekState &seek)
{
    if (!filter)
        return 0;
    int bytes = 0;
    double begin = 0.0;
    double end = 0.0;
    switch (filter->take(is.audioConvertBuf.get(), kAudioConvertBufSize, bytes, begin, end)) {
    case TempoFilter::Take::Sound:
        return bytes > 0 ? handOut(is, bytes, begin, end, filter->speed(), seek) : 0;
    case TempoFilter::Take::Ended:
        // A stretch that ended for a new speed hands back the input it has
        // not given out, to play next.
        if (&filter == &is.tempoRetiring && is.tempoCarries && !is.tempo)
            filter->unplayed(is.tempoCarry, is.tempoCarryBegin);
        filter.reset();
        return 0;
    case TempoFilter::Take::NeedsMore:
        break;
    }
    return 0;
}

// Ends the current filter's stretch: what it gave out plays before anything
// new. With `carry` (a new speed) the input it has not given out yet plays
// next, at the new speed; without (a gap, the end of the input) the filter
// gives out what it holds.
void retireTempo(VideoState &is, bool carry)
{
    if (!is.tempo)
        return;
    // Flushed, the last fragment would reach past where its sound is said to
    // end, and the carried input would play that stretch twice.
    is.tempo->finish(!carry);
    is.tempoRetiring = std::move(is.tempo);
    is.tempoCarries = carry;
}

// A filter for the current speed, made when none is there; false when none can be made.
bool ensureTempo(VideoState &is, double speed)
{
    if (is.tempo)
        return true;
    auto filter = std::make_unique<TempoFilter>();
    if (!filter->open(is.audioTgtFormat, is.audioTgtLayout, is.audioTgtRate, speed)) {
        qCDebug(lcPlayer) << "no tempo filter: sound plays at its own speed";
        is.tempoFailed = true;
        return false;
    }
    is.tempo = std::move(filter);
    return true;
}

// Drops whatever sound the filters hold or hand back: it belongs to the place before a seek.
void dropTempo(VideoState &is)
{
    is.tempo.reset();
    is.tempoRetiring.reset();
    is.tempoCarry.clear();
}

// One chunk of converted sound into is.audioBuf; its length in bytes, or a
// negative value when there is nothing to play now. Never waits: SDL holds
// the device lock while it runs, and pause and stop take that lock.
int audioDecodeFrame(VideoState &is)
{
    const double timeBase = av_q2d(is.audioStreamPtr->time_base);
    const double startOffset = double(is.startOffsetUs) / 1e6;
    AVCodecContext *ctx = is.audioCodecContext.get();
    const int bytesPerFrame = is.audioTgtLayout.nb_channels * av_get_bytes_per_sample(is.audioTgtFormat);
    const int bytesPerSecond = bytesPerFrame * is.audioTgtRate;
    for (;;) {
        if (is.quit.load() || (!isPlaying(is) && !is.isMove.load()))
            return -1;
        if (!is.audioFrame && !(is.audioFrame = FramePtr(av_frame_alloc())))
            return AVERROR(ENOMEM);

        const SeekState seek = is.seek.load();
        if (is.audioSerial != seek.serial)
            dropTempo(is);
        // A finished stretch plays out first, then what its sound missed,
        // then the current one.
        while (is.tempoRetiring) {
            if (const int length = takeFiltered(is, is.tempoRetiring, seek))
                return length;
        }
        const double speed = is.speed.load();
        if (!is.tempoCarry.empty()) {
            const int length = int(is.tempoCarry.size());
            const double begin = is.tempoCarryBegin;
            if (speed == 1.0 || is.tempoFailed || !ensureTempo(is, speed)) {
                std::memcpy(is.audioConvertBuf.get(), is.tempoCarry.data(), is.tempoCarry.size());
                is.tempoCarry.clear();
                return handOut(is, length, begin, begin + double(length) / bytesPerSecond, 1.0, seek);
            }
            is.tempo->put(is.tempoCarry.data(), length / bytesPerFrame, begin);
            is.tempoCarry.clear();
        }
        if (is.tempo && is.tempo->speed() != speed) {
            retireTempo(is, true);
            continue;
        }
        if (const int length = takeFiltered(is, is.tempo, seek))
            return length;

        // Frames the decoder already holds come first.
        AVFrame *frame = is.audioFrame.get();
        if (avcodec_receive_frame(ctx, frame) >= 0) {
            if (is.audioSerial != seek.serial) {
                av_frame_unref(frame); // decoded for the position before a seek
                continue;
            }
            const int64_t pts = frame->best_effort_timestamp;
            const int length = convertAudioFrame(is, frame);
            av_frame_unref(frame);
            if (length <= 0)
                continue;
            const double lastEnd = is.tempo ? is.tempo->inputEnd() : is.audioClock.load();
            const double begin = pts != AV_NOPTS_VALUE ? double(pts) * timeBase - startOffset : lastEnd;
            const double end = begin + double(length) / bytesPerSecond;
            if (seek.dropSound && end < seek.targetSeconds())
                continue; // sound before the seek target
            if (speed == 1.0 || is.tempoFailed)
                return handOut(is, length, begin, end, 1.0, seek);
            // A gap in the sound: the filter's output would no longer map to
            // media time, so a new stretch starts here.
            if (is.tempo && std::abs(begin - is.tempo->inputEnd()) > kTempoGap)
                retireTempo(is, false);
            if (!ensureTempo(is, speed))
                return handOut(is, length, begin, end, 1.0, seek);
            // Copied in before anything comes out into the same buffer.
            is.tempo->put(is.audioConvertBuf.get(), length / bytesPerFrame, begin);
            continue;
        }

        // The decoder wants more: take the next packet.
        AVPacket *packet = is.audioPacket.get();
        if (!is.audioQueue.get(packet)) {
            // Nothing queued. A stretch whose input ended (end of the
            // file) gives out what it still holds.
            if (is.tempo && is.readFinished.load()) {
                retireTempo(is, false);
                continue;
            }
            return -1; // silence, and the clock stands still
        }
        if (isFlushPacket(packet)) {
            avcodec_flush_buffers(ctx);
            is.audioSerial = flushPacketSerial(packet);
            dropTempo(is);
            av_packet_unref(packet);
            continue;
        }
        // A packet the decoder refuses is dropped.
        avcodec_send_packet(ctx, packet);
        av_packet_unref(packet);
    }
}

void audioCallback(void *userdata, Uint8 *stream, int len)
{
    VideoState &is = *static_cast<VideoState *>(userdata);
    std::memset(stream, 0, size_t(len));
    const int64_t now = wallClockUs();
    is.audioCallbackUs = now;
    // A device filling its queue (on starting, after a pause) asks for
    // several buffers at once: each plays after the one before, not now.
    // Taken as played now, the clock would jump ahead of the sound heard
    // and the first pictures would count as late.
    const int bytesPerSecond = is.audioTgtRate * is.audioChannels.load() * 2;
    const int64_t playsFromUs = qBound(now, is.audioQueuedUntilUs, now + kMaxDeviceQueueUs);
    is.audioQueuedUntilUs = playsFromUs + (bytesPerSecond > 0 ? int64_t(len) * 1000000 / bytesPerSecond : 0);
    if (const int extra = is.extraCallbackMs.load())
        SDL_Delay(Uint32(extra));
    if (is.audioStalled.load()) {
        // Back after a stall: the sound queued meanwhile was dropped, so the
        // picture and the sound meet again at the current place. A seek
        // waiting brings them together anyway; while a seek is being posted
        // (the lock is held), the next callback tries again.
        const int64_t position = qMax<int64_t>(0, int64_t(is.audioClock.load() * 1e6));
        const SeekRequests::Resync resync = is.seekRequests.tryPostResync(position);
        if (resync == SeekRequests::Resync::Busy)
            return;
        is.audioStalled = 0;
        if (resync == SeekRequests::Resync::Posted)
            is.playerWaker.wake();
        return;
    }
    // Media time of a byte of the chunk being handed out.
    const auto mediaAt = [&is](uint32_t index) {
        return is.audioBufBegin + (is.audioBufEnd - is.audioBufBegin) * index / qMax<uint32_t>(1, is.audioBufSize);
    };
    bool handed = false;
    double from = 0.0;
    double speed = 1.0;
    while (len > 0) {
        if (is.audioBufIndex >= is.audioBufSize) {
            const int size = audioDecodeFrame(is);
            is.audioBufIndex = 0;
            if (size <= 0) {
                // Nothing to play now: the rest of this buffer stays silent
                // and the next callback asks the decoder again.
                is.audioBufSize = 0;
                break;
            }
            is.audioBufSize = uint32_t(size);
        }
        if (!handed) {
            handed = true;
            from = mediaAt(is.audioBufIndex);
            speed = is.audioBufSpeed;
        }
        const int n = qMin(len, int(is.audioBufSize - is.audioBufIndex));
        SDL_MixAudioFormat(stream, is.audioBuf + is.audioBufIndex, AUDIO_S16SYS, uint32_t(n), is.volume.load());
        is.audioBytesPlayed += n;
        stream += n;
        is.audioBufIndex += uint32_t(n);
        len -= n;
    }
    if (!handed)
        return; // silence: the clock stands at the end of the sound before
    // The buffer plays from playsFromUs (chunks may be shorter than a
    // buffer, or start in its middle): from its first sound on, up to its last.
    is.audioPlaySpeed.store(speed);
    is.audioPlayFrom.store(from);
    is.audioPlayTo.store(mediaAt(is.audioBufIndex));
    is.audioPlayUs.store(playsFromUs);
    if (const uint32_t reached = is.audioSeekReached) {
        is.audioSeekReached = 0;
        is.seek.update(reached - 1, [](SeekState &s) { s.dropSound = false; });
    }
}

} // namespace

int nextChannelCount(int channels)
{
    return kNextChannels[qBound(0, channels, 7)];
}

int audioOpen(VideoState &is, int streamIndex)
{
    if (streamIndex < 0 || unsigned(streamIndex) >= is.ic->nb_streams)
        return -1;

    AVChannelLayout wanted{};
    av_channel_layout_default(&wanted, is.audioCodecContext->ch_layout.nb_channels);
    if (wanted.order == AV_CHANNEL_ORDER_NATIVE && (wanted.u.mask & kDownmixChannels)) {
        const uint64_t mask = wanted.u.mask & ~kDownmixChannels;
        av_channel_layout_uninit(&wanted);
        av_channel_layout_from_mask(&wanted, mask);
    }
    int channels = wanted.nb_channels;
    const int rate = is.audioCodecContext->sample_rate;
    av_channel_layout_uninit(&wanted);
    if (rate <= 0 || channels <= 0) {
        qCDebug(lcPlayer) << "Invalid sample rate or channel count!";
        return -1;
    }

    SDL_AudioSpec want{};
    SDL_AudioSpec have{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.silence = 0;
    want.samples = kDeviceSamples;
    want.callback = audioCallback;
    want.userdata = &is;

    SDL_AudioDeviceID device = 0;
    for (;;) {
        want.channels = Uint8(channels);
        device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        qCDebug(lcPlayer) << "audioID" << device;
        qCDebug(lcPlayer).noquote() << QStringLiteral("SDL_OpenAudio (%1 channels): %2").arg(channels).arg(QString::fromUtf8(SDL_GetError()));
        if (device != 0)
            break;
        channels = nextChannelCount(channels);
        if (channels == 0) {
            qCDebug(lcPlayer) << "No more channel combinations to tyu, audio open failed.";
            qCDebug(lcPlayer) << "SDL_OpenAudioDevice failed!!!";
            return -1;
        }
    }

    if (have.format != AUDIO_S16SYS) {
        qCDebug(lcPlayer) << "SDL advised audio format " << have.format << " is not supported";
        SDL_CloseAudioDevice(device);
        return -1;
    }
    AVChannelLayout target{};
    av_channel_layout_default(&target, have.channels);
    if (target.order != AV_CHANNEL_ORDER_NATIVE) {
        qCDebug(lcPlayer) << "SDL advised channel count " << have.channels << " is not supported";
        av_channel_layout_uninit(&target);
        SDL_CloseAudioDevice(device);
        return -1;
    }

    is.audioHwBufSize = int(have.size);
    av_channel_layout_uninit(&is.audioTgtLayout);
    av_channel_layout_uninit(&is.audioSrcLayout);
    is.audioTgtLayout = target;
    av_channel_layout_copy(&is.audioSrcLayout, &target);
    is.audioTgtFormat = AV_SAMPLE_FMT_S16;
    is.audioSrcFormat = AV_SAMPLE_FMT_S16;
    is.audioTgtRate = have.freq;
    is.audioSrcRate = have.freq;
    is.ic->streams[streamIndex]->discard = AVDISCARD_DEFAULT;

    is.audioBufSize = 0;
    is.audioBufIndex = 0;
    is.audioPacket = PacketPtr(av_packet_alloc());
    if (!is.audioPacket) {
        SDL_CloseAudioDevice(device);
        return -1;
    }
    {
        // A follow() since the open began wants no sound after all.
        std::lock_guard<std::mutex> lock(is.audioDeviceMutex);
        if (is.silent) {
            SDL_CloseAudioDevice(device);
            return -1;
        }
        is.audioSpec = AudioDeviceSpec{have.freq, have.channels, have.samples};
        is.audioChannels.store(have.channels);
        is.soundOutput.store(true);
        is.audioDeviceId.store(device);
    }
    qCDebug(lcPlayer) << "SDL_PauseAudioDevice  1";
    SDL_LockAudioDevice(device);
    SDL_PauseAudioDevice(device, 1);
    SDL_UnlockAudioDevice(device);
    return 0;
}

uint32_t audioReopen(VideoState &is)
{
    SDL_AudioSpec want{};
    SDL_AudioSpec have{};
    want.freq = is.audioSpec.freq;
    want.format = AUDIO_S16SYS;
    want.channels = Uint8(is.audioSpec.channels);
    want.samples = Uint16(is.audioSpec.samples);
    want.callback = audioCallback;
    want.userdata = &is;
    // No changes allowed: SDL converts if the device now differs, and the
    // resampler set up for the first open stays right.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!device)
        qCWarning(lcPlayer).noquote() << "sound device not opened again:" << QString::fromUtf8(SDL_GetError());
    return device;
}
