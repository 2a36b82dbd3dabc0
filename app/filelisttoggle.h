#pragma once

#include <QObject>

#include <functional>

class QEvent;
class QWidget;

// What the list button does with the file list window: a click shows the
// list (placed by place), hides it, or, once the user has clicked into the
// main window since, brings it forward instead of hiding it.
class FileListToggle : public QObject
{
    Q_OBJECT

public:
    FileListToggle(QWidget *window, QWidget *button, QWidget *list, std::function<void()> place);

    void clicked();
    void pressed();
    void released();
    // Every mouse press and release of the application.
    void watchClick(QObject *watched, QEvent *event);

private:
    QWidget *mWindow;
    QWidget *mButton;
    QWidget *mList;
    std::function<void()> mPlace;
    bool mRaise = true;      // the next click raises the list instead of hiding it
    bool mRaiseSaved = true;
    bool mButtonDown = false;
};
