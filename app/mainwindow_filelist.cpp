// The window's side of the file list: opening the chosen entry, previous
// and next, deletions, the message popup and where the list opens.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "filelistplacement.h"
#include "formfilelist.h"
#include "mymsgwidget.h"
#include "settings.h"
#include "telemetrypanel.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QScreen>
#include <QTimer>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

void MainWindow::slotSetFile(FileListInfo info, bool play)
{
    if (deferWhileOpening([this, info, play] { slotSetFile(info, play); }))
        return;
    qCDebug(lcWindow) << "info.FilePath:" << info.path;
    mFilePath = info.path;
    if (!QFileInfo(info.path).isFile()) {
        // What plays goes on.
        mMsgWidget->showCannotPlay(QFileInfo(info.path).fileName(), ProbeProblem::Missing);
        return;
    }
    if (!openRecording(info.path, false)) {
        slotCannotPlay(info.path);
        return;
    }
    mListStarted = true;
    mPanel->startChart(info.durationInt);
    if (play)
        mPlayer->play();
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
    if (mPlayState != 2 && QFileInfo(path) == QFileInfo(mFilePath))
        mPlayer->stop();
}

void MainWindow::slotSaveBasePath(QString path)
{
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("FileBasePath"), path);
}

void MainWindow::slotCannotPlay(QString path, ProbeProblem problem)
{
    mMsgWidget->showCannotPlay(QFileInfo(path).fileName(), problem);
}

void MainWindow::placeFileList()
{
    const QRect panel(ui->widget->mapToGlobal(QPoint(0, 0)), ui->widget->size());
    const QRect frame = mFileList->frameGeometry();
    const QRect placed = fileListGeometry(frameGeometry(), mListSize, screen()->availableGeometry(), panel);
    // The frame's margins, if a window manager draws one, stay outside.
    mFileList->setGeometry(placed.marginsRemoved(QMargins(mFileList->x() - frame.x(), mFileList->y() - frame.y(),
                                                          frame.right() - mFileList->geometry().right(),
                                                          frame.bottom() - mFileList->geometry().bottom())));
}

// The list follows the window it belongs to.
void MainWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    if (mFileList && mFileList->isVisible())
        placeFileList();
}
