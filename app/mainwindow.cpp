#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "controlbarlooks.h"
#include "filelisttoggle.h"
#include "playbackkeys.h"
#include "seekbar.h"
#include "formfilelist.h"
#include "mymsgwidget.h"
#include "setupmenu.h"
#include "settings.h"
#include "telemetrypanel.h"

#include <QAction>
#include <QLoggingCategory>
#include <QTimer>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

constexpr int kTimelineIntervalMs = 500;

} // namespace

MainWindow::MainWindow(QWidget *parent, MapView map, const QString &dataFolder)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    Q_INIT_RESOURCE(resources);
    // Its actions first: the form connects them by name.
    mMenu = new SetupMenu(this);
    ui->setupUi(this);
    ui->pushButtonRewind->hide();
    ui->pushButtonForward->hide();
    ui->pushButton->setVisible(false);
    ui->label_14->setVisible(false);
    // An empty box beside the time: nothing to show in it.
    ui->frameShow->hide();
    mSettings = std::make_unique<Settings>(dataFolder);

    mPlayer = new VideoPlayer;
    mSeekBar = new SeekBar(ui->horizontalSlider, ui->curtimelabel, ui->totaltimelabel, mPlayer,
                           [this] { return mPlayState; }, this);
    cleanTimeFunc(true);
    connect(mPlayer, &VideoPlayer::sig_GetOneFrame, this, &MainWindow::slotGetOneFrame);
    connect(mPlayer, &VideoPlayer::sig_TotalTimeChanged, this, &MainWindow::slotTotalTimeChanged);
    connect(mPlayer, &VideoPlayer::sig_StateChanged, this, &MainWindow::slotStateChanged);
    connect(mPlayer, &VideoPlayer::sig_PlayStopNormally, this, &MainWindow::slotPlayStopNormally);
    connect(mPlayer, &VideoPlayer::sig_GetGpsData, this, &MainWindow::slotGetGpsData);
    // Pictures are converted to the surface's size on the video thread.
    connect(ui->frameVideo, &MyFrame::sizeChanged, this, [this](QSize size) { mPlayer->setOutputSize(size); });

    mTimer = new QTimer;
    connect(mTimer, &QTimer::timeout, this, &MainWindow::slotTimerTimeOut);
    mTimer->setInterval(kTimelineIntervalMs);

    setupTelemetry(map);
    setupFrame();
    mMenu->build(ui->toolButton->getMenu(), this, SLOT(on_pushButtonClose_clicked()));
    loadSettings();
    connect(ui->horizontalSliderVolume, &myslider::mySliderClicked, this, &MainWindow::slotSliderClickedVolume);

    mFileList = new FormFileList(this, dataFolder);
    // The list and the popup are windows of their own, over this one and
    // off the task bar; closing the main window still ends the program.
    mFileList->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    mFileList->setAttribute(Qt::WA_QuitOnClose, false);
    mListSize = mFileList->size();
    connect(mFileList, &FormFileList::sig_SetFile, this, &MainWindow::slotSetFile);
    connect(mFileList, &FormFileList::sig_DeleteFile, this, &MainWindow::slotDeleteFile);
    connect(mFileList, &FormFileList::sig_DetKeySpace, this, &MainWindow::slotDetKeySpace);
    connect(mFileList, &FormFileList::sig_SaveBasePath, this, &MainWindow::slotSaveBasePath);
    connect(mFileList, &FormFileList::sig_CannotPlay, this, &MainWindow::slotCannotPlay);
    mListToggle = new FileListToggle(this, ui->pushButtonFilelist, mFileList, [this] { placeFileList(); });
    mKeys = new PlaybackKeys(this, mFileList);
    connect(mKeys, &PlaybackKeys::sig_PlayPause, this, &MainWindow::slotDetKeySpace);
    connect(mKeys, &PlaybackKeys::sig_ToggleSound, this, &MainWindow::on_pushButtonVolume_clicked);
    connect(mKeys, &PlaybackKeys::sig_Step, mSeekBar, &SeekBar::step);
    connect(mKeys, &PlaybackKeys::sig_Volume, this, &MainWindow::stepVolume);
    connect(mKeys, &PlaybackKeys::sig_LeaveFullScreen, this, &MainWindow::on_pushButtonFullScreen_clicked);
    QString basePath;
    if (mSettings->readString(QStringLiteral("Setup"), QStringLiteral("FileBasePath"), basePath) && !basePath.isNull())
        mFileList->setBasePath(basePath);

    setAcceptDrops(true);
    mMsgWidget = new mymsgwidget(this);
    mMsgWidget->setAttribute(Qt::WA_QuitOnClose, false);
}

MainWindow::~MainWindow()
{
    // The player's threads report to this window: they end first.
    if (mPlayer->state() != VideoPlayer::Stop)
        mPlayer->stop();
    mPanel.reset();
    delete mTimer;
    delete mMsgWidget;
    delete mFileList;
    delete ui;
    ui = nullptr;
    // Joins a GPS pass that still reads a file which ended by itself.
    delete mPlayer;
    mPlayer = nullptr;
}

void MainWindow::slotGetOneFrame(QImage image)
{
    // Pictures still queued when playback stopped, or from an earlier file,
    // are not shown.
    if (image.text(QStringLiteral("serial")).toULongLong() == mPlayer->serial())
        ui->frameVideo->slotGetImage(image);
}

void MainWindow::slotTotalTimeChanged(qint64 uSec)
{
    // The length of a file that could not be opened after all arrives late.
    if (sender() == mPlayer && uSec != mPlayer->totalTime())
        return;
    mSeekBar->setTotal(uSec);
}

void MainWindow::slotStateChanged(VideoPlayer::PlayerState state)
{
    switch (state) {
    case VideoPlayer::Playing:
        mPlayState = 0;
        showPlayLook(ui->playButton, true);
        break;
    case VideoPlayer::Pause:
        mPlayState = 1;
        showPlayLook(ui->playButton, false);
        break;
    case VideoPlayer::Stop:
        // A stop during a paused drag keeps the total time on screen.
        cleanTimeFunc(!mSeekBar->isPausedDrag());
        mTimer->stop();
        mSeekBar->takeSeek();
        mPlayState = 2;
        showPlayLook(ui->playButton, false);
        mPanel->reset();
        setBlackImage();
        break;
    }
    qCDebug(lcWindow) << "mPlayState:" << mPlayState;
}

void MainWindow::slotPlayStopNormally(quint64 serial)
{
    if (serial != mPlayer->serial()) {
        qCDebug(lcWindow) << "end of an earlier file ignored";
        return;
    }
    mSeekBar->takeSeek();
    mPlayState = 2;
    mTimer->stop();
    cleanTimeFunc(false);
    qCDebug(lcWindow) << "normally stop end";
    mPanel->reset();
    showPlayLook(ui->playButton, false);
    // The last picture stays on the surface.
}

void MainWindow::setBlackImage()
{
    ui->frameVideo->slotGetImage(QImage());
}
