// The frameless window's own frame: title-bar buttons, moving and resizing
// by the mouse, maximising by a double click on the title bar, closing, and
// full screen with its auto-hiding control bar.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "formfilelist.h"
#include "mymsgwidget.h"

#include <QCloseEvent>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

constexpr int kRevealMargin = 4;  // pixels at the bottom of the screen that bring the control bar back
constexpr int kHideAfterTicks = 5; // the bar hides on the tick after this many away from it
constexpr int kWindowMargin = 2;     // pixels around the window's bands, as the form has them
constexpr int kFullScreenMargin = 1; // the window's pixel beyond each screen edge

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

void MainWindow::showMaximizeImages(bool maximized)
{
    ui->pushButtonMaximize->setStyleSheet(QLatin1String(maximized ? kRestoreSheet : kMaximizeSheet));
    ui->pushButtonMaximize->setToolTip(maximized ? tr("Restore") : tr("Maximize"));
}

void MainWindow::showFullScreenImages(bool full)
{
    ui->pushButtonFullScreen->setStyleSheet(QLatin1String(full ? kZoomInSheet : kZoomOutSheet));
    ui->pushButtonFullScreen->setToolTip(full ? tr("Leave full screen (Esc)") : tr("Full screen"));
}

// The buttons whose look and tip follow a state.
void MainWindow::showStateTexts()
{
    showPlayImages(mPlayState == 0);
    showSoundImages(mIsMuted);
    showMaximizeImages(mMaximized);
    showFullScreenImages(mIsFullScreen);
}

void MainWindow::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::LanguageChange:
        // Also the texts set in code: the form's own step knows only its defaults.
        if (ui)
            retranslate();
        break;
    case QEvent::WindowStateChange:
        // A window manager maximised or restored the window by a means of its own.
        if (ui && isMaximized() != static_cast<QWindowStateChangeEvent *>(event)->oldState().testFlag(Qt::WindowMaximized)) {
            mMaximized = isMaximized();
            showMaximizeImages(mMaximized);
            resetResizeCursor();
        }
        break;
    default:
        break;
    }
    QMainWindow::changeEvent(event);
}

// --- title-bar buttons, closing ---------------------------------------------------

void MainWindow::on_pushButtonMinimize_clicked()
{
    showMinimized();
}

void MainWindow::on_pushButtonMaximize_clicked()
{
    toggleMaximized();
}

// The window takes the available area itself: without a window manager a
// maximised state is not kept, and a manager's own maximising (a key of its
// own) is followed in changeEvent.
void MainWindow::toggleMaximized()
{
    if (mMaximized) {
        mMaximized = false;
        if (isMaximized())
            showNormal();
        if (mRestoreGeometry.isValid())
            setFrameRect(mRestoreGeometry);
    } else {
        mRestoreGeometry = frameGeometry();
        mMaximized = true;
        setFrameRect(screen()->availableGeometry());
    }
    showMaximizeImages(mMaximized);
    resetResizeCursor();
}

void MainWindow::setFrameRect(const QRect &frame)
{
    const QRect inner = geometry();
    const QRect outer = frameGeometry();
    setGeometry(frame.marginsRemoved(QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                                              outer.right() - inner.right(), outer.bottom() - inner.bottom())));
}

void MainWindow::on_pushButtonClose_clicked()
{
    close();
}

// Every way of closing the window keeps the volume and the sound switch.
void MainWindow::closeEvent(QCloseEvent *event)
{
    saveOnExit();
    mFileList->close();
    mMsgWidget->close();
    QMainWindow::closeEvent(event);
}

// --- moving and resizing by the mouse -------------------------------------------------

bool MainWindow::videoBandContains(const QPoint &global) const
{
    return ui->widgetVideo->isVisible() && ui->widgetVideo->rect().contains(ui->widgetVideo->mapFromGlobal(global));
}

void MainWindow::resetResizeCursor()
{
    mResizeRegion = ResizeRegion::None;
    releaseMouse();
    setCursor(Qt::ArrowCursor);
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    QMainWindow::mousePressEvent(event);
    if (event->button() != Qt::LeftButton || videoBandContains(event->globalPos()))
        return;
    mLeftButtonHeld = true;
    if (mResizeRegion == ResizeRegion::None)
        mMoveOffset = event->globalPos() - frameGeometry().topLeft();
    event->accept();
}

// Moves over any part of the window, children that take no moves of their
// own included, show where it can be resized. The window watches them all.
void MainWindow::filterHitTest(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseMove || mLeftButtonHeld || mMaximized || mIsFullScreen)
        return;
    auto *widget = qobject_cast<QWidget *>(watched);
    auto *mouse = static_cast<QMouseEvent *>(event);
    if (!widget || widget->window() != this || mouse->buttons() != Qt::NoButton)
        return;
    const ResizeRegion region = hitRegion(geometry(), mouse->globalPos());
    if (region != mResizeRegion || cursor().shape() != regionCursor(region)) {
        mResizeRegion = region;
        setCursor(regionCursor(region));
    }
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    QMainWindow::mouseMoveEvent(event);
    if (!mLeftButtonHeld || mMaximized || mIsFullScreen)
        return;
    if (mResizeRegion == ResizeRegion::None) {
        move(event->globalPos() - mMoveOffset);
    } else {
        setGeometry(resizedGeometry(geometry(), mResizeRegion, event->globalPos(), minimumSize(),
                                    screen()->availableGeometry()));
    }
    event->accept();
}

void MainWindow::mouseReleaseEvent(QMouseEvent *event)
{
    QMainWindow::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    mLeftButtonHeld = false;
    if (mResizeRegion != ResizeRegion::None) {
        releaseMouse();
        // The cursor is where the drag ended: on the edge it shows the edge.
        mResizeRegion = mMaximized || mIsFullScreen ? ResizeRegion::None : hitRegion(geometry(), event->globalPos());
        setCursor(regionCursor(mResizeRegion));
    }
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Only the empty title bar: not its buttons, not the rest of the window.
    if (event->button() == Qt::LeftButton && !mIsFullScreen && mResizeRegion == ResizeRegion::None
        && childAt(mapFromGlobal(event->globalPos())) == ui->frameTitle) {
        toggleMaximized();
        event->accept();
        return;
    }
    QMainWindow::mouseDoubleClickEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    // The map view fills frameMap through its layout at every size.
    QMainWindow::resizeEvent(event);
    if (mIsFullScreen)
        placeFloatingControlBar();
}

// --- full screen ------------------------------------------------------------------------

void MainWindow::on_pushButtonFullScreen_clicked()
{
    if (mIsFullScreen)
        leaveFullScreen();
    else
        enterFullScreen();
}

void MainWindow::enterFullScreen()
{
    mNormalGeometry = geometry();
    const int controlHeight = ui->frameControl->height();
    const int titleHeight = ui->frameTitle->height();
    resetResizeCursor();
    ui->toolButton->hide();
    ui->frameMap->hide();
    ui->widget->hide();
    // The control bar floats over the picture.
    ui->verticalLayout_5->removeWidget(ui->frameControl);
    ui->frameTitle->hide();
    // The window reaches one pixel past the screen: the picture starts at its edge.
    ui->verticalLayout_3->setContentsMargins(kFullScreenMargin, kFullScreenMargin, kFullScreenMargin, kFullScreenMargin);
    mIsFullScreen = true;
    showFullScreenImages(true);
    mHideTicks = 0;
    mFullShowTimer->start();
    // Without the panels the window may be smaller than before.
    activateLayouts();
    // One pixel beyond the screen on every side, so that no border shows.
    setGeometry(screen()->geometry().adjusted(-1, -1, 1, 1));
    qCDebug(lcWindow) << "mframeControlHeight:" << controlHeight;
    placeFloatingControlBar();
    qCDebug(lcWindow) << "mframeTitleHeight:" << titleHeight;
}

void MainWindow::leaveFullScreen()
{
    mFullShowTimer->stop();
    mIsFullScreen = false;
    showFullScreenImages(false);
    ui->verticalLayout_3->setContentsMargins(kWindowMargin, kWindowMargin, kWindowMargin, kWindowMargin);
    ui->toolButton->show();
    ui->frameTitle->show();
    ui->verticalLayout_5->addWidget(ui->frameControl);
    ui->frameControl->show();
    ui->frameMap->show();
    ui->widget->show();
    setGeometry(mNormalGeometry);
}

// Sizes and places follow the shown bands now, not at the next turn of the
// event loop: each layout takes its minimum from the one inside it.
void MainWindow::activateLayouts()
{
    ui->widgetVideo->layout()->activate();
    ui->centralwidget->layout()->activate();
    layout()->activate();
}

// The bar lies along the bottom of the screen, over the picture.
void MainWindow::placeFloatingControlBar()
{
    // The picture's band must be where the layout puts it now.
    activateLayouts();
    QWidget *bar = ui->frameControl;
    const QRect screenArea = screen()->geometry();
    const int height = bar->height();
    const QPoint topLeft = bar->parentWidget()->mapFromGlobal(QPoint(screenArea.left(), screenArea.bottom() + 1 - height));
    bar->setGeometry(QRect(topLeft, QSize(screenArea.width(), height)));
    bar->raise();
}

// The cursor at the bottom edge of the screen brings the hidden bar back.
void MainWindow::revealControlBar()
{
    if (!mIsFullScreen || !ui->frameControl->isHidden())
        return;
    if (QCursor::pos().y() <= screen()->geometry().bottom() - kRevealMargin)
        return;
    if (ui->frameTitle->isVisible())
        ui->frameTitle->hide();
    mHideTicks = 0;
    ui->frameControl->show();
}

void MainWindow::slotFullShowTimerTimeOut()
{
    if (!mIsFullScreen)
        return;
    // Native window messages differ by platform; the cursor's place does not.
    revealControlBar();
    QWidget *bar = ui->frameControl;
    if (bar->isHidden())
        return;
    if (containsCursor(bar)) {
        mHideTicks = 0;
        return;
    }
    if (++mHideTicks > kHideAfterTicks) {
        mHideTicks = 0;
        // Stopped, there is nothing to watch: the bar stays.
        if (mPlayState != 2)
            bar->hide();
    }
}

#ifdef Q_OS_WIN
bool MainWindow::nativeEvent(const QByteArray &eventType, void *message, long *result)
{
    revealControlBar();
    return QMainWindow::nativeEvent(eventType, message, result);
}
#endif
