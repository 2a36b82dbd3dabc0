#pragma once

#include <QObject>

class QKeyEvent;
class QWidget;

// The window's keys, whatever has the focus in it or in the file list, the
// map included: each key is an intent for the window to carry out. (The
// map keeps its buttons and dragging.)
class PlaybackKeys : public QObject
{
    Q_OBJECT

public:
    // list: the file list's window, whose keys are the window's too.
    PlaybackKeys(QWidget *window, QWidget *list);

    // A key pressed in any widget; true when it was one of these keys and
    // was carried out. fullScreen: Esc is ours only then.
    bool handle(QObject *watched, QKeyEvent *event, bool fullScreen);
    // A key that reached the window itself.
    bool handle(QKeyEvent *event, bool fullScreen);

signals:
    void sig_PlayPause();          // Space
    void sig_ToggleSound();        // M
    void sig_Step(int seconds);    // Left, Right
    void sig_Volume(int delta);    // Up, Down, on the 0..100 slider
    void sig_LeaveFullScreen();    // Esc in full screen

private:
    QWidget *mWindow;
    QWidget *mList;
};
