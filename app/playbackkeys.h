#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <map>

class QKeyEvent;
class QWidget;

// The window's keys, whatever has the focus in it or in the file list, the
// map included: each key is an intent for the window to carry out. (The
// map keeps its buttons and dragging.) One table holds them, so the help
// lists exactly the keys that work.
class PlaybackKeys : public QObject
{
    Q_OBJECT

public:
    enum Command {
        PlayPause, ToggleSound, StepBack, StepForward, VolumeUp, VolumeDown,
        LeaveFullScreen,
        // From here on each is carried out by the action given to on().
        ToggleFullScreen, Slower, Faster, FrameBack, FrameForward,
        Open, Snapshot, Export, Help,
    };
    Q_ENUM(Command)

    struct Binding
    {
        int key;              // Qt::Key
        bool control;         // with Ctrl
        Command command;
        bool repeats;         // a held key repeats it
        const char *keyText;  // as the help shows the key
        const char *what;     // untranslated; tr() in this class's context
    };
    static const QVector<Binding> &bindings();
    // The help's lines, "key<TAB>what it does", in the current language.
    static QStringList helpLines();

    // list: the file list's window, whose keys are the window's too.
    PlaybackKeys(QWidget *window, QWidget *list);

    // A key pressed in any widget; true when it was one of these keys and
    // was carried out. fullScreen: Esc is ours only then.
    bool handle(QObject *watched, QKeyEvent *event, bool fullScreen);
    // A key that reached the window itself.
    bool handle(QKeyEvent *event, bool fullScreen);
    // What a command without a signal of its own does; one without is not taken.
    void on(Command command, std::function<void()> action) { mActions[command] = std::move(action); }

signals:
    void sig_PlayPause();          // Space
    void sig_ToggleSound();        // M
    void sig_Step(int seconds);    // Left, Right
    void sig_Volume(int delta);    // Up, Down, on the 0..100 slider
    void sig_LeaveFullScreen();    // Esc in full screen

private:
    std::map<Command, std::function<void()>> mActions;
    QWidget *mWindow;
    QWidget *mList;
};
