#include "windowframe.h"

#include "settings.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLayout>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

constexpr int kFullShowIntervalMs = 100; // full screen: reveal and auto-hide of the control bar
constexpr int kRevealMargin = 4;         // pixels at the bottom of the screen that bring the control bar back
constexpr int kHideAfterTicks = 5;       // the bar hides on the tick after this many away from it
constexpr int kWindowMargin = 2;         // pixels around the window's bands, as the form has them
constexpr int kFullScreenMargin = 1;     // the window's pixel beyond each screen edge

const char kMaximizeSheet[] =
    "QPushButton{border-image: url(:/image/maximizeRelease.png);padding:6px 0px 6px 0px;}"
    "QPushButton:hover{border-image: url(:/image/maximizeHover.png);padding:6px 0px 6px 0px;}"
    "QPushButton:pressed,QPButton:checked{border-image: url(:/image/maximizePress.png);padding:6px 0px 6px 0px;}";
const char kRestoreSheet[] =
    "QPushButton{border-image: url(:/image/restoreRelease.png);padding:6px 0px 6px 0px;}"
    "QPushButton:hover{border-image: url(:/image/restoreHover.png);padding:6px 0px 6px 0px;}"
    "QPushButton:pressed,QPButton:checked{border-image: url(:/image/restorePress.png);padding:6px 0px 6px 0px;}";
const char kZoomOutSheet[] =
    "QPushButton{border-image: url(:/image/ZoomOutPress.png);padding:6px 0px 6px 0px;background-color: rgb(58, 102, 169);}"
    "QPushButton:hover{border-image: url(:/image/ZoomOutHover.png);padding:6px 0px 6px 0px;}"
    "QPushButton:pressed,QPButton:checked{border-image: url(:/image/ZoomOutRelease.png);padding:6px 0px 6px 0px;}";
const char kZoomInSheet[] =
    "QPushButton{border-image: url(:/image/ZoomInPress.png);padding:6px 0px 6px 0px;background-color: rgb(58, 102, 169);}"
    "QPushButton:hover{border-image: url(:/image/ZoomInHover.png);padding:6px 0px 6px 0px;}"
    "QPushButton:pressed,QPButton:checked{border-image: url(:/image/ZoomInRelease.png);padding:6px 0px 6px 0px;}";

bool containsCursor(const QWidget *widget)
{
    return widget->isVisible() && widget->rect().contains(widget->mapFromGlobal(QCursor::pos()));
}

} // namespace

WindowFrame::WindowFrame(QWidget *window, const FrameWidgets &widgets, std::function<bool()> barMayHide)
    : QObject(window)
    , mWindow(window)
    , mWidgets(widgets)
    , mBarMayHide(std::move(barMayHide))
    , mNormalGeometry(window->geometry())
    , mFullShowTimer(new QTimer(this))
{
    mFullShowTimer->setObjectName(QStringLiteral("fullShowTimer"));
    mFullShowTimer->setInterval(kFullShowIntervalMs);
    connect(mFullShowTimer, &QTimer::timeout, this, &WindowFrame::fullScreenTick);
}

// Their texts are translated with the window's others.
void WindowFrame::showStateTexts()
{
    mWidgets.maximize->setStyleSheet(QLatin1String(mMaximized ? kRestoreSheet : kMaximizeSheet));
    mWidgets.maximize->setToolTip(mMaximized ? QCoreApplication::translate("MainWindow", "Restore")
                                             : QCoreApplication::translate("MainWindow", "Maximize"));
    mWidgets.fullScreen->setStyleSheet(QLatin1String(mIsFullScreen ? kZoomInSheet : kZoomOutSheet));
    mWidgets.fullScreen->setToolTip(mIsFullScreen ? QCoreApplication::translate("MainWindow", "Leave full screen (Esc)")
                                                  : QCoreApplication::translate("MainWindow", "Full screen"));
    // A screen reader names what a press does now.
    mWidgets.maximize->setAccessibleName(mWidgets.maximize->toolTip());
    mWidgets.fullScreen->setAccessibleName(mIsFullScreen ? QCoreApplication::translate("MainWindow", "Leave full screen")
                                                         : QCoreApplication::translate("MainWindow", "Full screen"));
}

// A window manager maximised or restored the window by a means of its own.
void WindowFrame::windowStateChanged(bool wasMaximized)
{
    if (mWindow->isMaximized() == wasMaximized)
        return;
    mMaximized = mWindow->isMaximized();
    showStateTexts();
    resetResizeCursor();
}

// The window takes the available area itself: without a window manager a
// maximised state is not kept, and a manager's own maximising (a key of its
// own) is followed in windowStateChanged.
void WindowFrame::toggleMaximized()
{
    if (mMaximized) {
        mMaximized = false;
        if (mWindow->isMaximized())
            mWindow->showNormal();
        if (mRestoreGeometry.isValid())
            setFrameRect(mRestoreGeometry);
    } else {
        mRestoreGeometry = mWindow->frameGeometry();
        mMaximized = true;
        setFrameRect(mWindow->screen()->availableGeometry());
    }
    showStateTexts();
    resetResizeCursor();
}

void WindowFrame::placeAtStart(const Settings &settings)
{
    QString rect;
    QString screen;
    int maximized = 0;
    settings.readString(QStringLiteral("Setup"), QStringLiteral("windowRect"), rect);
    settings.readString(QStringLiteral("Setup"), QStringLiteral("windowScreen"), screen);
    settings.readInt(QStringLiteral("Setup"), QStringLiteral("windowMaximized"), maximized);
    placeAtStart(rectFromText(rect), screen, maximized != 0);
}

void WindowFrame::save(Settings &settings) const
{
    settings.writeString(QStringLiteral("Setup"), QStringLiteral("windowRect"), rectText(normalGeometry()));
    settings.writeString(QStringLiteral("Setup"), QStringLiteral("windowScreen"), mWindow->screen()->name());
    settings.writeString(QStringLiteral("Setup"), QStringLiteral("windowMaximized"),
                         mMaximized ? QStringLiteral("1") : QStringLiteral("0"));
}

void WindowFrame::placeAtStart(QRect stored, const QString &screenName, bool maximized)
{
    // The place is kept for the screen it was on; elsewhere it means nothing.
    QScreen *screen = QGuiApplication::primaryScreen();
    bool storedScreen = false;
    for (QScreen *candidate : QGuiApplication::screens()) {
        if (!screenName.isEmpty() && candidate->name() == screenName) {
            screen = candidate;
            storedScreen = true;
        }
    }
    if (!screen)
        return;
    if (!storedScreen)
        stored = QRect();
    const QRect available = screen->availableGeometry();
    activateLayouts();
    const QSize lacking = (mWindow->minimumSize() - available.size()).expandedTo(QSize(0, 0));
    if (lacking.width() > 0 || lacking.height() > 0) {
        const QSize picture = mWidgets.picture->minimumSize();
        mWidgets.picture->setMinimumSize((picture - lacking).expandedTo(picture / 2));
        activateLayouts();
    }
    bool tooSmall = false;
    const QRect normal = startGeometry(stored, mWindow->size(), mWindow->minimumSize(), available, &tooSmall);
    place(tooSmall ? QRect(available.topLeft(), mWindow->size().boundedTo(available.size())) : normal,
          tooSmall || (maximized && stored.isValid()));
}

void WindowFrame::place(const QRect &normal, bool maximized)
{
    setFrameRect(normal);
    mNormalGeometry = mWindow->geometry();
    if (maximized && !mMaximized)
        toggleMaximized();
}

QRect WindowFrame::normalGeometry() const
{
    if (mMaximized && mRestoreGeometry.isValid())
        return mRestoreGeometry;
    if (mIsFullScreen)
        return mNormalGeometry;
    return mWindow->frameGeometry();
}

void WindowFrame::setFrameRect(const QRect &frame)
{
    const QRect inner = mWindow->geometry();
    const QRect outer = mWindow->frameGeometry();
    mWindow->setGeometry(frame.marginsRemoved(QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                                                       outer.right() - inner.right(), outer.bottom() - inner.bottom())));
}

// --- moving and resizing by the mouse -------------------------------------------------

bool WindowFrame::videoBandContains(const QPoint &global) const
{
    return mWidgets.video->isVisible() && mWidgets.video->rect().contains(mWidgets.video->mapFromGlobal(global));
}

void WindowFrame::resetResizeCursor()
{
    mResizeRegion = ResizeRegion::None;
    mWindow->releaseMouse();
    mWindow->setCursor(Qt::ArrowCursor);
}

void WindowFrame::mousePress(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || videoBandContains(event->globalPos()))
        return;
    mLeftButtonHeld = true;
    if (mResizeRegion == ResizeRegion::None)
        mMoveOffset = event->globalPos() - mWindow->frameGeometry().topLeft();
    event->accept();
}

// Moves over any part of the window, children that take no moves of their
// own included, show where it can be resized.
void WindowFrame::hoverMove(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseMove || mLeftButtonHeld || mMaximized || mIsFullScreen)
        return;
    auto *widget = qobject_cast<QWidget *>(watched);
    auto *mouse = static_cast<QMouseEvent *>(event);
    if (!widget || widget->window() != mWindow || mouse->buttons() != Qt::NoButton)
        return;
    const ResizeRegion region = hitRegion(mWindow->geometry(), mouse->globalPos());
    if (region != mResizeRegion || mWindow->cursor().shape() != regionCursor(region)) {
        mResizeRegion = region;
        mWindow->setCursor(regionCursor(region));
    }
}

void WindowFrame::mouseMove(QMouseEvent *event)
{
    if (!mLeftButtonHeld || mMaximized || mIsFullScreen)
        return;
    if (mResizeRegion == ResizeRegion::None) {
        mWindow->move(event->globalPos() - mMoveOffset);
    } else {
        mWindow->setGeometry(resizedGeometry(mWindow->geometry(), mResizeRegion, event->globalPos(),
                                             mWindow->minimumSize(), mWindow->screen()->availableGeometry()));
    }
    event->accept();
}

void WindowFrame::mouseRelease(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    mLeftButtonHeld = false;
    if (mResizeRegion != ResizeRegion::None) {
        mWindow->releaseMouse();
        // The cursor is where the drag ended: on the edge it shows the edge.
        mResizeRegion =
            mMaximized || mIsFullScreen ? ResizeRegion::None : hitRegion(mWindow->geometry(), event->globalPos());
        mWindow->setCursor(regionCursor(mResizeRegion));
    }
}

bool WindowFrame::mouseDoubleClick(QMouseEvent *event)
{
    // Only the empty title bar: not its buttons, not the rest of the window.
    if (event->button() != Qt::LeftButton || mIsFullScreen || mResizeRegion != ResizeRegion::None
        || mWindow->childAt(mWindow->mapFromGlobal(event->globalPos())) != mWidgets.title)
        return false;
    toggleMaximized();
    event->accept();
    return true;
}

void WindowFrame::windowResized()
{
    if (mIsFullScreen)
        placeFloatingControlBar();
}

// --- full screen ------------------------------------------------------------------------

void WindowFrame::toggleFullScreen()
{
    if (mIsFullScreen)
        leaveFullScreen();
    else
        enterFullScreen();
}

void WindowFrame::enterFullScreen()
{
    mNormalGeometry = mWindow->geometry();
    const int controlHeight = mWidgets.controlBar->height();
    const int titleHeight = mWidgets.title->height();
    resetResizeCursor();
    for (QWidget *panel : qAsConst(mWidgets.panels))
        panel->hide();
    // The control bar floats over the picture.
    mWidgets.controlBarHome->removeWidget(mWidgets.controlBar);
    mWidgets.title->hide();
    // The window reaches one pixel past the screen: the picture starts at its edge.
    mWidgets.outer->setContentsMargins(kFullScreenMargin, kFullScreenMargin, kFullScreenMargin, kFullScreenMargin);
    mIsFullScreen = true;
    showStateTexts();
    mHideTicks = 0;
    mFullShowTimer->start();
    // Without the panels the window may be smaller than before.
    activateLayouts();
    // One pixel beyond the screen on every side, so that no border shows.
    mWindow->setGeometry(mWindow->screen()->geometry().adjusted(-1, -1, 1, 1));
    qCDebug(lcWindow) << "mframeControlHeight:" << controlHeight;
    placeFloatingControlBar();
    qCDebug(lcWindow) << "mframeTitleHeight:" << titleHeight;
    emit sig_FullScreenChanged(true);
}

void WindowFrame::leaveFullScreen()
{
    mFullShowTimer->stop();
    mIsFullScreen = false;
    showStateTexts();
    mWidgets.outer->setContentsMargins(kWindowMargin, kWindowMargin, kWindowMargin, kWindowMargin);
    mWidgets.title->show();
    mWidgets.controlBarHome->addWidget(mWidgets.controlBar);
    mWidgets.controlBar->show();
    for (QWidget *panel : qAsConst(mWidgets.panels))
        panel->show();
    mWindow->setGeometry(mNormalGeometry);
    emit sig_FullScreenChanged(false);
}

// Sizes and places follow the shown bands now, not at the next turn of the
// event loop: each layout takes its minimum from the one inside it.
void WindowFrame::activateLayouts()
{
    for (QWidget *widget : qAsConst(mWidgets.layoutsToActivate))
        widget->layout()->activate();
}

// The bar lies along the bottom of the screen, over the picture.
void WindowFrame::placeFloatingControlBar()
{
    // The picture's band must be where the layout puts it now.
    activateLayouts();
    QWidget *bar = mWidgets.controlBar;
    const QRect screenArea = mWindow->screen()->geometry();
    const int height = bar->height();
    const QPoint topLeft =
        bar->parentWidget()->mapFromGlobal(QPoint(screenArea.left(), screenArea.bottom() + 1 - height));
    bar->setGeometry(QRect(topLeft, QSize(screenArea.width(), height)));
    bar->raise();
}

void WindowFrame::revealControlBar()
{
    if (!mIsFullScreen || !mWidgets.controlBar->isHidden())
        return;
    if (QCursor::pos().y() <= mWindow->screen()->geometry().bottom() - kRevealMargin)
        return;
    if (mWidgets.title->isVisible())
        mWidgets.title->hide();
    mHideTicks = 0;
    mWidgets.controlBar->show();
}

void WindowFrame::fullScreenTick()
{
    if (!mIsFullScreen)
        return;
    // Native window messages differ by platform; the cursor's place does not.
    revealControlBar();
    QWidget *bar = mWidgets.controlBar;
    if (bar->isHidden())
        return;
    if (containsCursor(bar)) {
        mHideTicks = 0;
        return;
    }
    if (++mHideTicks > kHideAfterTicks) {
        mHideTicks = 0;
        // Stopped, there is nothing to watch: the bar stays.
        if (mBarMayHide())
            bar->hide();
    }
}
