#include "longrecording.h"

#include "benchtext.h"
#include "childprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/statvfs.h>

#ifndef VELMORA_FFMPEG_EXECUTABLE
#define VELMORA_FFMPEG_EXECUTABLE "ffmpeg"
#endif

namespace bench {

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFps = 30;
constexpr qint64 kAudioBitrate = 128000;       // bits per second, the fixture's AAC
constexpr double kConcatTimeoutS = 3600.0;     // stream copy of a long file on a slow disk

QString baseName(const LongRecording &r)
{
    // Whole minutes keep the names the GPS pass benchmark always used.
    const QString length = r.seconds % 60 == 0 ? QStringLiteral("%1min").arg(r.seconds / 60) : QStringLiteral("%1s").arg(r.seconds);
    return QStringLiteral("drive_%1_1080p30_%2kbps").arg(length).arg(r.bitrate / 1000);
}

bool replaceWith(const QString &part, const QString &final)
{
    QFile::remove(final);
    return QFile::rename(part, final);
}

bool encodeSegment(const LongRecording &r)
{
    const QString segment = r.segmentPath();
    if (!r.regenerate && QFileInfo::exists(segment))
        return true;
    fixture::AvSpec av;
    av.seconds = r.segmentSeconds;
    av.width = kWidth;
    av.height = kHeight;
    av.fps = kFps;
    av.videoBitrate = QString::number(r.bitrate);
    av.noisy = true; // moving grain, so the encoder really spends the bit rate
    out() << "encoding a " << r.segmentSeconds << " s " << kWidth << "x" << kHeight << " " << kFps << " fps segment at "
          << r.bitrate / 1000 << " kbit/s (x264 ultrafast, AAC stereo) ..." << Qt::endl;
    const Clock::time_point start = Clock::now();
    const QString part = segment + QStringLiteral(".part.mp4");
    QString error;
    if (!fixture::makeAvClip(part, av, &error) || !replaceWith(part, segment)) {
        out() << "segment failed: " << error << "\n";
        return false;
    }
    out() << "  segment: " << QFileInfo(segment).size() << " bytes, "
          << fixed(QFileInfo(segment).size() * 8.0 / r.segmentSeconds / 1e6, 2) << " Mbit/s overall, "
          << fixed(secondsSince(start), 1) << " s to encode" << Qt::endl;
    return true;
}

// The segment repeated to the full length by stream copy.
bool concatenate(const LongRecording &r, const QString &av)
{
    const QString list = QDir(r.dir).filePath(baseName(r) + QStringLiteral(".concat.txt"));
    {
        QFile file(list);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            out() << list << ": " << file.errorString() << "\n";
            return false;
        }
        const int copies = (r.seconds + r.segmentSeconds - 1) / r.segmentSeconds;
        for (int i = 0; i < copies; ++i)
            file.write("file '" + QFile::encodeName(QFileInfo(r.segmentPath()).fileName()) + "'\n");
    }
    out() << "repeating it to " << r.seconds << " s by stream copy (ffmpeg concat, -c copy) ..." << Qt::endl;
    const Clock::time_point start = Clock::now();
    const ChildRun run = runChild({QStringLiteral(VELMORA_FFMPEG_EXECUTABLE), QStringLiteral("-hide_banner"), QStringLiteral("-v"),
                                   QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("concat"),
                                   QStringLiteral("-safe"), QStringLiteral("0"), QStringLiteral("-i"), list, QStringLiteral("-c"),
                                   QStringLiteral("copy"), QStringLiteral("-t"), QString::number(r.seconds),
                                   QStringLiteral("-f"), QStringLiteral("mp4"), av},
                                  {}, QString(), kConcatTimeoutS);
    QFile::remove(list);
    if (run.exitCode != 0) {
        out() << "ffmpeg concat failed (exit " << run.exitCode << ")\n";
        return false;
    }
    out() << "  " << fixed(secondsSince(start), 1) << " s" << Qt::endl;
    return true;
}

} // namespace

QString LongRecording::tsPath() const
{
    const QString version = gpsVersion ? QStringLiteral("_v%1").arg(gpsVersion) : QString();
    return QDir(dir).filePath(baseName(*this) + version + QStringLiteral(".ts"));
}

QString LongRecording::mp4Path() const
{
    return QDir(dir).filePath(baseName(*this) + QStringLiteral(".mp4"));
}

QString LongRecording::segmentPath() const
{
    return QDir(dir).filePath(QStringLiteral("segment_%1s_1080p30_%2kbps.mp4").arg(segmentSeconds).arg(bitrate / 1000));
}

QVector<fixture::CameraRecord> LongRecording::drive() const
{
    fixture::DriveSpec plan;
    plan.records = seconds;
    if (gpsVersion)
        plan.versions = {gpsVersion};
    return fixture::makeDrive(plan);
}

qint64 LongRecording::bytesNeeded(bool ts, bool mp4) const
{
    const qint64 av = (bitrate + kAudioBitrate) / 8 * seconds;
    const bool needTs = ts && (regenerate || !QFileInfo::exists(tsPath()));
    const bool needMp4 = mp4 && (regenerate || !QFileInfo::exists(mp4Path()));
    qint64 need = 0;
    if (needTs || needMp4)
        need += av; // the concatenated audio/video file, removed at the end
    if (needTs)
        need += av + av / 8; // transport stream overhead
    if (needMp4)
        need += av;
    if (need > 0 && !QFileInfo::exists(segmentPath()))
        need += (bitrate + kAudioBitrate) / 8 * segmentSeconds;
    return need;
}

bool makeLongRecording(const LongRecording &r, bool ts, bool mp4)
{
    const bool needTs = ts && (r.regenerate || !QFileInfo::exists(r.tsPath()));
    const bool needMp4 = mp4 && (r.regenerate || !QFileInfo::exists(r.mp4Path()));
    if (!needTs && !needMp4) {
        out() << "recordings: reusing" << (ts ? QStringLiteral(" ") + r.tsPath() : QString())
              << (mp4 ? QStringLiteral(" ") + r.mp4Path() : QString()) << "\n";
        return true;
    }
    if (!QDir().mkpath(r.dir) || !encodeSegment(r))
        return false;
    const QString av = QDir(r.dir).filePath(baseName(r) + QStringLiteral(".av.mp4"));
    if (!concatenate(r, av))
        return false;

    const QVector<QByteArray> payloads = fixture::gpsPayloads(r.drive());
    QString error;
    bool ok = true;
    if (needTs) {
        out() << "adding the PID 0x300 GPS stream (" << payloads.size() << " payloads) -> " << r.tsPath() << " ..." << Qt::endl;
        const Clock::time_point start = Clock::now();
        fixture::RemuxOptions remux;
        remux.format = QStringLiteral("mpegts");
        const QString part = r.tsPath() + QStringLiteral(".part");
        ok = fixture::remuxWithGpsStream(av, part, payloads, remux, &error) && replaceWith(part, r.tsPath());
        out() << (ok ? QStringLiteral("  %1 s").arg(fixed(secondsSince(start), 1)) : QStringLiteral("TS failed: ") + error) << Qt::endl;
    }
    if (ok && needMp4) {
        out() << "adding the \"gps \" box (" << payloads.size() << " record blocks) -> " << r.mp4Path() << " ..." << Qt::endl;
        const Clock::time_point start = Clock::now();
        const QString part = r.mp4Path() + QStringLiteral(".part");
        ok = fixture::addGpsBox(av, part, payloads, fixture::GpsBoxOptions(), &error) && replaceWith(part, r.mp4Path());
        out() << (ok ? QStringLiteral("  %1 s").arg(fixed(secondsSince(start), 1)) : QStringLiteral("MP4 failed: ") + error) << Qt::endl;
    }
    QFile::remove(av);
    return ok;
}

qint64 freeBytes(const QString &dir)
{
    struct statvfs fs {};
    if (statvfs(QFile::encodeName(dir).constData(), &fs) != 0)
        return -1;
    return qint64(fs.f_bavail) * qint64(fs.f_frsize);
}

} // namespace bench
