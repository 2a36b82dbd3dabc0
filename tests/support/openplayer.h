#pragma once

#include "videoplayer.h"

#include <QSignalSpy>

// Opens path and waits (bounded) until the open settles; true when the
// player stands paused on the first picture.
inline bool openAndWait(VideoPlayer &player, const QString &path, int timeoutMs = 10000)
{
    QSignalSpy opened(&player, &VideoPlayer::sig_Opened);
    if (!player.openFile(path))
        return false;
    if (opened.isEmpty() && !opened.wait(timeoutMs))
        return false;
    return opened.last().at(1).toBool() && player.state() == VideoPlayer::Pause;
}
