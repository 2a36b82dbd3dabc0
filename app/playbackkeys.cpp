#include "playbackkeys.h"

#include <QKeyEvent>
#include <QWidget>

namespace {

constexpr int kStepSeconds = 5;   // Left and Right
constexpr int kVolumeKeyStep = 5; // Up and Down

} // namespace

const QVector<PlaybackKeys::Binding> &PlaybackKeys::bindings()
{
    static const QVector<Binding> table{
        {Qt::Key_Space, false, PlayPause, false, "Space", QT_TR_NOOP("Play or pause")},
        {Qt::Key_Left, false, StepBack, true, "Left", QT_TR_NOOP("Back 5 seconds")},
        {Qt::Key_Right, false, StepForward, true, "Right", QT_TR_NOOP("Forward 5 seconds")},
        {Qt::Key_Comma, false, FrameBack, true, ",", QT_TR_NOOP("Previous picture (paused)")},
        {Qt::Key_Period, false, FrameForward, true, ".", QT_TR_NOOP("Next picture (paused)")},
        {Qt::Key_BracketLeft, false, Slower, false, "[", QT_TR_NOOP("Slower")},
        {Qt::Key_BracketRight, false, Faster, false, "]", QT_TR_NOOP("Faster")},
        {Qt::Key_Up, false, VolumeUp, true, "Up", QT_TR_NOOP("Louder")},
        {Qt::Key_Down, false, VolumeDown, true, "Down", QT_TR_NOOP("Quieter")},
        {Qt::Key_M, false, ToggleSound, false, "M", QT_TR_NOOP("Sound on or off")},
        {Qt::Key_F, false, ToggleFullScreen, false, "F", QT_TR_NOOP("Full screen on or off")},
        {Qt::Key_F11, false, ToggleFullScreen, false, "F11", QT_TR_NOOP("Full screen on or off")},
        {Qt::Key_Escape, false, LeaveFullScreen, false, "Esc", QT_TR_NOOP("Close this list, or leave full screen")},
        {Qt::Key_O, true, Open, false, "Ctrl+O", QT_TR_NOOP("Open recordings")},
        {Qt::Key_S, true, Snapshot, false, "Ctrl+S", QT_TR_NOOP("Save the picture (PNG)")},
        {Qt::Key_E, true, Export, false, "Ctrl+E", QT_TR_NOOP("Export the track (GPX or CSV)")},
        {Qt::Key_Question, false, Help, false, "?", QT_TR_NOOP("These keys")},
    };
    return table;
}

QStringList PlaybackKeys::helpLines()
{
    QStringList lines;
    for (const Binding &binding : bindings())
        lines << QString::fromLatin1(binding.keyText) + QLatin1Char('\t') + tr(binding.what);
    return lines;
}

PlaybackKeys::PlaybackKeys(QWidget *window, QWidget *list)
    : QObject(window)
    , mWindow(window)
    , mList(list)
{
}

bool PlaybackKeys::handle(QObject *watched, QKeyEvent *event, bool fullScreen)
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || (widget->window() != mWindow && widget->window() != mList))
        return false;
    return handle(event, fullScreen);
}

bool PlaybackKeys::handle(QKeyEvent *event, bool fullScreen)
{
    // Shift is part of some keys ("?" on most layouts); Alt and Meta
    // combinations belong to the window manager and the desktop.
    if (event->modifiers() & (Qt::AltModifier | Qt::MetaModifier))
        return false;
    const bool control = event->modifiers() & Qt::ControlModifier;
    const Binding *found = nullptr;
    for (const Binding &binding : bindings()) {
        if (binding.key == event->key() && binding.control == control)
            found = &binding;
    }
    // Outside full screen Esc is not ours.
    if (!found || (found->command == LeaveFullScreen && !fullScreen))
        return false;
    const auto action = mActions.find(found->command);
    if (found->command > LeaveFullScreen && action == mActions.end())
        return false;
    event->accept();
    // A held key would flicker between two states or repeat a dialog.
    if (!found->repeats && event->isAutoRepeat())
        return true;
    switch (found->command) {
    case PlayPause: emit sig_PlayPause(); break;
    case ToggleSound: emit sig_ToggleSound(); break;
    case StepBack: emit sig_Step(-kStepSeconds); break;
    case StepForward: emit sig_Step(kStepSeconds); break;
    case VolumeUp: emit sig_Volume(kVolumeKeyStep); break;
    case VolumeDown: emit sig_Volume(-kVolumeKeyStep); break;
    case LeaveFullScreen: emit sig_LeaveFullScreen(); break;
    default: action->second(); break;
    }
    return true;
}
