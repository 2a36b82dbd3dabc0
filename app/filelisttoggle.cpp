#include "filelisttoggle.h"

#include "filelistplacement.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

#include <utility>

FileListToggle::FileListToggle(QWidget *window, QWidget *button, QWidget *list, QWidget *panel)
    : QObject(window)
    , mWindow(window)
    , mButton(button)
    , mList(list)
    , mPanel(panel)
    , mListSize(list->size())
{
}

void FileListToggle::follow()
{
    if (mList->isVisible())
        place();
}

void FileListToggle::setFullScreen(const QRect &free)
{
    mFullScreenFree = free;
    if (free.isValid()) {
        mBackAfterFullScreen = mList->isVisible();
        mList->hide();
    } else if (std::exchange(mBackAfterFullScreen, false)) {
        place();
        mList->show();
    } else {
        follow();
    }
}

void FileListToggle::place()
{
    // In full screen the window leaves no room beside it: the list docks
    // at the top right, clear of the control bar.
    const QRect panel = mFullScreenFree.isValid() ? mFullScreenFree
                                                  : QRect(mPanel->mapToGlobal(QPoint(0, 0)), mPanel->size());
    const QRect frame = mList->frameGeometry();
    const QRect placed = fileListGeometry(mWindow->frameGeometry(), mListSize, mWindow->screen()->availableGeometry(), panel);
    // The frame's margins, if a window manager draws one, stay outside.
    mList->setGeometry(placed.marginsRemoved(QMargins(mList->x() - frame.x(), mList->y() - frame.y(),
                                                      frame.right() - mList->geometry().right(),
                                                      frame.bottom() - mList->geometry().bottom())));
}

void FileListToggle::clicked()
{
    mBackAfterFullScreen = false;
    if (mList->isHidden()) {
        place();
        mList->show();
        mRaise = false;
        mRaiseSaved = false;
    } else if (mRaise) {
        mRaise = false;
        mList->activateWindow();
        mList->raise();
        mRaiseSaved = mRaise;
    } else {
        mList->hide();
        mRaise = true;
        mRaiseSaved = true;
    }
}

void FileListToggle::pressed()
{
    mRaise = mRaiseSaved;
    mButtonDown = true;
}

void FileListToggle::released()
{
    mButtonDown = false;
}

void FileListToggle::watchClick(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease)
        return;
    if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
        return;
    if (mList->isHidden() || QApplication::activeWindow() != mWindow || watched == mButton)
        return;
    // Once the user clicked into the window, the list button brings the
    // list forward instead of closing it.
    if (type == QEvent::MouseButtonPress)
        mRaise = true;
    else if (!mButtonDown)
        mRaiseSaved = mRaise;
}
