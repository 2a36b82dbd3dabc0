#include "videoplayer.h"
#include "window.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QLoggingCategory>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

extern "C" {
#include <libavutil/log.h>
}

#include <cmath>

#include <unistd.h>

namespace bench {

namespace {

constexpr int kExposeTimeoutMs = 10000;
constexpr int kPictureTimeoutMs = 20000; // an open without a picture by then failed
constexpr int kSettleMs = 300;           // idle before each timed open
constexpr int kConditionPollMs = 5;      // spinUntil looks at conditions nobody reports this often
constexpr int kBlackThreshold = 24;      // 0..255: darker in every channel counts as black
constexpr double kReportedGapMs = 20.0;  // a 50 fps repaint missed
constexpr int kReportedGaps = 5;

QEventLoop *gWaitLoop = nullptr;
std::function<bool()> gWaitDone;

} // namespace

void wakeWaiter()
{
    if (gWaitLoop && gWaitDone && gWaitDone())
        gWaitLoop->quit();
}

bool TimedFrame::event(QEvent *event)
{
    const Clock::time_point at = Clock::now();
    const qint64 before = image().cacheKey();
    const bool handled = MyFrame::event(event);
    if (event->type() == QEvent::MetaCall && onArrived && image().cacheKey() != before && !image().isNull())
        onArrived(image(), at);
    return handled;
}

void TimedFrame::paintEvent(QPaintEvent *event)
{
    MyFrame::paintEvent(event);
    if (image().isNull())
        return;
    ++paints;
    picturesPainted += image().cacheKey() != mLastKey;
    mLastKey = image().cacheKey();
    if (onPainted)
        onPainted(image(), Clock::now());
    wakeWaiter();
}

EngineWindow::EngineWindow()
{
    auto *layout = new QVBoxLayout(&top);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame = new TimedFrame);
    top.resize(kWindowWidth, kWindowHeight);
    QObject::connect(frame, &MyFrame::sizeChanged, &player, &VideoPlayer::setOutputSize);
    // Connected first: it runs before the picture is queued to the surface.
    QObject::connect(
        &player, &VideoPlayer::sig_GetOneFrame, &top,
        [this](const QImage &image) {
            if (onDelivered)
                onDelivered(image);
        },
        Qt::DirectConnection);
    QObject::connect(&player, &VideoPlayer::sig_GetOneFrame, frame, &MyFrame::slotGetImage);
}

bool EngineWindow::showAndWait()
{
    if (!exposed(top) || !spinUntil([this] { return frame->size() == top.size(); }, kExposeTimeoutMs)) {
        std::printf("ERROR window never exposed\n");
        return false;
    }
    player.setOutputSize(frame->size());
    return true;
}

bool exposed(QWidget &window)
{
    window.show();
    return spinUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, kExposeTimeoutMs);
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

int childFirstPicture(int argc, char **argv, const QStringList &args)
{
    quietLogs();
    QApplication app(argc, argv);
    initPlayback(); // as the viewer's main() does
    EngineWindow w;
    if (!w.showAndWait())
        return 2;
    std::optional<Clock::time_point> painted;
    w.frame->onPainted = [&](const QImage &, Clock::time_point at) { painted = painted.value_or(at); };
    for (int i = 0; i < args.value(1).toInt(); ++i) {
        w.frame->slotGetImage(QImage()); // an empty surface, as when a file is picked
        spinFor(kSettleMs);
        painted.reset();
        const Clock::time_point start = Clock::now();
        if (!w.player.openFile(args.value(0))) {
            std::printf("ERROR openFile failed\n");
            return 2;
        }
        const Clock::time_point opened = Clock::now();
        if (!spinUntil([&] { return painted.has_value(); }, kPictureTimeoutMs)) {
            std::printf("ERROR no picture painted after open %d\n", i);
            return 3;
        }
        std::printf("RESULT open_ms=%.3f first_paint_ms=%.3f\n", msBetween(start, opened), msBetween(start, *painted));
        std::fflush(stdout);
        w.player.stop();
    }
    return 0;
}

struct Heartbeat::Private
{
    struct Gap
    {
        double ms;
        Clock::time_point end;
        double runMs, waitMs; // the GUI thread on the CPU, and runnable but waiting for one, meanwhile
    };
    QTimer timer;
    QFile schedstat{"/proc/self/task/%1/schedstat"_s.arg(gettid())}; // ns on the CPU, ns waiting for it
    Clock::time_point last;
    qint64 ticks = 0, lastRun = 0, lastWait = 0;
    double longest = 0.0;
    std::vector<Gap> gaps;
};

Heartbeat::Heartbeat(int tickMs)
    : d(new Private)
{
    d->timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&d->timer, &QTimer::timeout, [this] {
        const Clock::time_point now = Clock::now();
        d->schedstat.open(QIODevice::ReadOnly);
        const QList<QByteArray> sched = d->schedstat.readAll().split(' ');
        d->schedstat.close();
        const qint64 run = sched.value(0).toLongLong(), wait = sched.value(1).toLongLong();
        const double gap = d->ticks++ ? msBetween(d->last, now) : 0.0;
        d->longest = std::max(d->longest, gap);
        if (gap > kReportedGapMs)
            d->gaps.push_back({gap, now, (run - d->lastRun) / 1e6, (wait - d->lastWait) / 1e6});
        d->last = now, d->lastRun = run, d->lastWait = wait;
        if (onTick)
            onTick();
        wakeWaiter();
    });
    d->timer.start(tickMs);
}

Heartbeat::~Heartbeat() = default;

void Heartbeat::restart()
{
    d->longest = 0.0;
    d->gaps.clear();
}

double Heartbeat::longestMs() const { return d->longest; }

QString Heartbeat::gaps(Clock::time_point since) const
{
    auto sorted = d->gaps;
    std::sort(sorted.begin(), sorted.end(), [](const auto &a, const auto &b) { return a.ms > b.ms; });
    QStringList items;
    for (int i = 0; i < int(sorted.size()) && i < kReportedGaps; ++i)
        items << "%1@%2/%3/%4"_s.arg(fixed(sorted[i].ms, 1), fixed(msBetween(since, sorted[i].end), 0), fixed(sorted[i].runMs, 1),
                                     fixed(sorted[i].waitMs, 1));
    return items.isEmpty() ? "none" : items.join(',');
}

} // namespace bench
