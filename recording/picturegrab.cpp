#include "picturegrab.h"

#include "localinput.h"
#include "recordinglog.h"
#include "recordingprobe.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace {

constexpr qint64 kToleranceUs = 1000;         // a picture this close after the position is the position's, as in the player
constexpr int kMaxSeekRounds = 5;             // each round lands further back, the last at the start of the file
constexpr qint64 kFirstPrerollUs = 1000000;   // how much further back the second round lands; doubled each round
constexpr int kMaxPicturesPerRound = 1500;    // a minute at 25 fps, far past any camera's key frame gap: a damaged file gives up here
constexpr int kMaxSide = 16384;               // pixels a side, past any camera and what a QImage is made for
constexpr qint64 kMaxPixels = qint64(8192) * 8192; // 256 MB of RGB32 at most

struct InputCloser
{
    void operator()(AVFormatContext *ic) const { avformat_close_input(&ic); }
};
struct CodecFreer
{
    void operator()(AVCodecContext *ctx) const { avcodec_free_context(&ctx); }
};
struct FrameFreer
{
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};
struct PacketFreer
{
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
struct ScalerFreer
{
    void operator()(SwsContext *sws) const { sws_freeContext(sws); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

int stopRequested(void *opaque)
{
    const auto *stop = static_cast<const std::atomic<bool> *>(opaque);
    return stop && stop->load() ? 1 : 0;
}

QImage fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return QImage();
}

// What one round of decoding after a seek found.
enum class Landing {
    Found,    // kept holds the picture shown at the position
    TooLate,  // the first picture is after the position: land earlier
    Nothing,  // no picture could be decoded
};

class Grabber
{
public:
    Grabber(AVFormatContext *ic, int stream, AVCodecContext *ctx, const std::atomic<bool> *stop)
        : mIc(ic), mStream(stream), mCtx(ctx), mStop(stop), mStartUs(recordingStartTime(ic))
    {
    }

    // Lands at or before positionUs - prerollUs (at the start of the file
    // for a negative preroll) and decodes up to the position.
    Landing round(qint64 positionUs, qint64 prerollUs, AVFrame *kept, AVFrame *frame, AVPacket *packet)
    {
        bool fromStart = prerollUs < 0 || positionUs - prerollUs <= 0;
        // Before the first key frame an index has nothing to land on: the start then.
        if (!fromStart && !seekTo(positionUs - prerollUs))
            fromStart = true;
        if (fromStart && !seekToStart())
            return Landing::Nothing;
        avcodec_flush_buffers(mCtx);
        av_frame_unref(kept);

        bool haveKept = false;
        bool sawKeyFrame = false;
        int pictures = 0;
        bool draining = false;
        for (;;) {
            if (mStop && mStop->load())
                return Landing::Nothing;
            if (!draining) {
                const int read = av_read_frame(mIc, packet);
                if (read < 0) {
                    draining = true; // the end, or a damaged tail: what the decoder holds still counts
                    avcodec_send_packet(mCtx, nullptr);
                } else {
                    // A transport stream has no index: its landing may be
                    // anywhere, and pictures before a key frame are broken.
                    const bool ours = packet->stream_index == mStream
                                      && (sawKeyFrame || (packet->flags & AV_PKT_FLAG_KEY));
                    if (ours) {
                        sawKeyFrame = true;
                        avcodec_send_packet(mCtx, packet); // a packet the decoder refuses is skipped
                    }
                    av_packet_unref(packet);
                    if (!ours)
                        continue;
                }
            }
            for (;;) {
                const int got = avcodec_receive_frame(mCtx, frame);
                if (got == AVERROR(EAGAIN))
                    break;
                // Drained, or the decoder gave up. Without a picture the
                // landing may have been past the last key frame: earlier then.
                if (got < 0)
                    return haveKept ? Landing::Found : fromStart ? Landing::Nothing : Landing::TooLate;
                const qint64 at = pictureTime(frame);
                if (at == qint64(AV_NOPTS_VALUE)) {
                    av_frame_unref(frame);
                    continue;
                }
                if (at > positionUs + kToleranceUs) {
                    if (haveKept)
                        return Landing::Found;
                    if (!fromStart)
                        return Landing::TooLate;
                    // The position is before the first picture, which shows then.
                    av_frame_move_ref(kept, frame);
                    return Landing::Found;
                }
                av_frame_unref(kept);
                av_frame_move_ref(kept, frame);
                haveKept = true;
                if (++pictures >= kMaxPicturesPerRound)
                    return Landing::Nothing;
            }
        }
    }

private:
    // To the key frame at or before a position (µs from the start).
    bool seekTo(qint64 positionUs)
    {
        const int64_t ts = av_rescale_q(positionUs + mStartUs, AV_TIME_BASE_Q, mIc->streams[mStream]->time_base);
        return av_seek_frame(mIc, mStream, ts, AVSEEK_FLAG_BACKWARD) >= 0;
    }

    // To the first key frame. Seeking back to the start time itself can
    // land after it: a transport stream's search goes by decoding time,
    // which starts before the first picture's time.
    bool seekToStart()
    {
        const AVStream *st = mIc->streams[mStream];
        const int64_t first = st->start_time != AV_NOPTS_VALUE
                                  ? st->start_time
                                  : av_rescale_q(mStartUs, AV_TIME_BASE_Q, st->time_base);
        const int64_t before = first - av_rescale_q(kFirstPrerollUs, AV_TIME_BASE_Q, st->time_base);
        return av_seek_frame(mIc, mStream, before, 0) >= 0
               || avformat_seek_file(mIc, -1, INT64_MIN, mStartUs, mStartUs, 0) >= 0
               || av_seek_frame(mIc, -1, 0, AVSEEK_FLAG_BYTE) >= 0;
    }

    // µs from the start of the recording; AV_NOPTS_VALUE when unknown.
    qint64 pictureTime(const AVFrame *frame) const
    {
        const int64_t ts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
        if (ts == AV_NOPTS_VALUE)
            return AV_NOPTS_VALUE;
        return av_rescale_q(ts, mIc->streams[mStream]->time_base, AV_TIME_BASE_Q) - mStartUs;
    }

    AVFormatContext *mIc;
    int mStream;
    AVCodecContext *mCtx;
    const std::atomic<bool> *mStop;
    qint64 mStartUs; // µs of the container's start: positions count from here
};

// The picture as RGB32 at its full decoded size, stretched to square samples.
QImage toImage(AVFormatContext *ic, AVStream *st, AVFrame *frame, QString *error)
{
    qint64 width = frame->width;
    qint64 height = frame->height;
    const AVRational sar = av_guess_sample_aspect_ratio(ic, st, frame);
    if (sar.num > 0 && sar.den > 0) {
        if (sar.num > sar.den)
            width = av_rescale(width, sar.num, sar.den);
        else if (sar.num < sar.den)
            height = av_rescale(height, sar.den, sar.num);
    }
    if (frame->width <= 0 || frame->height <= 0 || width > kMaxSide || height > kMaxSide || width * height > kMaxPixels)
        return fail(error, QStringLiteral("picture size %1x%2 out of range").arg(width).arg(height));

    const auto format = AVPixelFormat(frame->format);
    ScalerPtr sws(sws_getContext(frame->width, frame->height, format, int(width), int(height), AV_PIX_FMT_RGB32,
                                 SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr));
    if (!sws)
        return fail(error, QStringLiteral("no conversion from pixel format %1").arg(frame->format));
    // The picture's own matrix and range (the defaults are BT.601, limited).
    const int space = frame->colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : int(frame->colorspace);
    sws_setColorspaceDetails(sws.get(), sws_getCoefficients(space), frame->color_range == AVCOL_RANGE_JPEG,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);

    QImage image(int(width), int(height), QImage::Format_RGB32);
    if (image.isNull())
        return fail(error, QStringLiteral("no memory for a %1x%2 picture").arg(width).arg(height));
    uint8_t *planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {image.bytesPerLine(), 0, 0, 0};
    if (sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, planes, strides) <= 0)
        return fail(error, QStringLiteral("the picture could not be converted"));
    return image;
}

} // namespace

QImage grabPicture(const QString &path, qint64 positionUs, QString *error, const std::atomic<bool> *stop)
{
    const QByteArray name = QFile::encodeName(path);
    AVFormatContext *raw = avformat_alloc_context();
    if (!raw)
        return fail(error, QStringLiteral("out of memory"));
    raw->interrupt_callback.callback = stopRequested;
    raw->interrupt_callback.opaque = const_cast<std::atomic<bool> *>(stop);
    if (openLocalInput(&raw, name.constData()) < 0) // frees raw on failure
        return fail(error, QStringLiteral("cannot open the file"));
    InputPtr ic(raw);
    if (avformat_find_stream_info(ic.get(), nullptr) < 0)
        return fail(error, QStringLiteral("not a recording"));
    const int stream = recordingVideoStream(ic.get());
    if (stream < 0)
        return fail(error, QStringLiteral("no pictures"));
    AVStream *st = ic->streams[stream];
    const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        return fail(error, QStringLiteral("no decoder for the pictures"));
    CodecPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), st->codecpar) < 0)
        return fail(error, QStringLiteral("no decoder for the pictures"));
    ctx->pkt_timebase = st->time_base;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return fail(error, QStringLiteral("the decoder does not open"));
    // Everything but the pictures is skipped unread by the demuxer.
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        if (int(i) != stream)
            ic->streams[i]->discard = AVDISCARD_ALL;
    }

    FramePtr kept(av_frame_alloc());
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!kept || !frame || !packet)
        return fail(error, QStringLiteral("out of memory"));

    positionUs = qMax<qint64>(0, positionUs);
    Grabber grabber(ic.get(), stream, ctx.get(), stop);
    Landing landing = Landing::TooLate;
    qint64 preroll = 0;
    for (int round = 0; round < kMaxSeekRounds && landing == Landing::TooLate; ++round) {
        // The last round starts at the beginning, where nothing is too late.
        const qint64 thisPreroll = round == kMaxSeekRounds - 1 ? -1 : preroll;
        landing = grabber.round(positionUs, thisPreroll, kept.get(), frame.get(), packet.get());
        preroll = preroll == 0 ? kFirstPrerollUs : preroll * 2;
    }
    if (stop && stop->load())
        return fail(error, QStringLiteral("stopped"));
    if (landing != Landing::Found)
        return fail(error, QStringLiteral("no picture at %1 µs").arg(positionUs));
    qCDebug(lcRecording) << "picture grabbed at" << positionUs << "µs:" << path;
    return toImage(ic.get(), st, kept.get(), error);
}
