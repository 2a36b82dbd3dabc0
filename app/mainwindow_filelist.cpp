// The window's side of the file list: opening the chosen entry, previous
// and next, deletions, the message popup and where the list opens.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "filelisttoggle.h"
#include "formfilelist.h"
#include "mymsgwidget.h"
#include "playbacksession.h"
#include "settings.h"
#include "telemetrypanel.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

void MainWindow::slotSetFile(FileListInfo info, bool play)
{
    if (mSession->deferWhileOpening([this, info, play] { slotSetFile(info, play); }))
        return;
    qCDebug(lcWindow) << "info.FilePath:" << info.path;
    mSession->setFilePath(info.path);
    if (!QFileInfo(info.path).isFile()) {
        // What plays goes on.
        mMsgWidget->showCannotPlay(QFileInfo(info.path).fileName(), ProbeProblem::Missing);
        return;
    }
    if (!mSession->open(info.path, false)) {
        slotCannotPlay(info.path);
        return;
    }
    mListStarted = true;
    mPanel->startChart(info.durationInt);
    if (play)
        player()->play();
}

void MainWindow::openFiles(const QStringList &paths)
{
    qCDebug(lcWindow) << "opened from outside:" << paths;
    mFileList->addOpened(paths);
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
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
    if (mFileList->selectPlayable(forward, entry)) {
        slotSetFile(entry, false);
        return;
    }
    mMsgWidget->setMessage(tr("None of the listed recordings is there any more"));
    mMsgWidget->showOver();
}

void MainWindow::slotDeleteFile(QString path)
{
    if (mSession->state() != PlaybackSession::Stopped && QFileInfo(path) == QFileInfo(mSession->filePath()))
        player()->stop();
}

void MainWindow::slotSaveBasePath(QString path)
{
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("FileBasePath"), path);
}

void MainWindow::slotCannotPlay(QString path, ProbeProblem problem)
{
    mMsgWidget->showCannotPlay(QFileInfo(path).fileName(), problem);
}

// The list follows the window it belongs to.
void MainWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    if (mListToggle)
        mListToggle->follow();
}
