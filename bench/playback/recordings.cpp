// The playback benchmark's recordings: dash-camera-like files made once
// with the ffmpeg command line and reused.

#include "playback.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>

#ifndef VELMORA_FFMPEG_EXECUTABLE
#define VELMORA_FFMPEG_EXECUTABLE "ffmpeg"
#endif

using namespace bench;

namespace {

const QString kPreset = QStringLiteral("veryfast");
constexpr double kEncodeTimeoutS = 7200.0;

} // namespace

QString Recording::describe() const
{
    return QStringLiteral("%1x%2 %3 fps %4 %5bit/s, %6 s%7").arg(width).arg(height).arg(fps)
        .arg(codec == QLatin1String("libx265") ? QStringLiteral("HEVC") : QStringLiteral("H.264"))
        .arg(bitrate).arg(seconds).arg(soundless.isEmpty() ? QString() : QStringLiteral(", no sound"));
}

const std::vector<Recording> &recordings()
{
    static const std::vector<Recording> list{
        {QStringLiteral("1080p30"), 1920, 1080, 30, 60.0, QStringLiteral("libx264"), QStringLiteral("8M"), 3, QString()},
        {QStringLiteral("1080p60"), 1920, 1080, 60, 60.0, QStringLiteral("libx264"), QStringLiteral("12M"), -1, QString()},
        {QStringLiteral("2160p30"), 3840, 2160, 30, 30.0, QStringLiteral("libx265"), QStringLiteral("20M"), -1, QString()},
        // The pictures alone: the engine then times them by the wall clock,
        // which tells its own pacing apart from the sound device's.
        {QStringLiteral("1080p60-nosound"), 1920, 1080, 60, 60.0, QStringLiteral("libx264"), QStringLiteral("12M"), -1,
         QStringLiteral("1080p60")},
    };
    return list;
}

QString encoderPreset()
{
    return kPreset;
}

const Recording *findRecording(const QString &key)
{
    const auto &list = recordings();
    const auto it = std::find_if(list.begin(), list.end(), [&](const Recording &r) { return r.key == key; });
    return it == list.end() ? nullptr : &*it;
}

// A key frame every second and a one-second rate buffer (maxrate = bufsize =
// the bit rate), as a dash camera's constant-rate encoder writes: without
// the buffer x264 spends several times the rate on the first second.
QString recordingPath(const QString &dir, const Recording &r)
{
    return QDir(dir).filePath(QStringLiteral("%1_%2_%3_vbv1s_%4_g%5_%6s.mp4")
                                  .arg(r.key, r.codec, r.bitrate, kPreset).arg(r.fps).arg(r.seconds));
}

bool generate(const QString &dir, const QString &logDir, const Recording &r, bool regenerate)
{
    const QString path = recordingPath(dir, r);
    if (!regenerate && QFileInfo::exists(path)) {
        out() << "  " << r.key << ": reusing " << path << "\n";
        return true;
    }
    if (!r.soundless.isEmpty()) {
        // The source's video stream copied alone.
        const Recording *source = findRecording(r.soundless);
        if (!source || !generate(dir, logDir, *source, regenerate))
            return false;
        const QString part = path + QStringLiteral(".part.mp4");
        const ChildRun copy = runChild({QStringLiteral(VELMORA_FFMPEG_EXECUTABLE), QStringLiteral("-hide_banner"),
                                        QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                                        QStringLiteral("-i"), recordingPath(dir, *source), QStringLiteral("-an"),
                                        QStringLiteral("-c"), QStringLiteral("copy"), part},
                                       {}, QDir(logDir).filePath(r.key + QStringLiteral("_copy")), kEncodeTimeoutS);
        if (copy.exitCode != 0 || !QFile::rename(part, path)) {
            out() << "  " << r.key << ": copy failed: " << copy.stderrText.right(300) << "\n";
            QFile::remove(part);
            return false;
        }
        out() << "  " << r.key << ": the pictures of " << r.soundless << " without sound\n";
        return true;
    }
    const QString duration = QString::number(r.seconds, 'f', 3);
    QStringList args{QStringLiteral(VELMORA_FFMPEG_EXECUTABLE), QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                     QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                     QStringLiteral("-i"),
                     // The fixture library's noisy picture: test pattern, slow scroll, moving grain.
                     QStringLiteral("testsrc2=size=%1x%2:rate=%3:duration=%4,scroll=horizontal=0.002,noise=alls=12:allf=t")
                         .arg(r.width).arg(r.height).arg(r.fps).arg(duration),
                     QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(duration),
                     QStringLiteral("-af"), QStringLiteral("aformat=channel_layouts=stereo"), QStringLiteral("-c:a"),
                     QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("128k"), QStringLiteral("-c:v"), r.codec,
                     QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-preset"), kPreset,
                     QStringLiteral("-b:v"), r.bitrate, QStringLiteral("-maxrate"), r.bitrate, QStringLiteral("-bufsize"),
                     r.bitrate, QStringLiteral("-g"), QString::number(r.fps), QStringLiteral("-keyint_min"),
                     QString::number(r.fps)};
    if (r.bframes >= 0)
        args << QStringLiteral("-bf") << QString::number(r.bframes);
    if (r.codec == QLatin1String("libx265"))
        args << QStringLiteral("-x265-params") << QStringLiteral("log-level=error");
    const QString part = path + QStringLiteral(".part.mp4");
    args << QStringLiteral("-shortest") << part;
    out() << "  " << r.key << ": encoding " << r.describe() << " (" << r.codec << " " << kPreset
          << ", 1 s rate buffer, key frame every " << r.fps
          << " pictures, testsrc2 + scroll + grain, AAC 48 kHz stereo 128 kbit/s) ..." << Qt::endl;
    const Clock::time_point start = Clock::now();
    const ChildRun run = runChild(args, {}, QDir(logDir).filePath(r.key + QStringLiteral("_encode")), kEncodeTimeoutS);
    if (!run.started || run.exitCode != 0) {
        out() << "  encoding failed (exit " << run.exitCode << "): " << run.stderrText.right(500) << "\n";
        QFile::remove(part);
        return false;
    }
    QFile::remove(path);
    if (!QFile::rename(part, path)) {
        out() << "  cannot rename " << part << "\n";
        return false;
    }
    out() << "    done in " << fixed(secondsSince(start), 1) << " s" << Qt::endl;
    return true;
}


MediaInfo probe(const QString &path)
{
    MediaInfo info;
    AVFormatContext *ic = nullptr;
    const QByteArray name = QFile::encodeName(path);
    if (avformat_open_input(&ic, name.constData(), nullptr, nullptr) < 0)
        return info;
    if (avformat_find_stream_info(ic, nullptr) < 0) {
        avformat_close_input(&ic);
        return info;
    }
    info.duration = ic->duration == AV_NOPTS_VALUE ? 0.0 : double(ic->duration) / 1e6;
    info.bytes = QFileInfo(path).size();
    const int v = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int a = av_find_best_stream(ic, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (v >= 0) {
        const AVCodecParameters *par = ic->streams[v]->codecpar;
        info.videoCodec = QString::fromLatin1(avcodec_get_name(par->codec_id));
        info.profile = QString::fromLatin1(avcodec_profile_name(par->codec_id, par->profile));
        info.videoDelay = par->video_delay;
        info.width = par->width;
        info.height = par->height;
        info.fps = av_q2d(av_guess_frame_rate(ic, ic->streams[v], nullptr));
        info.videoMbps = double(par->bit_rate) / 1e6;
    }
    if (a >= 0) {
        const AVCodecParameters *par = ic->streams[a]->codecpar;
        info.audio = QStringLiteral("%1 %2 Hz %3 ch").arg(QString::fromLatin1(avcodec_get_name(par->codec_id)))
                         .arg(par->sample_rate).arg(par->ch_layout.nb_channels);
    }
    // Count the pictures by reading the packets (the container's count could be absent).
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        ic->streams[i]->discard = int(i) == v ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    AVPacket *packet = av_packet_alloc();
    while (av_read_frame(ic, packet) >= 0) {
        if (packet->stream_index == v)
            ++info.frames;
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&ic);
    info.ok = v >= 0 && info.duration > 0.0;
    return info;
}
