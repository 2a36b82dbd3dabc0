#include "mainwindow.h"

#include "myframe.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcWindow, "velmora.window")

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    resize(1280, 800);
    setWindowTitle(QStringLiteral("Velmora_viewer"));
    mFrameVideo = new MyFrame(this);
    mFrameVideo->setObjectName(QStringLiteral("frameVideo"));
    mFrameVideo->setMinimumSize(640, 360);
    mFrameVideo->setFrameShape(QFrame::NoFrame);
    setCentralWidget(mFrameVideo);

    mPlayer = new VideoPlayer;
    connect(mPlayer, &VideoPlayer::sig_GetOneFrame, this, &MainWindow::slotGetOneFrame);
    connect(mPlayer, &VideoPlayer::sig_TotalTimeChanged, this, &MainWindow::slotTotalTimeChanged);
    connect(mPlayer, &VideoPlayer::sig_StateChanged, this, &MainWindow::slotStateChanged);
    connect(mPlayer, &VideoPlayer::sig_PlayStopNormally, this, &MainWindow::slotPlayStopNormally);
    connect(mPlayer, &VideoPlayer::sig_GetGpsData, this, &MainWindow::slotGetGpsData);
    // Pictures are converted to the surface's size on the video thread.
    connect(mFrameVideo, &MyFrame::sizeChanged, this, [this](QSize size) { mPlayer->setOutputSize(size); });
}

MainWindow::~MainWindow()
{
    // The player's threads report to this window: they end first.
    if (mPlayer->state() != VideoPlayer::Stop)
        mPlayer->stop();
}

void MainWindow::slotGetOneFrame(QImage image)
{
    // Pictures still queued when playback stopped are not shown.
    if (mPlayState != 2)
        mFrameVideo->slotGetImage(image);
}

void MainWindow::slotTotalTimeChanged(qint64 uSec)
{
    qCDebug(lcWindow) << "total time:" << uSec;
}

void MainWindow::slotStateChanged(VideoPlayer::PlayerState state)
{
    switch (state) {
    case VideoPlayer::Playing:
        mPlayState = 0;
        break;
    case VideoPlayer::Pause:
        mPlayState = 1;
        break;
    case VideoPlayer::Stop:
        mPlayState = 2;
        setBlackImage();
        break;
    }
    qCDebug(lcWindow) << "mPlayState:" << mPlayState;
}

void MainWindow::slotPlayStopNormally()
{
    mPlayState = 2;
    qCDebug(lcWindow) << "normally stop end";
}

void MainWindow::slotGetGpsData()
{
    qCDebug(lcWindow) << "gps track ready, valid:" << gpsTrack().valid << "records:" << gpsTrack().count;
}

void MainWindow::setBlackImage()
{
    mFrameVideo->slotGetImage(QImage());
}
