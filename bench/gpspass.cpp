// gps_pass: the GPS pass the player makes over a file, on a long 1080p
// recording as TS and as MP4, against read() of the same file and ffmpeg
// copying out the sound; hot page cache.

#include "bench.h"
#include "gpspass.h"
#include "gpspayload.h"
#include "mp4gpsreader.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace bench {

namespace {

constexpr size_t kReadChunk = 4 << 20; // raw read: 4 MiB per read()
constexpr size_t kAvioChunk = 32768;   // libavformat's I/O buffer
constexpr size_t kTsPacket = 188;
constexpr double kMp4TargetMs = 50.0;
constexpr qint64 kMp4Limit = 0xFFFFFFFFll * 9 / 10; // "gps " box offsets are 32-bit

// Page-aligned: read() into a block 16 bytes off a 32-byte boundary (as
// malloc returns) copied out of the page cache over twice as slowly here.
struct Buffer
{
    explicit Buffer(size_t size)
        : size(size)
        , data(static_cast<char *>(std::aligned_alloc(4096, (size + 4095) / 4096 * 4096)), std::free)
    {
        std::memset(data.get(), 0, size); // the pages faulted in before any timing
    }
    size_t size;
    std::unique_ptr<char, void (*)(void *)> data;
};

// The bytes read, -1 on error; with gpsStarts, the PID 0x300 payload starts
// counted (no PES reassembly: the floor of a hand-written TS scanner).
qint64 readFile(const QString &path, size_t chunk, qint64 *gpsStarts = nullptr)
{
    const Buffer buffer(gpsStarts ? chunk / kTsPacket * kTsPacket : chunk);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    qint64 total = 0;
    size_t filled = 0;
    while (fd >= 0) {
        const ssize_t n = ::read(fd, buffer.data.get() + filled, buffer.size - filled);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            total = n < 0 ? -1 : total;
            break;
        }
        total += n;
        if (!gpsStarts)
            continue;
        filled += size_t(n);
        const size_t whole = filled - filled % kTsPacket;
        for (size_t at = 0; at < whole; at += kTsPacket) {
            const auto *p = reinterpret_cast<const uint8_t *>(buffer.data.get() + at);
            *gpsStarts += p[0] == 0x47 && (((p[1] & 0x1F) << 8) | p[2]) == kGpsStreamPid && (p[1] & 0x40);
        }
        std::memmove(buffer.data.get(), buffer.data.get() + whole, filled - whole);
        filled -= whole;
    }
    if (fd >= 0)
        ::close(fd);
    return fd < 0 ? -1 : total;
}

int ffmpegAudioCopy(const QString &path)
{
    return QProcess::execute(VELMORA_FFMPEG_EXECUTABLE,
                             {"-v", "error", "-i", path, "-map", "0:a", "-c", "copy", "-f", "null", "-"});
}

// The track against the drive the fixture wrote, record by record.
bool correct(const GpsPassResult &result, const GpsTrack &track, qint16 version, const QVector<fixture::CameraRecord> &drive,
             bool ts)
{
    bool same = result.status == GpsPassResult::Ok && track.valid && track.count() == drive.size()
                && (!ts || (result.gpsStream > 0 && version == 0));
    for (int i = 0; same && i < track.count(); ++i) {
        const GpsRecord &a = track.records[i], &b = drive[i].raw;
        same = a.hour == b.hour && a.minute == b.minute && a.second == b.second && a.year == b.year && a.month == b.month
               && a.day == b.day && a.status == b.status && a.speed == b.speed && a.heading == b.heading
               && a.latitude == nmeaToDegrees(b.latitude) && a.longitude == nmeaToDegrees(b.longitude);
    }
    return same;
}

template<typename F> void timed(Stats &s, F &&fn)
{
    const Clock::time_point start = Clock::now();
    fn();
    s.add(msSince(start));
}

// Where the TS pass spends its time: its libavformat calls one by one.
void tsBreakdown(const QString &path, int reps)
{
    Stats probeS, openS, infoS, loopS, read32k, scan;
    qint64 starts = 0, position = 0;
    auto track = std::make_unique<GpsTrack>();
    for (int rep = 0; rep < reps; ++rep) {
        AVFormatContext *ic = nullptr;
        timed(probeS, [&] { probeTsTypeMarker(path); });
        timed(openS, [&] { avformat_open_input(&ic, QFile::encodeName(path).constData(), nullptr, nullptr); });
        if (!ic)
            return;
        timed(infoS, [&] { avformat_find_stream_info(ic, nullptr); });
        int gps = -1;
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            gps = ic->streams[i]->id == kGpsStreamPid ? int(i) : gps;
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            ic->streams[i]->discard = int(i) == gps ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        AVPacket *packet = av_packet_alloc();
        track->reset();
        qint16 version = 0;
        timed(loopS, [&] {
            while (av_read_frame(ic, packet) >= 0) {
                if (packet->stream_index == gps && packet->data)
                    decodeGpsPayload(packet->data, size_t(packet->size), GpsPayloadVariant::TransportStream, *track, version);
                av_packet_unref(packet);
            }
        });
        position = avio_tell(ic->pb);
        av_packet_free(&packet);
        avformat_close_input(&ic);
        timed(read32k, [&] { readFile(path, kAvioChunk); });
        starts = 0;
        timed(scan, [&] { readFile(path, kReadChunk, &starts); });
    }
    out() << "  TS pass step by step, ms median (min-max): type-marker probe " << probeS.text(3) << ", avformat_open_input "
          << openS.text() << ", avformat_find_stream_info " << infoS.text() << ", read loop " << loopS.text() << " ("
          << fixed(loopS.median() * 1e6 / double(std::max<qint64>(1, position / qint64(kTsPacket))), 1) << " ns per TS packet)\n"
          << "  floors of the read loop: read() in 32 KiB chunks " << read32k.text() << ", bare PID scan " << scan.text() << " ("
          << starts << " PID 0x300 payload starts)" << Qt::endl;
}

int run(const Options &o)
{
    const LongRecording r{o.str("dir"), parseRate(o.str("bitrate")), o.integer("minutes") * 60, o.flag("regenerate")};
    const int reps = o.integer("reps");
    if (r.bitrate <= 0 || r.seconds <= 0 || (r.bitrate + 128000) / 8 * r.seconds > kMp4Limit) {
        out() << "bad --bitrate or --minutes: the MP4's \"gps \" box holds 32-bit offsets, it must stay under 4 GiB\n";
        return 2;
    }
    if (!makeLongRecording(r, true, true))
        return 3;
    out() << r.seconds << " s of 1920x1080 30 fps H.264 at " << r.bitrate / 1000 << " kbit/s + AAC, " << r.seconds
          << " GPS records, TS payload version 0; " << reps << " repetitions interleaved, hot page cache" << Qt::endl;
    auto track = std::make_unique<GpsTrack>();
    qint16 version = 0;
    Stats pass, header, raw, ffmpeg;
    const QVector<fixture::CameraRecord> drive = r.drive();
    bool ok = true, met = true;
    for (const bool ts : {true, false}) {
        const QString path = ts ? r.path(".ts") : r.path(".mp4");
        const qint64 size = QFileInfo(path).size();
        // Untimed: the file into the page cache, the pass's and ffmpeg's code loaded.
        bool fileOk = readFile(path, kReadChunk) == size && ffmpegAudioCopy(path) == 0;
        fileOk &= correct(runGpsPass(path, *track, version), *track, version, drive, ts);
        pass = header = raw = ffmpeg = Stats();
        for (int rep = 0; rep < reps; ++rep) {
            GpsPassResult result;
            timed(pass, [&] { result = runGpsPass(path, *track, version); });
            fileOk &= correct(result, *track, version, drive, ts);
            timed(header, [&] { runGpsPassHeader(path, *track, version, result); });
            timed(raw, [&] { fileOk &= readFile(path, kReadChunk) == size; });
            timed(ffmpeg, [&] { fileOk &= ffmpegAudioCopy(path) == 0; });
        }
        const auto row = [&](const char *what, const Stats &t, int decimals = 1) { // step 1 and the MP4 pass take microseconds
            return QStringList{what, fixed(t.median(), ts ? decimals : 3), fixed(t.min(), ts ? decimals : 3),
                               decimals == 1 ? fixed(size / t.median() / 1e6, 2) : QString()};
        };
        out() << "\n" << (ts ? "TS " : "MP4 ") << path << ", " << size << " bytes; load average " << loadAverage() << "\n";
        printTable({"ms", "median", "min", "GB/s"}, {row("GPS pass", pass), row("of it step 1 (runGpsPassHeader)", header, 3),
                                                     row("raw read, 4 MiB read()s", raw), row("ffmpeg audio copy", ffmpeg)});
        const double ratio = pass.median() / ffmpeg.median();
        const bool fileMet = ts ? ratio <= 1.0 : pass.median() < kMp4TargetMs;
        out() << "  pass / ffmpeg " << fixed(ratio, ts ? 2 : 4) << ", pass / raw read " << fixed(pass.median() / raw.median(), 2)
              << " (medians); target " << (ts ? "pass / ffmpeg <= 1.0: " : "pass < 50 ms: ") << verdict(fileMet)
              << "; the track right and every read and ffmpeg run complete: " << (fileOk ? "yes" : "WRONG") << Qt::endl;
        if (ts)
            tsBreakdown(path, reps);
        ok &= fileOk;
        met &= fileMet;
    }
    return ok ? (met ? 0 : 1) : 3;
}

} // namespace

const Scenario kGpsPass{"gps_pass",
                        "the GPS pass over a long TS and MP4 against read() and ffmpeg copying the sound",
                        "gps_pass",
                        {{"bitrate", "8M", "video bit rate"},
                         {"minutes", "30", "length (180 with --bitrate 2500k: 3 hours)"},
                         {"reps", "5", "timed repetitions"}},
                        run,
                        Display::None};

} // namespace bench
