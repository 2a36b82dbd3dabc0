#include "filelisttoggle.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <utility>

FileListToggle::FileListToggle(QWidget *window, QWidget *button, QWidget *list, std::function<void()> place)
    : QObject(window)
    , mWindow(window)
    , mButton(button)
    , mList(list)
    , mPlace(std::move(place))
{
}

void FileListToggle::clicked()
{
    if (mList->isHidden()) {
        mPlace();
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
