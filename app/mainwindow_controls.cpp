// The control bar: play, stop, position, volume, mirror, the file list and
// its button, keys and dropped files.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "controlbarlooks.h"
#include "filelisttoggle.h"
#include "formfilelist.h"
#include "mymsgwidget.h"
#include "outputactions.h"
#include "seekbar.h"
#include "setupmenu.h"
#include "soundcontrol.h"
#include "windowframe.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMimeData>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

constexpr int kStepSeconds = 5; // rewind and forward

} // namespace

void MainWindow::cleanTimeFunc(bool clearTotal)
{
    qCDebug(lcWindow) << "clean time and Slider";
    mSeekBar->clear(clearTotal);
}

void MainWindow::slotOpenRecording(const QString &path, bool play)
{
    if (!QFileInfo::exists(path)) {
        qCDebug(lcWindow) << "file not exist:" << path;
        return;
    }
    mSession->setFilePath(path);
    mSession->open(path, play);
}

// --- play, stop, rewind, forward --------------------------------------------

void MainWindow::on_playButton_clicked()
{
    const bool fromStop = mSession->stopped();
    mSession->togglePlay();
    // The chart starts again with the new run.
    if (fromStop && !mSession->stopped())
        telemetryPanel()->clearChart();
}

void MainWindow::on_stopButton_clicked()
{
    mSession->stop();
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
    const bool on = !telemetryPanel()->fixGpsData();
    telemetryPanel()->setFixGpsData(on);
    mSession->wakeTimeline(); // the position labels follow at the next tick
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

// --- the file list --------------------------------------------------------------

void MainWindow::setupFileList(const QString &dataFolder)
{
    mFileList = new FormFileList(this, dataFolder);
    // The list and the popup are windows of their own, over this one and
    // off the task bar; closing the main window still ends the program.
    mFileList->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    mFileList->setAttribute(Qt::WA_QuitOnClose, false);
    connect(mFileList, &FormFileList::sig_SetFile, this, &MainWindow::slotSetFile);
    connect(mFileList, &FormFileList::sig_Listed, mSession, &PlaybackSession::listed);
    connect(mFileList, &FormFileList::sig_DeleteFile, this, &MainWindow::slotDeleteFile);
    connect(mFileList, &FormFileList::sig_DetKeySpace, this, &MainWindow::slotDetKeySpace);
    connect(mFileList, &FormFileList::sig_SaveBasePath, this, &MainWindow::slotSaveBasePath);
    connect(mFileList, &FormFileList::sig_CannotPlay, this, &MainWindow::slotCannotPlay);
    mListToggle = new FileListToggle(this, ui->pushButtonFilelist, mFileList, ui->widget);
    QString basePath;
    if (mSettings->readString(QStringLiteral("Setup"), QStringLiteral("FileBasePath"), basePath) && !basePath.isNull())
        mFileList->setBasePath(basePath);
}

void MainWindow::slotSetFile(FileListInfo info, bool play)
{
    qCDebug(lcWindow) << "info.FilePath:" << info.path;
    if (listedWhileOpen(info.path)) {
        if (play)
            mSession->play();
    } else {
        if (!QFileInfo(info.path).isFile()) {
            // What plays goes on.
            mMsgWidget->showCannotPlay(QFileInfo(info.path).fileName(), ProbeProblem::Missing);
            return;
        }
        mSession->setFilePath(info.path);
        mListOpen = info.path;
        mSession->open(info.path, play);
    }
    mListStarted = true;
    telemetryPanel()->startChart(info.durationInt);
}

void MainWindow::openFiles(const QStringList &paths)
{
    qCDebug(lcWindow) << "opened from outside:" << paths;
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
    if (!paths.isEmpty() && !mFileList->knows(paths.first()))
        openBeforeListed(paths.first());
    mFileList->addOpened(paths);
}

void MainWindow::openBeforeListed(const QString &path)
{
    if (path.isEmpty() || !mSession->stopped() || !QFileInfo(path).isFile())
        return;
    mOpenedBeforeListed = path;
    mSession->setFilePath(path);
    mSession->open(path, false);
}

bool MainWindow::listedWhileOpen(const QString &path)
{
    return path == std::exchange(mOpenedBeforeListed, QString()) && mSession->filePath() == path && !mSession->stopped();
}

bool MainWindow::refusedWhileOpen(const QString &path)
{
    return path == std::exchange(mOpenedBeforeListed, QString()) && mSession->filePath() == path;
}

void MainWindow::on_pushButtonPre_clicked()
{
    stepFileList(false);
}

void MainWindow::on_pushButtonNext_clicked()
{
    stepFileList(true);
}

// One step through the list: the list finds the next entry whose file is
// there; after a whole round without one the popup says so.
void MainWindow::stepFileList(bool forward)
{
    if (!mListStarted || mFileList->rowCount() == 0)
        return;
    FileListInfo entry;
    if (mFileList->selectPlayable(forward, entry, mSession->filePath())) {
        if (!mSession->goToPart(entry.path))
            slotSetFile(entry, false);
        return;
    }
    mMsgWidget->setMessage(tr("None of the listed recordings is there any more"));
    mMsgWidget->showOver();
}

void MainWindow::slotDeleteFile(QString path)
{
    if (!mSession->stopped() && QFileInfo(path) == QFileInfo(mSession->filePath()))
        mSession->stop();
}

void MainWindow::slotSaveBasePath(QString path)
{
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("FileBasePath"), path);
}

void MainWindow::slotCannotPlay(QString path, ProbeProblem problem)
{
    if (refusedWhileOpen(path))
        mSession->stop();
    mMsgWidget->showCannotPlay(QFileInfo(path).fileName(), problem);
}

// The list follows the window it belongs to.
void MainWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    if (mListToggle)
        mListToggle->follow();
}

// --- keys and drops -----------------------------------------------------------------

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (mKeys->handle(event, mFrame->isFullScreen()))
        return;
    if (event->key() != Qt::Key_Escape)
        return QMainWindow::keyPressEvent(event);
    qCDebug(lcWindow) << "Qt::Key_Escape";
    event->accept();
}

void MainWindow::setSpeed(double speed)
{
    mSession->setSpeed(speed);
    mMenu->checkSpeed(mSession->speed());
    mOutput->tell(tr("Playback speed %1×").arg(mSession->speed()));
}

void MainWindow::slotDetKeySpace()
{
    // Stopped, as the play button: again from the start of what ended.
    if (mSession->stopped()) {
        on_playButton_clicked();
        return;
    }
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
