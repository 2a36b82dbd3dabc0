#include "enginewindow.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPaintEvent>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

extern "C" {
#include <libavutil/log.h>
}

#include <cmath>
#include <cstdio>

namespace bench {

namespace {

constexpr int kExposeTimeoutMs = 10000;
constexpr int kPictureTimeoutMs = 20000; // an open that gives no picture by then failed
constexpr int kSettleMs = 300;           // idle time before each timed open
constexpr int kConditionPollMs = 5;      // spinUntil looks at conditions nobody reports this often
constexpr int kBlackThreshold = 24;      // 0..255: darker than this in every channel counts as black

// The condition a waiting event loop is after.
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
    if (event->type() != QEvent::MetaCall || !onArrived)
        return MyFrame::event(event);
    const Clock::time_point at = Clock::now();
    const qint64 before = image().cacheKey();
    const bool handled = MyFrame::event(event);
    if (image().cacheKey() != before && !image().isNull())
        onArrived(image(), at);
    return handled;
}

void TimedFrame::paintEvent(QPaintEvent *event)
{
    MyFrame::paintEvent(event);
    const QImage shown = image();
    if (shown.isNull())
        return;
    ++paints;
    if (shown.cacheKey() != mLastKey) {
        mLastKey = shown.cacheKey();
        ++picturesPainted;
    }
    if (onPainted)
        onPainted(shown);
    wakeWaiter();
}

EngineWindow::EngineWindow(const QString &title)
{
    auto *layout = new QVBoxLayout(&top);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    frame = new TimedFrame;
    layout->addWidget(frame);
    top.resize(kWindowWidth, kWindowHeight);
    top.setWindowTitle(title);
    QObject::connect(frame, &MyFrame::sizeChanged, &player, &VideoPlayer::setOutputSize);
    // Connected first, so that it runs before the picture is queued to the surface.
    QObject::connect(&player, &VideoPlayer::sig_GetOneFrame, &top, [this](const QImage &image) {
        if (onDelivered)
            onDelivered(image);
    }, Qt::DirectConnection);
    QObject::connect(&player, &VideoPlayer::sig_GetOneFrame, frame, &MyFrame::slotGetImage);
}

bool EngineWindow::showAndWait()
{
    top.show();
    if (!spinUntil([this] { return top.windowHandle() && top.windowHandle()->isExposed() && frame->size() == top.size(); },
                   kExposeTimeoutMs))
        return false;
    player.setOutputSize(frame->size());
    return true;
}

bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
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
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    av_log_set_level(AV_LOG_ERROR);
}

double imagePts(const QImage &image)
{
    bool ok = false;
    const double pts = image.text(QStringLiteral("pts")).toDouble(&ok);
    return ok ? pts : NAN;
}

QRect litScreenRect()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QRect();
    const QImage shot = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
    int left = shot.width(), top = shot.height(), right = -1, bottom = -1;
    for (int y = 0; y < shot.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = line[x];
            if (qRed(p) < kBlackThreshold && qGreen(p) < kBlackThreshold && qBlue(p) < kBlackThreshold)
                continue;
            left = qMin(left, x);
            right = qMax(right, x);
            top = qMin(top, y);
            bottom = qMax(bottom, y);
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

int runFirstPictureChild(int argc, char **argv, const char *path, int reps)
{
    quietLogs();
    QApplication app(argc, argv);
    EngineWindow w(QStringLiteral("velmora_bench first picture"));
    if (!w.showAndWait()) {
        std::printf("ERROR window never exposed\n");
        return 2;
    }
    bool painted = false;
    Clock::time_point firstPaint;
    w.frame->onPainted = [&](const QImage &) {
        if (!painted) {
            painted = true;
            firstPaint = Clock::now();
        }
    };
    for (int i = 0; i < reps; ++i) {
        // Start from an empty surface, as when a file is picked.
        w.frame->slotGetImage(QImage());
        spinFor(kSettleMs);
        painted = false;
        const Clock::time_point start = Clock::now();
        if (!w.player.openFile(QString::fromLocal8Bit(path))) {
            std::printf("ERROR openFile failed\n");
            return 2;
        }
        const Clock::time_point opened = Clock::now();
        if (!spinUntil([&] { return painted; }, kPictureTimeoutMs)) {
            std::printf("ERROR no picture painted after open %d\n", i);
            return 3;
        }
        std::printf("RESULT rep=%d open_ms=%.3f first_paint_ms=%.3f\n", i, msBetween(start, opened), msBetween(start, firstPaint));
        std::fflush(stdout);
        w.player.stop();
    }
    return 0;
}

} // namespace bench
