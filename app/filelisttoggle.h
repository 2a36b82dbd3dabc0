#pragma once

#include <QObject>
#include <QRect>
#include <QSize>

class QEvent;
class QWidget;

// What the list button does with the file list window: a click shows the
// list, hides it, or, once the user has clicked into the main window since,
// brings it forward instead of hiding it. The list stays beside the window
// (or over its panel) as the window moves and resizes.
class FileListToggle : public QObject
{
    Q_OBJECT

public:
    // panel: what the list may cover when it does not fit beside the window.
    FileListToggle(QWidget *window, QWidget *button, QWidget *list, QWidget *panel);

    void clicked();
    void pressed();
    void released();
    // Every mouse press and release of the application.
    void watchClick(QObject *watched, QEvent *event);
    // The window moved or resized: a shown list follows.
    void follow();
    // Full screen: a shown list hides, and comes back when it ends; the list
    // button shows it within free (global; the screen above the control
    // bar). An invalid free: full screen ended.
    void setFullScreen(const QRect &free);

private:
    void place();

    QWidget *mWindow;
    QWidget *mButton;
    QWidget *mList;
    QWidget *mPanel;
    QSize mListSize; // the list's own size, before any docking
    QRect mFullScreenFree;   // where the list may go in full screen; invalid outside it
    bool mBackAfterFullScreen = false; // hidden by full screen, not by the user
    bool mRaise = true;      // the next click raises the list instead of hiding it
    bool mRaiseSaved = true;
    bool mButtonDown = false;
};
