// The control bar: play, stop, position, volume, mirror, the file list
// button, keys and dropped files.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "controlbarlooks.h"
#include "filelisttoggle.h"
#include "playbackkeys.h"
#include "playbacksession.h"
#include "setupmenu.h"
#include "seekbar.h"
#include "formfilelist.h"
#include "keyhelp.h"
#include "outputactions.h"
#include "settings.h"
#include "soundcontrol.h"
#include "telemetrypanel.h"
#include "windowframe.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMimeData>
#include <QMouseEvent>


Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

constexpr int kStepSeconds = 5; // rewind and forward

} // namespace

void MainWindow::Delay_MSec(int msec)
{
    PlaybackSession::delay(msec);
}

void MainWindow::cleanTimeFunc(bool clearTotal)
{
    qCDebug(lcWindow) << "clean time and Slider";
    mSeekBar->clear(clearTotal);
}

bool MainWindow::openRecording(const QString &path, bool play)
{
    mSession->setFilePath(path);
    return mSession->open(path, play);
}

void MainWindow::slotOpenRecording(const QString &path, bool play)
{
    if (mSession->deferWhileOpening([this, path, play] { slotOpenRecording(path, play); }))
        return;
    if (!QFileInfo::exists(path)) {
        qCDebug(lcWindow) << "file not exist:" << path;
        return;
    }
    openRecording(path, play);
}

// --- play, stop, rewind, forward --------------------------------------------

void MainWindow::on_playButton_clicked()
{
    const bool fromStop = mSession->state() == PlaybackSession::Stopped;
    mSession->togglePlay();
    // The chart starts again with the new run.
    if (fromStop && mSession->state() == PlaybackSession::Playing)
        mPanel->clearChart();
}

void MainWindow::on_stopButton_clicked()
{
    player()->stop();
}

void MainWindow::on_pushButtonRewind_clicked()
{
    if (mSession->state() == PlaybackSession::Playing)
        mSeekBar->step(-kStepSeconds);
}

void MainWindow::on_pushButtonForward_clicked()
{
    if (mSession->state() == PlaybackSession::Playing)
        mSeekBar->step(kStepSeconds);
}

void MainWindow::on_horizontalSlider_actionTriggered(int action)
{
    mSeekBar->sliderAction(action);
}

// The window watches every event of the application; each concern has its
// own small handler, and only the first that takes an event consumes it.
bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (!ui)
        return false;
    mFrame->hoverMove(watched, event);
    if (event->type() == QEvent::KeyPress
        && mKeys->handle(watched, static_cast<QKeyEvent *>(event), mFrame->isFullScreen()))
        return true;
    mListToggle->watchClick(watched, event);
    return QMainWindow::eventFilter(watched, event);
}

// --- volume, sound, mirror, position correction ------------------------------

void MainWindow::on_horizontalSliderVolume_sliderMoved(int position)
{
    mSound->setVolume(position);
}

void MainWindow::slotSliderClickedVolume(int value)
{
    mSound->setVolume(value);
}

void MainWindow::on_pushButtonVolume_clicked()
{
    mSound->toggleMute();
}

void MainWindow::on_pushButtonSnapshot_clicked()
{
    ui->frameVideo->setMirror(!ui->frameVideo->getMirror());
    ui->frameVideo->update();
}

void MainWindow::on_pushButton_clicked()
{
    const bool on = !mPanel->fixGpsData();
    mPanel->setFixGpsData(on);
    showFixGpsLook(ui->pushButton, on);
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("fixgpsdata"),
                          on ? QStringLiteral("1") : QStringLiteral("0"));
}

// --- file list button -----------------------------------------------------------

void MainWindow::on_pushButtonFilelist_clicked()
{
    mListToggle->clicked();
}

void MainWindow::on_pushButtonFilelist_pressed()
{
    mListToggle->pressed();
}

void MainWindow::on_pushButtonFilelist_released()
{
    mListToggle->released();
}

// --- keys and drops -----------------------------------------------------------------

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (mKeys->handle(event, mFrame->isFullScreen()))
        return;
    switch (event->key()) {
    case Qt::Key_Escape:
        qCDebug(lcWindow) << "Qt::Key_Escape";
        event->accept();
        return;
    default:
        QMainWindow::keyPressEvent(event);
    }
}

void MainWindow::runCommand(PlaybackKeys::Command command)
{
    switch (command) {
    case PlaybackKeys::ToggleFullScreen:
        on_pushButtonFullScreen_clicked();
        break;
    case PlaybackKeys::Open:
        mFileList->chooseFiles(this);
        break;
    case PlaybackKeys::Help:
        mKeyHelp->toggle();
        break;
    case PlaybackKeys::Snapshot:
        mOutput->snapshot();
        break;
    case PlaybackKeys::Export:
        mOutput->exportTrack();
        break;
    case PlaybackKeys::Slower:
    case PlaybackKeys::Faster:
        setSpeed(SetupMenu::nextSpeed(player()->speed(), command == PlaybackKeys::Faster ? 1 : -1));
        break;
    case PlaybackKeys::FrameBack:
    case PlaybackKeys::FrameForward:
        player()->stepFrame(command == PlaybackKeys::FrameForward ? 1 : -1);
        break;
    default:
        break;
    }
}

void MainWindow::setSpeed(double speed)
{
    mSession->setSpeed(speed);
    mMenu->checkSpeed(player()->speed());
    mOutput->tell(tr("Speed %1×").arg(player()->speed()));
}

void MainWindow::slotDetKeySpace()
{
    // Nothing while the slider is held in a pause.
    mSession->playPause();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    // Each start stops what plays and waits for a picture: of the dropped
    // files only the last one starts, the others are listed.
    mFileList->addDropped(event->mimeData()->urls());
}
