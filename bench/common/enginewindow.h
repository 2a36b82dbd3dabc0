#pragma once

// The engine in a window, as the benchmarks' child programs run it: the
// application's video surface alone in a 1280x720 top-level window, with
// hooks that time when pictures are delivered, reach the surface and are
// painted.

#include "benchtext.h"
#include "myframe.h"
#include "videoplayer.h"

#include <QImage>
#include <QRect>
#include <QWidget>

#include <functional>

namespace bench {

constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 720;

// The surface as the application uses it, plus hooks.
class TimedFrame : public MyFrame
{
public:
    // After every paint that showed a picture.
    std::function<void(const QImage &)> onPainted;
    // A new picture reached the surface's slot (a queued call from the
    // video thread), at the time the call event began.
    std::function<void(const QImage &, Clock::time_point)> onArrived;
    qint64 picturesPainted = 0; // distinct pictures (QImage::cacheKey)
    qint64 paints = 0;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    qint64 mLastKey = 0;
};

// The window of the application's player page reduced to its video surface.
struct EngineWindow
{
    QWidget top;
    TimedFrame *frame = nullptr;
    VideoPlayer player;
    // On the video thread, as each picture is emitted (before it is queued
    // to the surface).
    std::function<void(const QImage &)> onDelivered;

    explicit EngineWindow(const QString &title);
    // Shows the window and waits until it is on screen at its size.
    bool showAndWait();
};

// Runs the event loop (sleeping, not polling: the decoder needs the CPU)
// until done() or the timeout; false on timeout. The surface's paints and
// wakeWaiter() look at done() at once, everything else every few ms.
bool spinUntil(const std::function<bool()> &done, int timeoutMs);
void spinFor(int ms);
void wakeWaiter();

// The engine's debug log off, libav* errors only.
void quietLogs();
// The pts (s) the engine wrote into a picture; NaN when none.
double imagePts(const QImage &image);

// The part of the screen that is not black (any channel above a small
// threshold): where a player's picture is, as the X server shows it.
QRect litScreenRect();

// Child program: opens path `reps` times in one process (stop in between)
// and prints the time from openFile to the first painted picture of each
// ("RESULT rep=N open_ms=... first_paint_ms=...").
int runFirstPictureChild(int argc, char **argv, const char *path, int reps);

} // namespace bench
