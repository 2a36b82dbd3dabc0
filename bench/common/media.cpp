// The recordings and what they hold; the children's event loop, windows and screen.

#include "bench.h"
#include "mainwindow.h"
#include "mapbridge.h"

#include <QEventLoop>
#include <QLoggingCategory>
#include <QPixmap>
#include <QScreen>
#include <QWindow>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace bench {

namespace {

const QString kPreset = "veryfast";        // CABAC, B-frames, deblocking: a real file's decoding cost
constexpr double kEncodeTimeoutS = 7200.0; // the HEVC clip, or a long copy on a slow disk
constexpr int kSegmentSeconds = 60;        // of a long recording, encoded once
constexpr int kExposeTimeoutMs = 10000, kMapLoadTimeoutMs = 30000;
constexpr int kConditionPollMs = 5;     // spinUntil looks at conditions nobody reports this often
constexpr int kBlackThreshold = 24;     // 0..255: darker in every channel counts as black
constexpr double kReportedGapMs = 20.0; // a 50 fps repaint missed
constexpr int kReportedGaps = 5;

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

QString baseName(const LongRecording &r)
{
    const QString length = r.seconds % 60 ? "%1s"_s.arg(r.seconds) : "%1min"_s.arg(r.seconds / 60);
    return "drive_%1_1080p30_%2kbps"_s.arg(length).arg(r.bitrate / 1000);
}

QEventLoop *gWaitLoop = nullptr;
std::function<bool()> gWaitDone;

} // namespace

// The temporary file keeps an .mp4 suffix: ffmpeg goes by it.
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

QString trackedClip(const QString &dir, const QString &key, bool ts, bool regenerate)
{
    const Clip *c = findClip(key);
    if (!c || !makeClip(dir, *c, regenerate))
        return QString();
    fixture::DriveSpec plan;
    plan.records = int(c->seconds);
    const QString in = clipPath(dir, *c);
    const QString path = QDir(dir).filePath(QFileInfo(in).completeBaseName() + "_gps%1.%2"_s.arg(plan.records).arg(ts ? "ts" : "mp4"));
    if (!ts)
        return addGpsTrack(in, path, fixture::makeDrive(plan), regenerate) ? path : QString();
    fixture::RemuxOptions remux;
    remux.format = "mpegts";
    QString error;
    const bool ok = writeAs(path, regenerate, [&](const QString &part) {
        return fixture::remuxWithGpsStream(in, part, fixture::gpsPayloads(fixture::makeDrive(plan)), remux, &error);
    });
    if (!error.isEmpty())
        out() << "  " << error << Qt::endl;
    return ok ? path : QString();
}

QString LongRecording::path(const char *suffix) const { return QDir(dir).filePath(baseName(*this) + suffix); }

QVector<fixture::CameraRecord> LongRecording::drive() const
{
    fixture::DriveSpec plan;
    plan.records = seconds;
    return fixture::makeDrive(plan);
}

bool makeLongRecording(const LongRecording &r, bool ts, bool mp4)
{
    ts = ts && (r.regenerate || !QFileInfo::exists(r.path(".ts")));
    mp4 = mp4 && (r.regenerate || !QFileInfo::exists(r.path(".mp4")));
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
    ok = ok && (!ts || writeAs(r.path(".ts"), true, [&](const QString &part) {
             return fixture::remuxWithGpsStream(av, part, payloads, remux, &error);
         }));
    ok = ok && (!mp4 || writeAs(r.path(".mp4"), true, [&](const QString &part) {
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
        info.text += ", %1 s, %2 pictures"_s.arg(fixed(info.duration, 3)).arg(info.frames);
    }
    avformat_close_input(&ic);
    return info;
}

void wakeWaiter()
{
    if (gWaitLoop && gWaitDone && gWaitDone())
        gWaitLoop->quit();
}

bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &wakeWaiter);
    tick.start(kConditionPollMs);
    gWaitLoop = &loop;
    gWaitDone = done;
    loop.exec();
    gWaitLoop = nullptr;
    gWaitDone = nullptr;
    return done();
}

void spinFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool exposed(QWidget &window)
{
    window.show();
    return spinUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, kExposeTimeoutMs);
}

MyFrame *showMainWindow(MainWindow &window, bool waitForMap)
{
    auto *surface = window.findChild<MyFrame *>();
    if (surface && exposed(window)
        && (!waitForMap || spinUntil([&] { return window.mapBridge()->isLoaded(); }, kMapLoadTimeoutMs)))
        return surface;
    childError("no video surface, never exposed, or the map never loaded", 2);
    return nullptr;
}

std::unique_ptr<MainWindow> viewerWindow(const QString &dataDir)
{
    QDir(dataDir).removeRecursively();
    auto window = std::make_unique<MainWindow>(nullptr, MainWindow::MapView::Web, dataDir);
    window->setWindowFlags(Qt::FramelessWindowHint);
    window->placeAtStart();
    return window;
}

// The surface's own paint first, then the callback: a stamp after the paint.
PaintWatch::PaintWatch(MyFrame *surface)
    : mSurface(surface)
{
    surface->installEventFilter(this);
}

bool PaintWatch::eventFilter(QObject *, QEvent *event)
{
    if (event->type() != QEvent::Paint || mInside || mSurface->image().isNull())
        return false;
    mInside = true;
    QCoreApplication::sendEvent(mSurface, event);
    mInside = false;
    if (onPainted)
        onPainted(mSurface->image());
    wakeWaiter();
    return true;
}

void quietLogs()
{
    QLoggingCategory::setFilterRules("velmora.*.debug=false\nvelmora.ffmpeg.warning=false");
    av_log_set_level(AV_LOG_ERROR);
}

double imagePts(const QImage &image)
{
    bool ok = false;
    const double pts = image.text("pts").toDouble(&ok);
    return ok ? pts : NAN;
}

QString litScreen()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    const QImage shot = screen ? screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32) : QImage();
    int left = shot.width(), top = shot.height(), right = -1, bottom = -1;
    for (int y = 0; y < shot.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x)
            if (qRed(line[x]) >= kBlackThreshold || qGreen(line[x]) >= kBlackThreshold || qBlue(line[x]) >= kBlackThreshold) {
                left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
            }
    }
    return right < 0 ? "none" : "%1x%2@%3,%4"_s.arg(right - left + 1).arg(bottom - top + 1).arg(left).arg(top);
}

Heartbeat::Heartbeat(int tickMs)
{
    mTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&mTimer, &QTimer::timeout, [this] {
        const Clock::time_point now = Clock::now();
        const QStringList sched = readText("/proc/thread-self/schedstat").split(' '); // ns on the CPU, ns waiting for it
        const qint64 run = sched.value(0).toLongLong(), wait = sched.value(1).toLongLong();
        const double gap = mTicks++ ? msBetween(mLast, now) : 0.0;
        mLongest = std::max(mLongest, gap);
        if (gap > kReportedGapMs)
            mGaps.push_back({gap, now, (run - mLastRun) / 1e6, (wait - mLastWait) / 1e6});
        mLast = now, mLastRun = run, mLastWait = wait;
        if (onTick)
            onTick();
        wakeWaiter();
    });
    mTimer.start(tickMs);
}

QString Heartbeat::gaps(Clock::time_point since) const
{
    auto sorted = mGaps;
    std::sort(sorted.begin(), sorted.end(), [](const auto &a, const auto &b) { return a.ms > b.ms; });
    QStringList items;
    for (int i = 0; i < int(sorted.size()) && i < kReportedGaps; ++i)
        items << "%1@%2/%3/%4"_s.arg(fixed(sorted[i].ms, 1), fixed(msBetween(since, sorted[i].end), 0), fixed(sorted[i].runMs, 1),
                                     fixed(sorted[i].waitMs, 1));
    return items.isEmpty() ? "none" : items.join(',');
}

} // namespace bench
