#include "controlbarlooks.h"

#include <QCoreApplication>
#include <QPushButton>

namespace {

const char kPlaySheet[] =
    "QPushButton{border-image: url(:/image/PlayPress.png);padding:6px 0px 6px 0px;background-color: rgb(58, 102, 169);}"
    "QPushButton:hover{border-image: url(:/image/PlayHover.png);padding:6px 0px 6px 0px;}"
    "QPushButton:pressed,QPButton:checked{border-image: url(:/image/PlayRelease.png);padding:6px 0px 6px 0px;}";
const char kPauseSheet[] =
    "QPushButton{border-image: url(:/image/PausePress.png);padding:6px 0px 6px 0px;background-color: rgb(58, 102, 169);}"
    "QPushButton:hover{border-image: url(:/image/PauseHover.png);padding:6px 0px 6px 0px;}"
    "QPushButton:pressed,QPButton:checked{border-image: url(:/image/PauseRelease.png);padding:6px 0px 6px 0px;}";
const char kSoundSheet[] =
    "QPushButton{border-image: url(:/image/SoundPress.png);padding:6px 0px 6px 0px;background-color: rgb(58, 102, 169);}"
    "QPushButton:hover{border-image: url(:/image/SoundHover.png);padding:6px 0px 6px 0px;}"
    "QPushButton:pressed,QPButton:checked{border-image: url(:/image/SoundRelease.png);padding:6px 0px 6px 0px;}";
const char kSoundCloseSheet[] =
    "QPushButton{border-image: url(:/image/SoundClosePress.png);padding:6px 0px 6px 0px;background-color: rgb(58, 102, 169);}"
    "QPushButton:hover{border-image: url(:/image/SoundCloseHover.png);padding:6px 0px 6px 0px;}"
    "QPushButton:pressed,QPButton:checked{border-image: url(:/image/SoundCloseRelease.png);padding:6px 0px 6px 0px;}";
const char kDecryptionSheet[] =
    "QPushButton{border-image: url(:/image/decryption.png);padding:6px 0px 6px 0px;background-color: rgb(58, 102, 169);}";
const char kDecryptionOnSheet[] =
    "QPushButton{border-image: url(:/image/decryption_on.png);padding:6px 0px 6px 0px;background-color: rgb(58, 102, 169);}";

} // namespace

// The tips are translated with the window's texts.
void showPlayLook(QPushButton *button, bool playing)
{
    button->setStyleSheet(QLatin1String(playing ? kPauseSheet : kPlaySheet));
    button->setToolTip(playing ? QCoreApplication::translate("MainWindow", "Pause (Space)")
                               : QCoreApplication::translate("MainWindow", "Play (Space)"));
    // A screen reader names what a press does now.
    button->setAccessibleName(playing ? QCoreApplication::translate("MainWindow", "Pause")
                                      : QCoreApplication::translate("MainWindow", "Play"));
}

void showSoundLook(QPushButton *button, bool muted)
{
    button->setStyleSheet(QLatin1String(muted ? kSoundCloseSheet : kSoundSheet));
    button->setToolTip(muted ? QCoreApplication::translate("MainWindow", "Unmute (M)")
                             : QCoreApplication::translate("MainWindow", "Mute (M)"));
}

void showFixGpsLook(QPushButton *button, bool on)
{
    button->setStyleSheet(QLatin1String(on ? kDecryptionOnSheet : kDecryptionSheet));
}
