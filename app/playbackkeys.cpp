#include "playbackkeys.h"

#include <QKeyEvent>
#include <QWidget>

namespace {

constexpr int kStepSeconds = 5;   // Left and Right
constexpr int kVolumeKeyStep = 5; // Up and Down

} // namespace

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
    // Combinations with Ctrl, Alt or Meta are left to shortcuts.
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (event->key()) {
    case Qt::Key_Space:
        // A held key would flicker between play and pause.
        if (!event->isAutoRepeat())
            emit sig_PlayPause();
        break;
    case Qt::Key_M:
        if (!event->isAutoRepeat())
            emit sig_ToggleSound();
        break;
    case Qt::Key_Left:
        emit sig_Step(-kStepSeconds);
        break;
    case Qt::Key_Right:
        emit sig_Step(kStepSeconds);
        break;
    case Qt::Key_Up:
        emit sig_Volume(kVolumeKeyStep);
        break;
    case Qt::Key_Down:
        emit sig_Volume(-kVolumeKeyStep);
        break;
    case Qt::Key_Escape:
        // Outside full screen the key is not ours.
        if (!fullScreen)
            return false;
        emit sig_LeaveFullScreen();
        break;
    default:
        return false;
    }
    event->accept();
    return true;
}
