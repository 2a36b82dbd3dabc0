#include "bench.h"

#include <QEventLoop>
#include <QLoggingCategory>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

extern "C" {
#include <libavutil/log.h>
}

namespace bench {

namespace {

constexpr int kExposeTimeoutMs = 10000;
constexpr int kConditionPollMs = 5;     // spinUntil looks at conditions nobody reports this often
constexpr int kBlackThreshold = 24;     // 0..255: darker in every channel counts as black
constexpr double kReportedGapMs = 20.0; // a 50 fps repaint missed
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
    if (!exposed(top) || !spinUntil([this] { return frame->size() == top.size(); }, kExposeTimeoutMs))
        return childError("window never exposed", false);
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

void Heartbeat::restart()
{
    mLongest = 0.0;
    mGaps.clear();
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
