// The window's side of the file list: opening the chosen entry, previous
// and next, deletions, the message popup and where the list opens.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "filelistplacement.h"
#include "formfilelist.h"
#include "mymsgwidget.h"
#include "settings.h"
#include "telemetrypanel.h"

#include <QFile>
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
    QFile file(info.path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        // What plays goes on. A step of previous/next moves on to the
        // neighbour instead (stepFileList); anything else says so.
        if (mSkipBackward) {
            qCDebug(lcWindow) << "file not exist , Press pushButtonPre";
            mStepMissed = true;
        } else if (mSkipForward) {
            qCDebug(lcWindow) << "file not exist , Press pushButtonNext";
            mStepMissed = true;
        } else {
            mMsgWidget->setMessage(tr("File not exist !"));
            mMsgWidget->show();
        }
        return;
    }
    file.close();
    mSkipBackward = false;
    mSkipForward = false;
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

// One step through the list. Entries whose file is gone are stepped over,
// one at a time in a loop (not by nesting calls); after one whole round
// without a file that exists the popup says so.
void MainWindow::stepFileList(bool forward)
{
    if (!mListStarted)
        return;
    const int rows = mFileList->rowCount();
    for (int tried = 0; tried < rows; ++tried) {
        mStepMissed = false;
        (forward ? mSkipForward : mSkipBackward) = true;
        if (forward)
            mFileList->selectNextFile();
        else
            mFileList->selectPreviousFile();
        if (!mStepMissed)
            break;
    }
    if (mStepMissed) {
        mMsgWidget->setMessage(tr("File not exist !"));
        mMsgWidget->show();
    }
    // Also when the list could not read its entry: the next double-click
    // on a missing file must say so again.
    mSkipForward = false;
    mSkipBackward = false;
    mStepMissed = false;
}

void MainWindow::slotDeleteFile()
{
    mPlayer->stop();
}

void MainWindow::slotSaveBasePath(QString path)
{
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("FileBasePath"), path);
}

void MainWindow::slotCannotPlay(QString path)
{
    mMsgWidget->showCannotPlay(QFileInfo(path).fileName());
}

void MainWindow::placeFileList()
{
    const QRect screen = this->screen()->availableGeometry();
    const int titleBottom = ui->frameTitle->mapToGlobal(QPoint(0, ui->frameTitle->height() - 1)).y();
    const int pictureRight = ui->frameVideo->mapToGlobal(QPoint(ui->frameVideo->width() - 1, 0)).x();
    mFileList->move(fileListPosition(frameGeometry(), mFileList->frameGeometry().size(), screen, titleBottom,
                                     pictureRight));
}
