#include "longrecording.h"

#include "bench.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <sys/statvfs.h>

namespace bench {

namespace {

const QString kPreset = "veryfast";        // CABAC, B-frames, deblocking: a real file's decoding cost
constexpr double kEncodeTimeoutS = 7200.0; // the HEVC clip, or a long copy on a slow disk
constexpr qint64 kAudioBitrate = 128000;   // the fixture's AAC

const Clip kClips[] = {
    {"1080p30", 1920, 1080, 30, 60.0, "libx264", "8M", 3, QString()},
    {"1080p60", 1920, 1080, 60, 60.0, "libx264", "12M", -1, QString()},
    {"2160p30", 3840, 2160, 30, 30.0, "libx265", "20M", -1, QString()},
    // Without sound the engine times pictures by the wall clock: its own pacing apart from the sound device's.
    {"1080p60-nosound", 1920, 1080, 60, 60.0, "libx264", "12M", -1, "1080p60"},
};

bool ffmpeg(const QStringList &args)
{
    const ChildRun run =
        runChild(QStringList{QStringLiteral(VELMORA_FFMPEG_EXECUTABLE), "-hide_banner", "-v", "error", "-y"} + args, {},
                 QDir::temp().filePath("velmora_bench_ffmpeg"), kEncodeTimeoutS);
    if (run.exitCode != 0)
        out() << "ffmpeg failed: " << run.stderrText.right(500) << Qt::endl;
    return run.exitCode == 0;
}

// Makes path through a temporary file (keeping an .mp4 suffix, which ffmpeg goes by).
bool writeAs(const QString &path, const std::function<bool(const QString &)> &make)
{
    const QString part = path + (path.endsWith(".mp4") ? ".part.mp4" : ".part");
    const Clock::time_point start = Clock::now();
    QFile::remove(path);
    const bool ok = make(part) && QFile::rename(part, path);
    QFile::remove(part);
    out() << "  " << (ok ? "made " : "FAILED to make ") << path << " in " << fixed(secondsSince(start), 1) << " s" << Qt::endl;
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
    return QDir(dir).filePath(
        "%1_%2_%3_vbv1s_%4_g%5_%6s.mp4"_s.arg(c.key, c.codec, c.bitrate, kPreset).arg(c.fps).arg(c.seconds));
}

bool makeClip(const QString &dir, const Clip &c, bool regenerate)
{
    const QString path = clipPath(dir, c);
    const Clip *source = findClip(c.picturesOf);
    if (!regenerate && QFileInfo::exists(path))
        return true;
    if (source)
        return makeClip(dir, *source, regenerate) && writeAs(path, [&](const QString &part) {
                   return ffmpeg({"-i", clipPath(dir, *source), "-an", "-c", "copy", part});
               });
    QDir().mkpath(dir);
    const QString seconds = QString::number(c.seconds, 'f', 3), rate = QString::number(c.fps);
    QStringList args{
        "-f",
        "lavfi",
        "-i",
        "testsrc2=size=%1x%2:rate=%3:duration=%4,scroll=horizontal=0.002,noise=alls=12:allf=t"_s.arg(c.width).arg(c.height).arg(
            rate, seconds),
        "-f",
        "lavfi",
        "-i",
        "sine=frequency=440:sample_rate=48000:duration=" + seconds,
        "-af",
        "aformat=channel_layouts=stereo",
        "-c:a",
        "aac",
        "-b:a",
        "128k",
        "-c:v",
        c.codec,
        "-pix_fmt",
        "yuv420p",
        "-preset",
        kPreset,
        "-b:v",
        c.bitrate,
        "-maxrate",
        c.bitrate,
        "-bufsize",
        c.bitrate,
        "-g",
        rate,
        "-keyint_min",
        rate};
    if (c.bframes >= 0)
        args << "-bf" << QString::number(c.bframes);
    if (c.codec == "libx265")
        args << "-x265-params"
             << "log-level=error";
    out() << "  encoding " << c.key << " (" << c.codec << " " << kPreset << ", " << c.bitrate << "bit/s) ..." << Qt::endl;
    return writeAs(path, [&](const QString &part) { return ffmpeg(args << "-shortest" << part); });
}

QString LongRecording::tsPath() const
{
    return QDir(dir).filePath(baseName(*this) + (gpsVersion ? "_v%1"_s.arg(gpsVersion) : QString()) + ".ts");
}

QString LongRecording::mp4Path() const { return QDir(dir).filePath(baseName(*this) + ".mp4"); }

QVector<fixture::CameraRecord> LongRecording::drive() const
{
    fixture::DriveSpec plan;
    plan.records = seconds;
    if (gpsVersion)
        plan.versions = {gpsVersion};
    return fixture::makeDrive(plan);
}

qint64 LongRecording::bytesNeeded() const
{
    const qint64 av = (bitrate + kAudioBitrate) / 8 * seconds;
    const bool ts = regenerate || !QFileInfo::exists(tsPath()), mp4 = regenerate || !QFileInfo::exists(mp4Path());
    return (ts || mp4 ? av : 0) + (ts ? av + av / 8 : 0)
           + (mp4 ? av : 0); // the repeated segment, the TS with its overhead, the MP4
}

bool makeLongRecording(const LongRecording &r, bool ts, bool mp4)
{
    ts = ts && (r.regenerate || !QFileInfo::exists(r.tsPath()));
    mp4 = mp4 && (r.regenerate || !QFileInfo::exists(r.mp4Path()));
    if (!ts && !mp4)
        return true;
    QDir().mkpath(r.dir);
    const QString segment = QDir(r.dir).filePath("segment_%1s_1080p30_%2kbps.mp4"_s.arg(r.segmentSeconds).arg(r.bitrate / 1000));
    const QString list = QDir(r.dir).filePath(baseName(r) + ".concat.txt"), av = QDir(r.dir).filePath(baseName(r) + ".av.mp4");
    fixture::AvSpec segmentAv;
    segmentAv.seconds = r.segmentSeconds;
    segmentAv.width = 1920;
    segmentAv.height = 1080;
    segmentAv.fps = 30;
    segmentAv.videoBitrate = QString::number(r.bitrate);
    segmentAv.noisy = true; // moving grain: the encoder really spends the bit rate
    QString error;
    if ((r.regenerate || !QFileInfo::exists(segment))
        && !writeAs(segment, [&](const QString &part) { return fixture::makeAvClip(part, segmentAv, &error); }))
        return false;
    QFile file(list);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (int i = 0; i < (r.seconds + r.segmentSeconds - 1) / r.segmentSeconds; ++i)
        file.write("file '" + QFile::encodeName(QFileInfo(segment).fileName()) + "'\n");
    file.close();
    // The segment repeated to the length by stream copy, then the GPS added.
    bool ok = ffmpeg({"-f", "concat", "-safe", "0", "-i", list, "-c", "copy", "-t", QString::number(r.seconds), "-f", "mp4", av});
    const QVector<QByteArray> payloads = fixture::gpsPayloads(r.drive());
    fixture::RemuxOptions remux;
    remux.format = "mpegts";
    ok = ok && (!ts || writeAs(r.tsPath(), [&](const QString &part) {
             return fixture::remuxWithGpsStream(av, part, payloads, remux, &error);
         }));
    ok = ok && (!mp4 || writeAs(r.mp4Path(), [&](const QString &part) {
             return fixture::addGpsBox(av, part, payloads, fixture::GpsBoxOptions(), &error);
         }));
    if (!error.isEmpty())
        out() << "  " << error << Qt::endl;
    QFile::remove(list);
    QFile::remove(av);
    return ok;
}

qint64 freeBytes(const QString &dir)
{
    struct statvfs fs
    {
    };
    return statvfs(QFile::encodeName(dir).constData(), &fs) == 0 ? qint64(fs.f_bavail) * qint64(fs.f_frsize) : -1;
}

bool addGpsTrack(const QString &in, const QString &outPath, const QVector<fixture::CameraRecord> &drive, bool regenerate)
{
    QString error;
    return (!regenerate && QFileInfo::exists(outPath)) || writeAs(outPath, [&](const QString &part) {
               return fixture::addGpsBox(in, part, fixture::gpsPayloads(drive), fixture::GpsBoxOptions(), &error);
           });
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
        if (a >= 0)
            info.text += ", %1 %2 Hz %3 ch"_s.arg(QLatin1String(avcodec_get_name(ic->streams[a]->codecpar->codec_id)))
                             .arg(ic->streams[a]->codecpar->sample_rate)
                             .arg(ic->streams[a]->codecpar->ch_layout.nb_channels);
        // Pictures counted by reading the packets: the container's count may be absent.
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            ic->streams[i]->discard = int(i) == v ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        AVPacket *packet = av_packet_alloc();
        for (; av_read_frame(ic, packet) >= 0; av_packet_unref(packet))
            info.frames += packet->stream_index == v;
        av_packet_free(&packet);
        info.ok = info.duration > 0.0;
    }
    avformat_close_input(&ic);
    return info;
}

} // namespace bench
