#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "controlbarlooks.h"
#include "filelisttoggle.h"
#include "keyhelp.h"
#include "playbackkeys.h"
#include "seekbar.h"
#include "formfilelist.h"
#include "mymsgwidget.h"
#include "outputactions.h"
#include "playbacksession.h"
#include "setupmenu.h"
#include "settings.h"
#include "soundcontrol.h"
#include "telemetrypanel.h"

#include <QAction>
#include <QLoggingCategory>
#include <QTimer>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

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

    mSession = new PlaybackSession([this] { return mSeekBar->isPausedDrag(); }, this);
    mSeekBar = new SeekBar(ui->horizontalSlider, ui->curtimelabel, ui->totaltimelabel, mSession, this);
    cleanTimeFunc(true);
    connect(mSession, &PlaybackSession::sig_GetOneFrame, this, &MainWindow::slotGetOneFrame);
    connect(mSession, &PlaybackSession::sig_TotalTimeChanged, this, &MainWindow::slotTotalTimeChanged);
    connect(mSession, &PlaybackSession::sig_StateChanged, this, &MainWindow::slotStateChanged);
    connect(mSession, &PlaybackSession::sig_PlayStopNormally, this, &MainWindow::slotPlayStopNormally);
    connect(mSession, &PlaybackSession::sig_GetGpsData, this, &MainWindow::slotGetGpsData);
    // Pictures are converted to the surface's size on the video thread.
    connect(ui->frameVideo, &MyFrame::sizeChanged, this, [this](QSize size) { mSession->setOutputSize(size); });

    connect(mSession->timer(), &QTimer::timeout, this, &MainWindow::slotTimerTimeOut);
    connect(mSession, &PlaybackSession::sig_OpenStarted, this, [this] {
        ui->horizontalSlider->setValue(0);
        mPanel->clearTrack();
    });
    connect(mSession, &PlaybackSession::sig_OpenFailed, this, [this] { cleanTimeFunc(true); });
    connect(mSession, &PlaybackSession::sig_TripFound, this, &MainWindow::showTrip);
    mSound = new SoundControl(ui->horizontalSliderVolume, ui->pushButtonVolume,
                              [this](int volume) { mSession->setVolume(volume); }, this);

    setupTelemetry(map);
    setupFrame();
    mMenu->build(ui->toolButton->getMenu(), this, SLOT(on_pushButtonClose_clicked()));
    loadSettings();
    connect(mMenu, &SetupMenu::sig_TripsToggled, this, &MainWindow::setTrips);
    connect(mMenu, &SetupMenu::sig_SpeedChosen, this, &MainWindow::setSpeed);
    connect(ui->horizontalSliderVolume, &myslider::mySliderClicked, this, &MainWindow::slotSliderClickedVolume);

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
    mKeys = new PlaybackKeys(this, mFileList);
    connect(mKeys, &PlaybackKeys::sig_PlayPause, this, &MainWindow::slotDetKeySpace);
    connect(mKeys, &PlaybackKeys::sig_ToggleSound, this, &MainWindow::on_pushButtonVolume_clicked);
    connect(mKeys, &PlaybackKeys::sig_Step, mSeekBar, &SeekBar::step);
    connect(mKeys, &PlaybackKeys::sig_Volume, mSound, &SoundControl::step);
    connect(mKeys, &PlaybackKeys::sig_LeaveFullScreen, this, &MainWindow::on_pushButtonFullScreen_clicked);
    connect(mKeys, &PlaybackKeys::sig_Command, this, &MainWindow::runCommand);
    mKeyHelp = new KeyHelp(ui->widgetVideo);
    QString basePath;
    if (mSettings->readString(QStringLiteral("Setup"), QStringLiteral("FileBasePath"), basePath) && !basePath.isNull())
        mFileList->setBasePath(basePath);

    mOutput = new OutputActions(
        {[this] { return filePath(); },
         [this] { return OutputActions::shownPictureUs(ui->frameVideo->image(), player()->currentTime()); },
         [this] { return mSession->tracks(); },
         // The panel counts the seconds of a drive; the picture's time is its file's.
         [this](qint64 second) { return mPanel->at(second + mSession->partOffsetUs() / 1000000); },
         [this] { return mPanel->timeOffset(); }, [this] { return this; }},
        this);

    setAcceptDrops(true);
    mMsgWidget = new mymsgwidget(this);
    mMsgWidget->setAttribute(Qt::WA_QuitOnClose, false);
}

MainWindow::~MainWindow()
{
    // The player's threads report to this window: they end first.
    if (player()->state() != VideoPlayer::Stop)
        player()->stop();
    mPanel.reset();
    delete mMsgWidget;
    delete mFileList;
    delete ui;
    ui = nullptr;
    // Joins a GPS pass that still reads a file which ended by itself.
    delete mSession;
    mSession = nullptr;
}

void MainWindow::slotGetOneFrame(QImage image)
{
    // Pictures still queued when playback stopped, or from an earlier file,
    // are not shown.
    if (image.text(QStringLiteral("serial")).toULongLong() == player()->serial())
        ui->frameVideo->slotGetImage(image);
}

void MainWindow::slotTotalTimeChanged(qint64 uSec)
{
    // The length of a file that could not be opened after all arrives late.
    if (sender() == mSession && uSec != player()->totalTime())
        return;
    mSeekBar->setTotal(mSession->inTrip() ? mSession->length() : uSec);
}

void MainWindow::slotStateChanged(VideoPlayer::PlayerState state)
{
    mSession->setState(state);
    showPlayLook(ui->playButton, state == VideoPlayer::Playing || mSession->switchingPart());
    // Between two files of a drive the picture and the panel stay.
    if (state == VideoPlayer::Stop && !mSession->switchingPart()) {
        // A stop during a paused drag keeps the total time on screen.
        cleanTimeFunc(!mSeekBar->isPausedDrag());
        mSeekBar->takeSeek();
        mPanel->reset();
        setBlackImage();
    }
}

void MainWindow::slotPlayStopNormally(quint64 serial)
{
    if (serial != player()->serial()) {
        qCDebug(lcWindow) << "end of an earlier file ignored";
        return;
    }
    mSession->setState(VideoPlayer::Stop);
    if (mSession->continueTrip())
        return;
    mSeekBar->takeSeek();
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

VideoPlayer *MainWindow::player() const
{
    return mSession->player();
}

const GpsData &MainWindow::gpsData() const
{
    return mSession->gpsData();
}

int MainWindow::playState() const
{
    return mSession->playState();
}

QString MainWindow::filePath() const
{
    return mSession->filePath();
}

void MainWindow::setFilePath(const QString &path)
{
    mSession->setFilePath(path);
}
