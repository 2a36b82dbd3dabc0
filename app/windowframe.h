#pragma once

#include "windowchrome.h"

#include <QObject>
#include <QPoint>
#include <QRect>

#include <functional>

class QBoxLayout;
class QEvent;
class QMouseEvent;
class Settings;
class QPushButton;
class QTimer;
class QWidget;

// The parts of the form the frame moves, hides and restyles.
struct FrameWidgets
{
    QWidget *title = nullptr;           // the title bar: drag to move, double-click to maximise
    QWidget *video = nullptr;           // the picture's band: presses there are not the frame's
    QWidget *picture = nullptr;         // the picture itself: it gives up size on a small screen
    QWidget *controlBar = nullptr;      // floats over the picture in full screen
    QBoxLayout *controlBarHome = nullptr; // the layout the bar lives in outside full screen
    QBoxLayout *outer = nullptr;        // the window's outermost layout, whose margins go in full screen
    QList<QWidget *> panels;            // hidden in full screen besides the title bar
    QList<QWidget *> layoutsToActivate; // inner to outer, activated before the bar is placed
    QPushButton *maximize = nullptr;
    QPushButton *fullScreen = nullptr;
};

// The frameless window's own frame: moving and resizing it by the mouse,
// maximising it to the available area, full screen with a control bar that
// hides while a recording is open and comes back at the bottom edge.
class WindowFrame : public QObject
{
    Q_OBJECT

public:
    // barMayHide: whether the floating control bar may hide now (a
    // recording is open).
    WindowFrame(QWidget *window, const FrameWidgets &widgets, std::function<bool()> barMayHide);

    bool isFullScreen() const { return mIsFullScreen; }
    bool isMaximized() const { return mMaximized; }
    void toggleMaximized();
    void toggleFullScreen();
    // Before the first show: at stored (last time's frame, on the screen
    // named screen; invalid for none), maximised when it was, when that
    // screen is there and it fits; else a size that fits the primary
    // screen, the picture giving up what a small screen lacks (down to a
    // quarter), maximised when even that does not fit.
    void placeAtStart(QRect stored, const QString &screen, bool maximized);
    // The same from the settings, where save() keeps the place at the exit.
    void placeAtStart(const Settings &settings);
    void save(Settings &settings) const;
    // Puts the window at normal, maximised over its screen when asked.
    void place(const QRect &normal, bool maximized);
    // The window's rectangle when neither maximised nor full screen.
    QRect normalGeometry() const;
    // The looks and tips of the maximise and full-screen buttons.
    void showStateTexts();

    // The window's own mouse events, after its default handling.
    void mousePress(QMouseEvent *event);
    void mouseMove(QMouseEvent *event);
    void mouseRelease(QMouseEvent *event);
    // True when the double click was the frame's (the empty title bar).
    bool mouseDoubleClick(QMouseEvent *event);
    void windowResized();
    void windowStateChanged(bool wasMaximized);
    // A mouse move anywhere in the application: over the window it shows
    // where the window can be resized.
    void hoverMove(QObject *watched, QEvent *event);
    // Full screen: the cursor at the bottom edge brings the bar back.
    void revealControlBar();
    // The 100 ms full-screen tick: reveals and hides the bar.
    void fullScreenTick();

signals:
    // Full screen began or ended, the window at its new place.
    void sig_FullScreenChanged(bool on);

private:
    bool videoBandContains(const QPoint &global) const;
    void resetResizeCursor();
    void setFrameRect(const QRect &frame);
    void enterFullScreen();
    void leaveFullScreen();
    void activateLayouts();
    void placeFloatingControlBar();

    QWidget *mWindow;
    FrameWidgets mWidgets;
    std::function<bool()> mBarMayHide;
    ResizeRegion mResizeRegion = ResizeRegion::None;
    bool mLeftButtonHeld = false;  // pressed on the window outside the video band
    QPoint mMoveOffset;            // cursor minus the frame's top-left at the press
    bool mIsFullScreen = false;
    bool mMaximized = false;       // the window covers the available area
    QRect mNormalGeometry;         // to return to when full screen ends
    QRect mRestoreGeometry;        // the frame before the window was maximised
    QTimer *mFullShowTimer;        // 100 ms, runs only in full screen
    int mHideTicks = 0;            // ticks of the cursor away from the shown control bar
};
