// The child of velmora_bench_open that opens a recording through the real
// main window and watches the GUI thread.

#include "children.h"

#include "enginewindow.h"
#include "mainwindow.h"

#include <QApplication>
#include <QFile>
#include <QPaintEvent>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

using namespace bench;

namespace {

constexpr int kTickMs = 2;             // the GUI thread's heartbeat; a longer gap is a stall
constexpr int kBeforeOpenMs = 500;     // ticking before the open: the quiet baseline
constexpr int kAfterPictureMs = 1000;  // watched after the first picture
constexpr int kExposeTimeoutMs = 10000;
constexpr int kPictureTimeoutMs = 180000; // through a slow card, behind a GPS pass, a picture may take a while
constexpr double kReportedGapMs = 20.0;  // gaps longer than this are listed (a 50 fps repaint is missed)
constexpr size_t kReportedGaps = 5;

// Stamps the first paint, once armed, that shows a picture accepted by the
// predicate; the stamp follows the paint.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(MyFrame *frame)
        : mFrame(frame)
    {
    }
    void arm(std::function<bool(const QImage &)> accept)
    {
        mAccept = std::move(accept);
        painted = false;
        mFrame->installEventFilter(this);
    }
    bool painted = false;
    Clock::time_point paintedAt;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != mFrame || event->type() != QEvent::Paint || mFrame->image().isNull() || !mAccept(mFrame->image()))
            return false;
        mFrame->removeEventFilter(this);
        QCoreApplication::sendEvent(mFrame, event);
        painted = true;
        paintedAt = Clock::now();
        return true;
    }

private:
    MyFrame *mFrame;
    std::function<bool(const QImage &)> mAccept;
};

// The GUI thread's time on the CPU and waiting for it (ns, from the
// scheduler's own accounting): a gap in the heartbeat with much of the first
// is work on the GUI thread, with much of the second a CPU taken by others,
// with little of either a wait (a lock, a join).
struct ThreadTimes
{
    qint64 runNs = 0;
    qint64 waitNs = 0;
};

ThreadTimes guiThreadTimes()
{
    static const QByteArray path = "/proc/self/task/" + QByteArray::number(qint64(gettid())) + "/schedstat";
    ThreadTimes t;
    QFile file(QString::fromLatin1(path));
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = file.readAll().trimmed().split(' ');
        if (fields.size() >= 2) {
            t.runNs = fields.at(0).toLongLong();
            t.waitNs = fields.at(1).toLongLong();
        }
    }
    return t;
}

// A thread that looks at the GUI thread while a heartbeat is overdue: which
// system call it is in (futex: a lock or a join; poll or recvmsg: the X
// server; none: running), read once per gap from /proc.
class StallSampler
{
public:
    StallSampler()
        : mGuiTid(gettid())
        , mThread([this] { run(); })
    {
    }
    ~StallSampler()
    {
        mQuit = true;
        mThread.join();
    }
    void beat(Clock::time_point now) { mLastBeat = now.time_since_epoch().count(); }
    // What was seen during the gap that began with the beat at `since`.
    std::string seenSince(Clock::time_point since)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mSampleFor == since.time_since_epoch().count() ? mSample : std::string("-");
    }

private:
    void run()
    {
        while (!mQuit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kSampleEveryMs));
            const qint64 beat = mLastBeat;
            const double overdueMs = double(Clock::now().time_since_epoch().count() - beat) / 1e6;
            if (beat == 0 || overdueMs < kSampleAfterMs)
                continue;
            {
                std::lock_guard<std::mutex> lock(mMutex);
                if (mSampleFor == beat)
                    continue;
            }
            const QString base = QStringLiteral("/proc/self/task/%1/").arg(mGuiTid);
            QFile syscall(base + QStringLiteral("syscall"));
            QFile wchan(base + QStringLiteral("wchan"));
            QByteArray call = syscall.open(QIODevice::ReadOnly) ? syscall.readAll().trimmed().split(' ').value(0) : "?";
            const QByteArray chan = wchan.open(QIODevice::ReadOnly) ? wchan.readAll().trimmed() : "?";
            static const std::map<QByteArray, QByteArray> names{{"0", "read"},      {"1", "write"},      {"7", "poll"},
                                                                {"20", "writev"},   {"47", "recvmsg"},   {"202", "futex"},
                                                                {"230", "nanosleep"}, {"271", "ppoll"}, {"running", "running"}};
            const auto it = names.find(call);
            if (it != names.end())
                call = it->second;
            std::lock_guard<std::mutex> lock(mMutex);
            mSampleFor = beat;
            mSample = (call + ":" + (chan.isEmpty() || chan == "0" ? QByteArray("-") : chan)).toStdString();
        }
    }

    static constexpr int kSampleEveryMs = 2;
    static constexpr double kSampleAfterMs = 15.0; // late enough to be a stall, early enough to catch it
    const pid_t mGuiTid;
    std::atomic<qint64> mLastBeat{0};
    std::atomic<bool> mQuit{false};
    std::mutex mMutex;
    qint64 mSampleFor = 0; // the beat whose gap mSample belongs to
    std::string mSample;
    std::thread mThread;
};

// The longest interval between ticks of a timer on the GUI thread.
struct Heartbeat
{
    struct Gap
    {
        double ms;
        Clock::time_point end;
        double runMs;  // on the CPU meanwhile
        double waitMs; // runnable, waiting for a CPU meanwhile
        std::string seen; // the sampler's look at the GUI thread
    };
    StallSampler *sampler = nullptr;
    Clock::time_point last;
    ThreadTimes lastTimes;
    double maxGapMs = 0.0;
    Clock::time_point maxGapEnd;
    qint64 ticks = 0;
    std::vector<Gap> gaps; // every gap over kReportedGapMs

    void tick(Clock::time_point now)
    {
        const ThreadTimes times = guiThreadTimes();
        if (sampler)
            sampler->beat(now);
        if (ticks > 0) {
            const double gap = msBetween(last, now);
            if (gap > maxGapMs) {
                maxGapMs = gap;
                maxGapEnd = now;
            }
            if (gap > kReportedGapMs)
                gaps.push_back({gap, now, double(times.runNs - lastTimes.runNs) / 1e6,
                                double(times.waitNs - lastTimes.waitNs) / 1e6, sampler ? sampler->seenSince(last) : "-"});
        }
        last = now;
        lastTimes = times;
        ++ticks;
    }

    // Carries on from another heartbeat's last tick.
    void continueFrom(const Heartbeat &other)
    {
        last = other.last;
        lastTimes = other.lastTimes;
        ticks = 1;
    }

    // "length@end/run/wait/seen" in ms (end after start), for the longest few gaps.
    std::string longest(Clock::time_point start) const
    {
        auto sorted = gaps;
        std::sort(sorted.begin(), sorted.end(), [](const Gap &a, const Gap &b) { return a.ms > b.ms; });
        std::string text;
        for (size_t i = 0; i < sorted.size() && i < kReportedGaps; ++i) {
            char item[160];
            std::snprintf(item, sizeof item, "%s%.1f@%.0f/%.1f/%.1f/%s", text.empty() ? "" : ",", sorted[i].ms,
                          msBetween(start, sorted[i].end), sorted[i].runMs, sorted[i].waitMs, sorted[i].seen.c_str());
            text += item;
        }
        return text.empty() ? std::string("none") : text;
    }
};

} // namespace

int runWindowOpen(int argc, char **argv, const char *path, double gpsWaitS, const char *switchTo)
{
    quietLogs();
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    if (!spinUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, kExposeTimeoutMs)) {
        std::printf("ERROR window never exposed\n");
        return 2;
    }
    auto *frame = window.findChild<MyFrame *>(QStringLiteral("frameVideo"));
    if (!frame) {
        std::printf("ERROR no video surface\n");
        return 2;
    }
    // A picture of the open the window plays now.
    const auto current = [&](const QImage &image) {
        return image.text(QStringLiteral("serial")).toULongLong() == window.player()->serial();
    };
    PaintWatch watch(frame);

    enum Phase { Before, Opening, After } phase = Before;
    Heartbeat before, opening, after;
    StallSampler sampler;
    before.sampler = opening.sampler = after.sampler = &sampler;
    Clock::time_point gpsAt;
    bool gpsArrived = false;
    quint64 gpsSerial = 0; // the open whose track is awaited
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        (phase == Before ? before : phase == Opening ? opening : after).tick(now);
        const GpsData &gps = window.gpsData();
        if (!gpsArrived && gps.track && gps.serial == gpsSerial) {
            gpsArrived = true;
            gpsAt = now;
        }
        wakeWaiter();
    });
    ticker.start(kTickMs);
    spinFor(kBeforeOpenMs);

    // An open runs inside the event loop, as a click on the file list does;
    // watched from the call until a second after its first picture.
    Clock::time_point openStart, openReturned;
    bool returned = false;
    const auto openAndWatch = [&](const char *file) {
        watch.arm(current);
        returned = false;
        QTimer::singleShot(0, [&, file] {
            openStart = Clock::now();
            window.slotOpenRecording(QString::fromLocal8Bit(file), true);
            openReturned = Clock::now();
            gpsSerial = window.player()->serial();
            returned = true;
        });
        if (!spinUntil([&] { return returned && watch.painted; }, kPictureTimeoutMs)) {
            std::printf("ERROR no picture painted (the open %s)\n", returned ? "returned" : "is still waiting");
            return false;
        }
        spinFor(kAfterPictureMs);
        return true;
    };

    phase = Opening;
    opening.continueFrom(before);
    if (!openAndWatch(path))
        return 3;
    std::printf("RESULT first_paint_ms=%.3f open_returned_ms=%.3f state=%d window=%dx%d surface=%dx%d picture=%dx%d\n",
                msBetween(openStart, watch.paintedAt), msBetween(openStart, openReturned), window.playState(), window.width(),
                window.height(), frame->width(), frame->height(), frame->image().width(), frame->image().height());
    std::printf("RESULT gap_before_ms=%.3f gap_open_ms=%.3f gap_open_at_ms=%.3f ticks_open=%lld gaps_open=%s\n",
                before.maxGapMs, opening.maxGapMs, msBetween(openStart, opening.maxGapEnd),
                static_cast<long long>(opening.ticks), opening.longest(openStart).c_str());

    phase = After;
    after.continueFrom(opening);
    if (switchTo) {
        // The next file while the first one's GPS pass still reads.
        gpsArrived = false;
        if (!openAndWatch(switchTo))
            return 3;
        std::printf("RESULT switch_paint_ms=%.3f switch_returned_ms=%.3f gap_switch_ms=%.3f gaps_switch=%s\n",
                    msBetween(openStart, watch.paintedAt), msBetween(openStart, openReturned), after.maxGapMs,
                    after.longest(openStart).c_str());
    }
    spinUntil([&] { return gpsArrived; }, int(gpsWaitS * 1000.0));
    ticker.stop();
    std::printf("RESULT gps_arrived=%d gps_ms=%.3f gap_gps_ms=%.3f gps_count=%d gps_valid=%d gps_file=%s\n",
                gpsArrived ? 1 : 0, gpsArrived ? msBetween(openStart, gpsAt) : -1.0, after.ticks > 1 ? after.maxGapMs : -1.0,
                gpsArrived ? window.gpsData().track->count() : -1, gpsArrived && window.gpsData().track->valid ? 1 : 0,
                switchTo ? "switched" : "first");
    std::fflush(stdout);
    const Clock::time_point stopStart = Clock::now();
    window.player()->stop();
    std::printf("RESULT stop_ms=%.3f\n", msBetween(stopStart, Clock::now()));
    std::fflush(stdout);
    return 0;
}
