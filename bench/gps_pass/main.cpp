// velmora_bench_gps_pass: times the GPS pass the player runs before playback
// over a 30-minute 1080p recording, as TS (PID 0x300 stream) and as MP4
// ("gps " box), against a plain read() of the same file and against the
// ffmpeg command line copying out just the sound. Every figure printed is
// measured in this run. See bench/README.md.

#include "benchtext.h"
#include "childprocess.h"
#include "gpsfixture.h"
#include "gpspass.h"
#include "gpspayload.h"
#include "gpsrecord.h"
#include "longrecording.h"
#include "mp4gpsreader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSysInfo>
#include <QTextStream>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#ifndef VELMORA_FFMPEG_EXECUTABLE
#define VELMORA_FFMPEG_EXECUTABLE "ffmpeg"
#endif

using namespace bench;

namespace {

constexpr qint64 kReadChunk = 4 << 20;       // raw read: 4 MiB per read() call
constexpr double kMp4TargetMs = 50.0;          // MP4 pass target
constexpr qint64 kMinBitrate = 1000000;        // never fall back below 1 Mbit/s
constexpr qint64 kMp4OffsetLimit = 0xFFFFFFFFll; // "gps " box offsets are 32-bit

QString ms(double seconds)
{
    return QStringLiteral("%1 ms").arg(seconds * 1000.0, 0, 'f', 1);
}

// A page-aligned read buffer. Where read() copies to matters here: a
// destination 16 bytes off a 32-byte boundary (as malloc returns large
// blocks) made the kernel's copy out of the page cache over twice as slow
// on the measured machine, which would make the raw read look slower than
// it can be. Page alignment gives the best case.
class ReadBuffer
{
public:
    explicit ReadBuffer(size_t size)
        : mSize(size)
        , mData(static_cast<char *>(std::aligned_alloc(kAlign, (size + kAlign - 1) / kAlign * kAlign)))
    {
        if (!mData)
            throw std::bad_alloc();
        std::memset(mData.get(), 0, mSize); // fault the pages in before any timing
    }
    char *data() const { return mData.get(); }
    size_t size() const { return mSize; }

private:
    static constexpr size_t kAlign = 4096;
    struct Free
    {
        void operator()(char *p) const { std::free(p); }
    };
    size_t mSize;
    std::unique_ptr<char, Free> mData;
};

// Reads the whole file with read() in buffer-sized pieces; returns the bytes read, -1 on error.
qint64 readWholeFile(const QString &path, const ReadBuffer &buffer)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    qint64 total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            total = -1;
            break;
        }
        if (n == 0)
            break;
        total += n;
    }
    ::close(fd);
    return total;
}

// --- Checks ------------------------------------------------------------------------

// Compares the pass's track with the drive the fixture wrote: every record,
// in order. Returns the number of records that differ.
int mismatches(const GpsTrack &track, const QVector<fixture::CameraRecord> &expected)
{
    int bad = 0;
    for (int i = 0; i < track.count() && i < expected.size(); ++i) {
        const GpsRecord &got = track.records[i];
        const GpsRecord &want = expected.at(i).raw;
        const bool same = got.hour == want.hour && got.minute == want.minute && got.second == want.second
                          && got.year == want.year && got.month == want.month && got.day == want.day
                          && got.status == want.status && got.speed == want.speed && got.heading == want.heading
                          && got.latitude == nmeaToDegrees(want.latitude)
                          && got.longitude == nmeaToDegrees(want.longitude);
        if (!same)
            ++bad;
    }
    return bad;
}

struct PassCheck
{
    bool ok = false;
    QString text;
};

PassCheck checkPass(const GpsPassResult &result, const GpsTrack &track, qint16 version, bool ts,
                    const LongRecording &s, const QVector<fixture::CameraRecord> &expected)
{
    const int wantCount = s.seconds;
    const int bad = mismatches(track, expected);
    PassCheck check;
    check.ok = result.status == GpsPassResult::Ok && track.count() == wantCount && track.valid && bad == 0
               && (!ts || (result.gpsStream > 0 && version == qint16(s.gpsVersion)));
    check.text = QStringLiteral("status %1, count %2 (expected %3), valid %4, records differing from the drive %5")
                     .arg(result.status == GpsPassResult::Ok ? QStringLiteral("Ok") : result.error)
                     .arg(track.count())
                     .arg(wantCount)
                     .arg(track.valid ? QStringLiteral("true") : QStringLiteral("false"))
                     .arg(bad);
    if (ts)
        check.text += QStringLiteral(", GPS stream index %1, gpsVersion %2 (expected %3)")
                          .arg(result.gpsStream)
                          .arg(version)
                          .arg(s.gpsVersion);
    check.text += check.ok ? QStringLiteral(" -> OK") : QStringLiteral(" -> WRONG");
    return check;
}

// --- Measurement --------------------------------------------------------------------

struct FileTimes
{
    Stats pass, raw, ffmpeg;
    Stats header; // step 1 alone (runGpsPassHeader): what a player waits for before its first picture
    bool passOk = true;
    bool ffmpegOk = true;
    bool rawOk = true;
};

QStringList ffmpegAudioCopy(const QString &path)
{
    return {QStringLiteral(VELMORA_FFMPEG_EXECUTABLE), QStringLiteral("-v"), QStringLiteral("error"),
            QStringLiteral("-i"), path, QStringLiteral("-map"), QStringLiteral("0:a"), QStringLiteral("-c"),
            QStringLiteral("copy"), QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")};
}

FileTimes measure(const QString &path, bool ts, int reps, const LongRecording &s,
                  const QVector<fixture::CameraRecord> &expected)
{
    FileTimes times;
    const ReadBuffer buffer(kReadChunk);
    auto track = std::make_unique<GpsTrack>();
    qint16 version = 0;
    const qint64 size = QFileInfo(path).size();

    // Warm-up, untimed: one read of the whole file puts it in the page cache;
    // one run of the pass and of ffmpeg loads their code.
    if (readWholeFile(path, buffer) != size)
        times.rawOk = false;
    {
        const GpsPassResult result = runGpsPass(path, *track, version);
        const PassCheck check = checkPass(result, *track, version, ts, s, expected);
        out() << "  check (warm-up run): " << check.text << "\n";
        times.passOk = check.ok;
    }
    times.ffmpegOk = endChild(startChild(ffmpegAudioCopy(path), {}, QString()), 0) == 0;

    // Repetitions interleave the three so that drift hits them alike.
    for (int rep = 0; rep < reps; ++rep) {
        auto start = Clock::now();
        const GpsPassResult result = runGpsPass(path, *track, version);
        times.pass.add(secondsSince(start));
        const PassCheck check = checkPass(result, *track, version, ts, s, expected);
        if (!check.ok) {
            out() << "  check (run " << rep + 1 << "): " << check.text << "\n";
            times.passOk = false;
        }

        start = Clock::now();
        GpsPassResult headerResult;
        runGpsPassHeader(path, *track, version, headerResult);
        times.header.add(secondsSince(start));

        start = Clock::now();
        const qint64 read = readWholeFile(path, buffer);
        times.raw.add(secondsSince(start));
        if (read != size)
            times.rawOk = false;

        start = Clock::now();
        const int rc = endChild(startChild(ffmpegAudioCopy(path), {}, QString()), 0);
        times.ffmpeg.add(secondsSince(start));
        if (rc != 0)
            times.ffmpegOk = false;
    }
    return times;
}

void printRow(const char *what, const Stats &samples, qint64 size)
{
    out() << QStringLiteral("  %1 median %2  min %3  (%4 GB/s at the median)")
                 .arg(QLatin1String(what), -30)
                 .arg(ms(samples.median()), 10)
                 .arg(ms(samples.min()), 10)
                 .arg(double(size) / samples.median() / 1e9, 0, 'f', 2)
          << "\n";
}

// Step 1 is far below a millisecond on a hot cache: microseconds, and no throughput.
void printStepOne(const Stats &samples)
{
    out() << QStringLiteral("    of it step 1 (runGpsPassHeader) median %1 us  min %2 us\n")
                 .arg(samples.median() * 1e6, 0, 'f', 1)
                 .arg(samples.min() * 1e6, 0, 'f', 1);
}

// Reads the whole file with read() in chunkSize pieces; returns the bytes read.
qint64 readInChunks(const QString &path, size_t chunkSize)
{
    const ReadBuffer buffer(chunkSize);
    return readWholeFile(path, buffer);
}

// The floor for a hand-written TS scanner: read() in large chunks and look
// at the PID of every 188-byte packet, counting the PID 0x300 packets that
// start a payload. No PES reassembly, no resync: an estimate, not a reader.
qint64 scanGpsPackets(const QString &path, qint64 *packets)
{
    constexpr size_t kPacket = 188;
    const ReadBuffer buffer(kPacket * 22310); // about 4 MiB, whole packets
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    qint64 starts = 0;
    qint64 total = 0;
    size_t filled = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data() + filled, buffer.size() - filled);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        filled += size_t(n);
        const size_t whole = filled - filled % kPacket;
        for (size_t at = 0; at < whole; at += kPacket) {
            const auto *p = reinterpret_cast<const uint8_t *>(buffer.data() + at);
            const int pid = ((p[1] & 0x1F) << 8) | p[2];
            if (p[0] == 0x47 && pid == kGpsStreamPid && (p[1] & 0x40))
                ++starts;
        }
        total += qint64(whole);
        std::memmove(buffer.data(), buffer.data() + whole, filled - whole);
        filled -= whole;
    }
    ::close(fd);
    *packets = total / qint64(kPacket);
    return starts;
}

// Where the TS pass spends its time: the same libavformat calls as the pass,
// timed one by one (plus the type-marker probe the pass makes first), and
// two floors to compare the read loop with.
void tsBreakdown(const QString &path, int reps)
{
    Stats probe, open, info, loop, read32k, scan;
    qint64 scanStarts = 0;
    qint64 scanPackets = 0;
    int gpsPackets = 0;
    qint64 lastPos = 0;
    int streams = 0;
    auto track = std::make_unique<GpsTrack>();
    for (int rep = 0; rep < reps; ++rep) {
        auto start = Clock::now();
        probeTsTypeMarker(path);
        probe.add(secondsSince(start));

        AVFormatContext *ic = nullptr;
        start = Clock::now();
        if (avformat_open_input(&ic, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
            return;
        open.add(secondsSince(start));
        start = Clock::now();
        avformat_find_stream_info(ic, nullptr);
        info.add(secondsSince(start));
        streams = int(ic->nb_streams);

        int gps = -1;
        for (unsigned i = 0; i < ic->nb_streams; ++i) {
            if (ic->streams[i]->id == kGpsStreamPid)
                gps = int(i);
        }
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            ic->streams[i]->discard = int(i) == gps ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        AVPacket *packet = av_packet_alloc();
        gpsPackets = 0;
        track->reset();
        qint16 version = 0;
        start = Clock::now();
        while (av_read_frame(ic, packet) >= 0) {
            if (packet->stream_index == gps && packet->data) {
                ++gpsPackets;
                decodeGpsPayload(packet->data, size_t(packet->size), GpsPayloadVariant::TransportStream, *track,
                                 version);
            }
            av_packet_unref(packet);
        }
        loop.add(secondsSince(start));
        lastPos = avio_tell(ic->pb);
        av_packet_free(&packet);
        avformat_close_input(&ic);

        start = Clock::now();
        readInChunks(path, 32768);
        read32k.add(secondsSince(start));

        start = Clock::now();
        scanStarts = scanGpsPackets(path, &scanPackets);
        scan.add(secondsSince(start));
    }
    const double total = probe.median() + open.median() + info.median() + loop.median();
    const auto row = [&](const char *what, const Stats &samples, bool part = true) {
        out() << QStringLiteral("  %1 median %2  min %3  (%4)")
                     .arg(QLatin1String(what), -44)
                     .arg(ms(samples.median()), 10)
                     .arg(ms(samples.min()), 10)
                     .arg(part ? QStringLiteral("%1 % of the sum of medians").arg(100.0 * samples.median() / total, 0, 'f', 1)
                               : QStringLiteral("%1 x the read loop").arg(samples.median() / loop.median(), 0, 'f', 2))
              << "\n";
    };
    out() << "TS pass breakdown (same libavformat calls as the pass, " << reps << " repetitions):\n";
    row("type-marker probe (first PAT packet)", probe);
    row("avformat_open_input", open);
    row("avformat_find_stream_info", info);
    row("read loop, all but PID 0x300 discarded", loop);
    out() << "  for comparison:\n";
    row("read() of the whole file, 32 KiB chunks", read32k, false);
    out() << "    (32 KiB is libavformat's default I/O buffer: the read loop's share of system calls and copying)\n";
    row("PID scan floor, whole file (4 MiB read()s)", scan, false);
    out() << "    (what a hand-written TS packet scanner would cost at best; found " << scanStarts
          << " PID 0x300 payload starts in " << scanPackets << " packets)\n";
    out() << QStringLiteral("  streams %1, GPS packets returned %2, demuxer stopped at byte %3, "
                            "%4 TS packets read, %5 ns per TS packet in the read loop")
                 .arg(streams)
                 .arg(gpsPackets)
                 .arg(lastPos)
                 .arg(lastPos / 188)
                 .arg(loop.median() * 1e9 / double(std::max<qint64>(1, lastPos / 188)), 0, 'f', 1)
          << "\n";
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Times the GPS pass over a long 1080p recording (TS and MP4) against read() and ffmpeg."));
    parser.addHelpOption();
    const QList<QCommandLineOption> options{
        {QStringLiteral("dir"), QStringLiteral("scratch folder for the recordings (default /tmp/velmora_bench_gps_pass); "
                                               "files already there are reused"),
         QStringLiteral("dir"), QStringLiteral("/tmp/velmora_bench_gps_pass")},
        {QStringLiteral("bitrate"), QStringLiteral("video bit rate (default 8M); lowered if the disk is short"),
         QStringLiteral("rate"), QStringLiteral("8M")},
        {QStringLiteral("minutes"), QStringLiteral("recording length (default 30)"), QStringLiteral("n"), QStringLiteral("30")},
        {QStringLiteral("segment"), QStringLiteral("seconds encoded once and repeated (default 60)"), QStringLiteral("s"),
         QStringLiteral("60")},
        {QStringLiteral("reps"), QStringLiteral("timed repetitions (default 5)"), QStringLiteral("n"), QStringLiteral("5")},
        {QStringLiteral("gps-version"), QStringLiteral("payload format version in the TS (default 0)"),
         QStringLiteral("n"), QStringLiteral("0")},
        {QStringLiteral("regenerate"), QStringLiteral("write the recordings again even if they exist")},
        {QStringLiteral("only"), QStringLiteral("ts or mp4: measure one file only"), QStringLiteral("kind")},
        {QStringLiteral("pass-only"), QStringLiteral("run just the GPS pass --reps times on the TS (for perf)")},
    };
    parser.addOptions(options);
    parser.process(app);
    av_log_set_level(AV_LOG_ERROR);
    // The pass logs a few lines per file; keep them off the timed runs' output.
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));

    LongRecording s;
    s.dir = parser.value(QStringLiteral("dir"));
    s.bitrate = parseRate(parser.value(QStringLiteral("bitrate")));
    s.seconds = parser.value(QStringLiteral("minutes")).toInt() * 60;
    s.segmentSeconds = parser.value(QStringLiteral("segment")).toInt();
    s.gpsVersion = quint16(parser.value(QStringLiteral("gps-version")).toUInt(nullptr, 0));
    s.regenerate = parser.isSet(QStringLiteral("regenerate"));
    const int reps = parser.value(QStringLiteral("reps")).toInt();
    const QString only = parser.value(QStringLiteral("only"));
    if (s.bitrate <= 0 || s.seconds <= 0 || s.segmentSeconds <= 0 || reps <= 0
        || (!only.isEmpty() && only != QLatin1String("ts") && only != QLatin1String("mp4"))) {
        QTextStream(stderr) << "velmora_bench_gps_pass: bad option (see --help)\n";
        return 2;
    }
    if (!QDir().mkpath(s.dir)) {
        QTextStream(stderr) << "velmora_bench_gps_pass: cannot create " << s.dir << "\n";
        return 1;
    }

    out() << "velmora_bench_gps_pass  " << QDateTime::currentDateTime().toString(Qt::ISODate) << "\n"
          << "machine: " << std::thread::hardware_concurrency() << " logical CPUs, " << QSysInfo::prettyProductName()
          << ", kernel " << QSysInfo::kernelVersion() << "; libavformat " << LIBAVFORMAT_IDENT << "\n"
          << "scratch folder: " << s.dir << "\n";

    // Disk space: fall back to a lower bit rate rather than fill the disk.
    const qint64 freeSpace = freeBytes(s.dir);
    out() << "free space there: " << sizeText(freeSpace) << "\n";
    const qint64 requested = s.bitrate;
    while (freeSpace >= 0 && s.bytesNeeded(true, true) + s.bytesNeeded(true, true) / 10 + (1ll << 30) > freeSpace && s.bitrate / 2 >= kMinBitrate)
        s.bitrate /= 2;
    if (s.bitrate != requested)
        out() << "NOTE: not enough space for " << requested / 1000 << " kbit/s; using " << s.bitrate / 1000
              << " kbit/s\n";
    if (freeSpace >= 0 && s.bytesNeeded(true, true) > freeSpace) {
        out() << "not enough disk space (" << sizeText(s.bytesNeeded(true, true)) << " needed)\n";
        return 1;
    }
    if ((s.bitrate + 128000) / 8 * s.seconds > kMp4OffsetLimit * 9 / 10) {
        out() << "bit rate too high: the \"gps \" box holds 32-bit offsets, the MP4 must stay below 4 GiB\n";
        return 2;
    }

    if (!makeLongRecording(s, true, true))
        return 1;
    const QVector<fixture::CameraRecord> expected = s.drive();
    const QString ts = s.tsPath();
    const QString mp4 = s.mp4Path();
    const qint64 tsSize = QFileInfo(ts).size();
    const qint64 mp4Size = QFileInfo(mp4).size();
    out() << "TS : " << ts << "  " << sizeText(tsSize) << "\n"
          << "MP4: " << mp4 << "  " << sizeText(mp4Size) << "\n"
          << "recording: " << s.seconds << " s, 1920x1080 30 fps H.264 at " << s.bitrate / 1000
          << " kbit/s + AAC, " << expected.size() << " GPS records, TS payload version " << s.gpsVersion << "\n"
          << Qt::endl;

    if (parser.isSet(QStringLiteral("pass-only"))) {
        auto track = std::make_unique<GpsTrack>();
        qint16 version = 0;
        Stats pass;
        for (int rep = 0; rep < reps; ++rep) {
            const auto start = Clock::now();
            runGpsPass(ts, *track, version);
            pass.add(secondsSince(start));
        }
        out() << "TS GPS pass only: median " << ms(pass.median()) << ", min " << ms(pass.min()) << "\n";
        return 0;
    }

    out() << "Timing: page cache warmed first (one untimed read of the whole file, then one untimed run of\n"
          << "the pass and of ffmpeg), so all three are measured on a hot cache; " << reps
          << " repetitions, interleaved.\n"
          << "  GPS pass   : runGpsPass(file, track, version); step 1 (runGpsPassHeader) also timed alone\n"
          << "  raw read   : read() of the whole file in " << kReadChunk / (1 << 20) << " MiB chunks into one page-aligned buffer\n"
          << "  ffmpeg     : ffmpeg -v error -i FILE -map 0:a -c copy -f null -   (process start to exit)\n"
          << Qt::endl;

    out() << "load average (1, 5, 15 min) before timing: " << loadAverage()
          << "  (other work on the machine widens the gap between median and min)\n" << Qt::endl;
    bool allOk = true;
    bool targetsMet = true;
    if (only.isEmpty() || only == QLatin1String("ts")) {
        out() << "TS (" << sizeText(tsSize) << ")" << Qt::endl;
        const FileTimes t = measure(ts, true, reps, s, expected);
        printRow("GPS pass", t.pass, tsSize);
        printStepOne(t.header);
        printRow("raw read", t.raw, tsSize);
        printRow("ffmpeg audio copy", t.ffmpeg, tsSize);
        const double vsFfmpeg = t.pass.median() / t.ffmpeg.median();
        const double vsRaw = t.pass.median() / t.raw.median();
        out() << QStringLiteral("  pass / ffmpeg   = %1 (medians), %2 (mins)   target <= 1.0: %3\n")
                     .arg(vsFfmpeg, 0, 'f', 2)
                     .arg(t.pass.min() / t.ffmpeg.min(), 0, 'f', 2)
                     .arg(vsFfmpeg <= 1.0 ? QStringLiteral("met") : QStringLiteral("MISSED"))
              << QStringLiteral("  pass / raw read = %1 (medians), %2 (mins)\n")
                     .arg(vsRaw, 0, 'f', 2)
                     .arg(t.pass.min() / t.raw.min(), 0, 'f', 2)
              << "  pass result correct in every run: " << (t.passOk ? "yes" : "NO")
              << "; ffmpeg exit 0 in every run: " << (t.ffmpegOk ? "yes" : "NO")
              << "; raw read complete: " << (t.rawOk ? "yes" : "NO") << "\n"
              << Qt::endl;
        allOk = allOk && t.passOk && t.ffmpegOk && t.rawOk;
        targetsMet = targetsMet && vsFfmpeg <= 1.0;
        tsBreakdown(ts, reps);
        out() << Qt::endl;
    }
    if (only.isEmpty() || only == QLatin1String("mp4")) {
        out() << "MP4 (" << sizeText(mp4Size) << ")" << Qt::endl;
        const FileTimes t = measure(mp4, false, reps, s, expected);
        printRow("GPS pass", t.pass, mp4Size);
        printStepOne(t.header);
        printRow("raw read", t.raw, mp4Size);
        printRow("ffmpeg audio copy", t.ffmpeg, mp4Size);
        const double passMs = t.pass.median() * 1000.0;
        out() << QStringLiteral("  pass = %1 ms median, %2 ms min   target < %3 ms: %4\n")
                     .arg(passMs, 0, 'f', 2)
                     .arg(t.pass.min() * 1000.0, 0, 'f', 2)
                     .arg(kMp4TargetMs, 0, 'f', 0)
                     .arg(passMs < kMp4TargetMs ? QStringLiteral("met") : QStringLiteral("MISSED"))
              << QStringLiteral("  pass / ffmpeg = %1, pass / raw read = %2 (medians)\n")
                     .arg(t.pass.median() / t.ffmpeg.median(), 0, 'f', 4)
                     .arg(t.pass.median() / t.raw.median(), 0, 'f', 4)
              << "  pass result correct in every run: " << (t.passOk ? "yes" : "NO")
              << "; ffmpeg exit 0 in every run: " << (t.ffmpegOk ? "yes" : "NO")
              << "; raw read complete: " << (t.rawOk ? "yes" : "NO") << "\n"
              << Qt::endl;
        allOk = allOk && t.passOk && t.ffmpegOk && t.rawOk;
        targetsMet = targetsMet && passMs < kMp4TargetMs;
    }
    out() << "load average after timing: " << loadAverage() << "\n";
    out() << "summary: results " << (allOk ? "correct" : "WRONG") << ", targets "
          << (targetsMet ? "met" : "missed") << Qt::endl;
    return allOk ? 0 : 1;
}
