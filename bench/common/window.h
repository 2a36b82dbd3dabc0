#pragma once

// The children's windows: the engine with the application's video surface
// alone in a 1280x720 window, the event loop helpers, and the GUI thread's
// heartbeat that finds its stalls.

#include "bench.h"
#include "myframe.h"
#include "videoplayer.h"

#include <QWidget>

#include <memory>

namespace bench {

constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 720;

// The surface, noting when pictures reach its slot and are painted.
class TimedFrame : public MyFrame
{
public:
    std::function<void(const QImage &, Clock::time_point)> onArrived, onPainted;
    qint64 picturesPainted = 0; // distinct pictures (QImage::cacheKey)
    qint64 paints = 0;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    qint64 mLastKey = 0;
};

struct EngineWindow
{
    QWidget top;
    TimedFrame *frame = nullptr;
    VideoPlayer player;
    std::function<void(const QImage &)> onDelivered; // on the video thread, before the picture is queued
    EngineWindow();
    bool showAndWait(); // exposed and at its size
};

// Runs the event loop until done() or the timeout (false). Paints and
// wakeWaiter() look at done() at once, everything else every few ms.
bool spinUntil(const std::function<bool()> &done, int timeoutMs);
void spinFor(int ms);
void wakeWaiter();
bool exposed(QWidget &window);        // shown and exposed
void quietLogs();                     // the engine's debug log off, libav* errors only
double imagePts(const QImage &image); // s, the engine's "pts" text; NaN when none
// Where the screen is not black: a player's picture as the X server shows it, "WxH@X,Y".
QString litScreen();

// Child FILE N: N opens in the bench window, openFile to the first painted picture.
int childFirstPicture(int argc, char **argv, const QStringList &args);

// Ticks a timer on the GUI thread and keeps the gaps between ticks: the
// longest is the thread's longest stall. Gaps over 20 ms are kept with the
// thread's time on the CPU and waiting for one meanwhile (schedstat): much
// of the first is work on the GUI thread, of the second a CPU taken by
// others, little of either a wait (a lock, a join, the X server).
class Heartbeat
{
public:
    explicit Heartbeat(int tickMs);
    ~Heartbeat();
    void restart(); // a new span, measured from the last tick
    double longestMs() const;
    // "length@end/run/wait" (ms; end after since) of the span's longest gaps.
    QString gaps(Clock::time_point since) const;
    std::function<void()> onTick;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace bench
