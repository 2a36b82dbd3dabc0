#include "bench.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace bench {

namespace {

const QString kPreset = "veryfast";        // CABAC, B-frames, deblocking: a real file's decoding cost
constexpr double kEncodeTimeoutS = 7200.0; // the HEVC clip, or a long copy on a slow disk
constexpr int kSegmentSeconds = 60;        // of a long recording, encoded once

const Clip kClips[] = {
    {"1080p30", 1920, 1080, 30, 60.0, "libx264", "8M", 3, QString()},
    {"1080p60", 1920, 1080, 60, 60.0, "libx264", "12M", -1, QString()},
    {"2160p30", 3840, 2160, 30, 30.0, "libx265", "20M", -1, QString()},
    // Without sound the engine times pictures by the wall clock: its own pacing apart from the sound device's.
    {"1080p60-nosound", 1920, 1080, 60, 60.0, "libx264", "12M", -1, "1080p60"},
};

bool ffmpeg(const QStringList &args)
{
    const QStringList command{QStringLiteral(VELMORA_FFMPEG_EXECUTABLE), "-hide_banner", "-v", "error", "-y"};
    const ChildRun run = runChild(command + args, {}, QDir::temp().filePath("velmora_bench_ffmpeg"), kEncodeTimeoutS);
    if (run.exitCode != 0)
        out() << "ffmpeg failed: " << run.stderrText.right(500) << Qt::endl;
    return run.exitCode == 0;
}

// Makes path through a temporary file (keeping an .mp4 suffix, which ffmpeg goes by), unless it exists.
bool writeAs(const QString &path, bool regenerate, const std::function<bool(const QString &)> &make)
{
    if (!regenerate && QFileInfo::exists(path))
        return true;
    const QString part = path + (path.endsWith(".mp4") ? ".part.mp4" : ".part");
    const Clock::time_point start = Clock::now();
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    const bool ok = make(part) && QFile::rename(part, path);
    QFile::remove(part);
    out() << "  " << (ok ? "made " : "FAILED to make ") << path << " in " << fixed(msSince(start) / 1e3, 1) << " s" << Qt::endl;
    return ok;
}

QString baseName(const LongRecording &r)
{
    const QString length = r.seconds % 60 ? "%1s"_s.arg(r.seconds) : "%1min"_s.arg(r.seconds / 60);
    return "drive_%1_1080p30_%2kbps"_s.arg(length).arg(r.bitrate / 1000);
}

} // namespace

const Clip *findClip(const QString &key)
{
    const auto it = std::find_if(std::begin(kClips), std::end(kClips), [&](const Clip &c) { return c.key == key; });
    return it == std::end(kClips) ? nullptr : it;
}

QString clipPath(const QString &dir, const Clip &c)
{
    const QString name = "%1_%2_%3_vbv1s_%4_g%5_%6s.mp4"_s.arg(c.key, c.codec, c.bitrate, kPreset).arg(c.fps).arg(c.seconds);
    return QDir(dir).filePath(name);
}

bool makeClip(const QString &dir, const Clip &c, bool regenerate)
{
    if (const Clip *source = findClip(c.picturesOf))
        return makeClip(dir, *source, regenerate) && writeAs(clipPath(dir, c), regenerate, [&](const QString &part) {
                   return ffmpeg({"-i", clipPath(dir, *source), "-an", "-c", "copy", part});
               });
    const QString seconds = QString::number(c.seconds, 'f', 3), rate = QString::number(c.fps);
    const QString picture = "testsrc2=size=%1x%2:rate=%3:duration=%4,scroll=horizontal=0.002,noise=alls=12:allf=t"_s;
    QStringList args{"-f", "lavfi", "-i", picture.arg(c.width).arg(c.height).arg(rate, seconds),
                     "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=" + seconds};
    args << "-af aformat=channel_layouts=stereo -c:a aac -b:a 128k -pix_fmt yuv420p"_s.split(' ');
    args << "-c:v" << c.codec << "-preset" << kPreset << "-b:v" << c.bitrate << "-maxrate" << c.bitrate << "-bufsize" << c.bitrate
         << "-g" << rate << "-keyint_min" << rate;
    if (c.bframes >= 0)
        args << "-bf" << QString::number(c.bframes);
    if (c.codec == "libx265")
        args << "-x265-params"
             << "log-level=error";
    return writeAs(clipPath(dir, c), regenerate, [&](const QString &part) {
        out() << "  encoding " << c.key << " (" << c.codec << " " << kPreset << ", " << c.bitrate << "bit/s) ..." << Qt::endl;
        return ffmpeg(args << "-shortest" << part);
    });
}

bool addGpsTrack(const QString &in, const QString &outPath, const QVector<fixture::CameraRecord> &drive, bool regenerate)
{
    QString error;
    return writeAs(outPath, regenerate, [&](const QString &part) {
        return fixture::addGpsBox(in, part, fixture::gpsPayloads(drive), fixture::GpsBoxOptions(), &error);
    });
}

QString LongRecording::tsPath() const { return QDir(dir).filePath(baseName(*this) + ".ts"); }
QString LongRecording::mp4Path() const { return QDir(dir).filePath(baseName(*this) + ".mp4"); }

QVector<fixture::CameraRecord> LongRecording::drive() const
{
    fixture::DriveSpec plan;
    plan.records = seconds;
    return fixture::makeDrive(plan);
}

bool makeLongRecording(const LongRecording &r, bool ts, bool mp4)
{
    ts = ts && (r.regenerate || !QFileInfo::exists(r.tsPath()));
    mp4 = mp4 && (r.regenerate || !QFileInfo::exists(r.mp4Path()));
    if (!ts && !mp4)
        return true;
    const QString segment = QDir(r.dir).filePath("segment_%1s_1080p30_%2kbps.mp4"_s.arg(kSegmentSeconds).arg(r.bitrate / 1000));
    const QString list = QDir(r.dir).filePath(baseName(r) + ".concat.txt"), av = QDir(r.dir).filePath(baseName(r) + ".av.mp4");
    fixture::AvSpec segmentAv;
    segmentAv.seconds = kSegmentSeconds;
    segmentAv.width = 1920;
    segmentAv.height = 1080;
    segmentAv.fps = 30;
    segmentAv.videoBitrate = QString::number(r.bitrate);
    segmentAv.noisy = true; // moving grain: the encoder really spends the bit rate
    QString error;
    QFile file(list);
    if (!writeAs(segment, r.regenerate, [&](const QString &part) { return fixture::makeAvClip(part, segmentAv, &error); })
        || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (int i = 0; i < (r.seconds + kSegmentSeconds - 1) / kSegmentSeconds; ++i)
        file.write("file '" + QFile::encodeName(QFileInfo(segment).fileName()) + "'\n");
    file.close();
    // The segment repeated to the length by stream copy, then the GPS added.
    bool ok = ffmpeg({"-f", "concat", "-safe", "0", "-i", list, "-c", "copy", "-t", QString::number(r.seconds), "-f", "mp4", av});
    const QVector<QByteArray> payloads = fixture::gpsPayloads(r.drive());
    fixture::RemuxOptions remux;
    remux.format = "mpegts";
    ok = ok && (!ts || writeAs(r.tsPath(), true, [&](const QString &part) {
             return fixture::remuxWithGpsStream(av, part, payloads, remux, &error);
         }));
    ok = ok && (!mp4 || writeAs(r.mp4Path(), true, [&](const QString &part) {
             return fixture::addGpsBox(av, part, payloads, fixture::GpsBoxOptions(), &error);
         }));
    if (!error.isEmpty())
        out() << "  " << error << Qt::endl;
    QFile::remove(list);
    QFile::remove(av);
    return ok;
}

MediaInfo probe(const QString &path)
{
    MediaInfo info;
    AVFormatContext *ic = nullptr;
    if (avformat_open_input(&ic, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return info;
    const int v =
        avformat_find_stream_info(ic, nullptr) < 0 ? -1 : av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int a = v < 0 ? -1 : av_find_best_stream(ic, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (v >= 0) {
        const AVCodecParameters *p = ic->streams[v]->codecpar;
        info.duration = ic->duration == AV_NOPTS_VALUE ? 0.0 : double(ic->duration) / 1e6;
        info.fps = av_q2d(av_guess_frame_rate(ic, ic->streams[v], nullptr));
        info.text = "%1x%2 %3 fps %4 %5 %6 Mbit/s"_s.arg(p->width).arg(p->height).arg(
            fixed(info.fps, 2), QLatin1String(avcodec_get_name(p->codec_id)),
            QLatin1String(avcodec_profile_name(p->codec_id, p->profile)), fixed(p->bit_rate / 1e6, 2));
        if (a >= 0) {
            const AVCodecParameters *s = ic->streams[a]->codecpar;
            info.text += ", %1 %2 Hz %3 ch"_s.arg(QLatin1String(avcodec_get_name(s->codec_id)))
                             .arg(s->sample_rate)
                             .arg(s->ch_layout.nb_channels);
        }
        // Pictures counted by reading the packets: the container's count may be absent.
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            ic->streams[i]->discard = int(i) == v ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        AVPacket *packet = av_packet_alloc();
        for (; av_read_frame(ic, packet) >= 0; av_packet_unref(packet))
            info.frames += packet->stream_index == v;
        av_packet_free(&packet);
    }
    avformat_close_input(&ic);
    return info;
}

} // namespace bench
