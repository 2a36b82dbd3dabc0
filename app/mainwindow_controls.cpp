// The control bar: play, stop, position, volume, mirror, the file list
// button, keys and dropped files.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "controlbarlooks.h"
#include "filelisttoggle.h"
#include "playbackkeys.h"
#include "seekbar.h"
#include "formfilelist.h"
#include "settings.h"
#include "telemetrypanel.h"
#include "windowframe.h"
#include "timetext.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>

#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

constexpr int kStepSeconds = 5;            // rewind and forward
constexpr int kEventSliceMs = 100;         // longest event processing slice while waiting
constexpr int kPauseReportWaitMs = 5000;   // the player reports the paused state at once; never wait longer

} // namespace

void MainWindow::Delay_MSec(int msec)
{
    // A monotonic clock: a wall-clock deadline would wait a whole day when
    // the wait crosses midnight.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < msec)
        QCoreApplication::processEvents(QEventLoop::AllEvents, kEventSliceMs);
}

void MainWindow::cleanTimeFunc(bool clearTotal)
{
    qCDebug(lcWindow) << "clean time and Slider";
    mSeekBar->clear(clearTotal);
}

bool MainWindow::waitForPlayState(int state)
{
    // The player reports its states synchronously; the limit only guards
    // against a report that never comes.
    QElapsedTimer waited;
    waited.start();
    while (mPlayState != state && waited.elapsed() < kPauseReportWaitMs)
        Delay_MSec(20);
    return mPlayState == state;
}

// Opens the file in the player. The window keeps painting while the
// player waits for the first picture (a slow card can take a while);
// the user's clicks and keys wait until it is there.
bool MainWindow::openInPlayer(const QString &path)
{
    // The last file's route and track go at once: a transport stream's
    // track arrives only while the new file already plays.
    mGpsData = GpsData();
    mPanel->clearTrack();
    mOpening = true;
    const bool opened = mPlayer->openFile(path, [] {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kEventSliceMs);
    });
    mOpening = false;
    if (!opened) {
        qCDebug(lcWindow) << "cannot play:" << path;
        cleanTimeFunc(true);
    }
    if (mDeferredOpen)
        QMetaObject::invokeMethod(this, std::exchange(mDeferredOpen, {}), Qt::QueuedConnection);
    return opened;
}

// Events keep flowing while a file opens: a recording the file list
// finished reading meanwhile must not start a second open inside this one.
// The last such request runs once the open is done.
bool MainWindow::deferWhileOpening(std::function<void()> open)
{
    if (!mOpening)
        return false;
    qCDebug(lcWindow) << "open deferred until the current one is done";
    mDeferredOpen = std::move(open);
    return true;
}

bool MainWindow::openRecording(const QString &path, bool play)
{
    mPlayer->stop();
    waitForPlayState(2);
    ui->horizontalSlider->setValue(0);
    if (!openInPlayer(path))
        return false;
    mTimer->start();
    if (play)
        mPlayer->play();
    return true;
}

void MainWindow::slotOpenRecording(const QString &path, bool play)
{
    if (deferWhileOpening([this, path, play] { slotOpenRecording(path, play); }))
        return;
    if (!QFileInfo::exists(path)) {
        qCDebug(lcWindow) << "file not exist:" << path;
        return;
    }
    mFilePath = path;
    openRecording(path, play);
}

// --- play, stop, rewind, forward --------------------------------------------

void MainWindow::on_playButton_clicked()
{
    if (!QFileInfo(mFilePath).isFile())
        return;
    qCDebug(lcWindow) << "mPlayState:" << mPlayState;
    qCDebug(lcWindow) << "video play.\n";
    switch (playState()) {
    case 2: {
        ui->horizontalSlider->setValue(0);
        // Nothing could be opened: stay stopped rather than wait for a report that never comes.
        if (!openInPlayer(mFilePath))
            return;
        mTimer->start();
        waitForPlayState(1);
        mPlayer->play();
        mPanel->clearChart();
        break;
    }
    case 1:
        mPlayer->play();
        break;
    case 0:
        mPlayer->pause();
        break;
    default:
        break;
    }
}

int MainWindow::playState() const
{
    return mPlayState == 1 && mSeekBar->isPausedDrag() ? 3 : mPlayState;
}

void MainWindow::on_stopButton_clicked()
{
    mPlayer->stop();
}

void MainWindow::on_pushButtonRewind_clicked()
{
    if (mPlayState == 0)
        mSeekBar->step(-kStepSeconds);
}

void MainWindow::on_pushButtonForward_clicked()
{
    if (mPlayState == 0)
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
    mVolumePre = position;
    qCDebug(lcWindow) << "mVolumePre:" << mVolumePre;
    mPlayer->setVolume(position);
}

void MainWindow::slotSliderClickedVolume(int value)
{
    ui->horizontalSliderVolume->setValue(value);
    mVolumePre = value;
    mPlayer->setVolume(value);
}

void MainWindow::on_pushButtonVolume_clicked()
{
    mIsMuted = !mIsMuted;
    mPlayer->setVolume(mIsMuted ? 0 : mVolumePre);
    showSoundLook(ui->pushButtonVolume, mIsMuted);
}

void MainWindow::stepVolume(int delta)
{
    const QSlider *volume = ui->horizontalSliderVolume;
    slotSliderClickedVolume(qBound(volume->minimum(), volume->value() + delta, volume->maximum()));
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

void MainWindow::slotDetKeySpace()
{
    // Nothing while the slider is held in a pause.
    if (playState() == 0)
        mPlayer->pause();
    else if (playState() == 1)
        mPlayer->play();
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
