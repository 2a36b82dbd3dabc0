#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "controlbarlooks.h"
#include "formfilelist.h"
#include "keyhelp.h"
#include "mymsgwidget.h"
#include "outputactions.h"
#include "seekbar.h"
#include "setupmenu.h"
#include "soundcontrol.h"
#include "statustoast.h"

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
    // The black sheet is the central widget's, not the window's: a window's
    // sheet reaches the dialogs opened over it (their texts black on black)
    // and restyles every widget each time the window's flags change.
    ui->setupUi(this);
    // frameShow: an empty box beside the time, nothing to show in it.
    for (QWidget *unused : std::initializer_list<QWidget *>{ui->pushButtonRewind, ui->pushButtonForward, ui->pushButton, ui->label_14, ui->frameShow})
        unused->hide();
    mSettings = std::make_unique<Settings>(dataFolder);

    mSession = new PlaybackSession([this] { return mSeekBar->isPausedDrag(); }, this);
    mSeekBar = new SeekBar(ui->horizontalSlider, ui->curtimelabel, ui->totaltimelabel, mSession, this);
    cleanTimeFunc(true);
    connect(mSession, &PlaybackSession::sig_GetOneFrame, this, &MainWindow::slotGetOneFrame);
    connect(mSession, &PlaybackSession::sig_TotalTimeChanged, this, &MainWindow::slotTotalTimeChanged);
    connect(mSession, &PlaybackSession::sig_StateChanged, this, &MainWindow::slotStateChanged);
    connect(mSession, &PlaybackSession::sig_Ended, this, &MainWindow::playbackEnded);
    // Pictures are converted to the surface's size on the video thread.
    connect(ui->frameVideo, &MyFrame::sizeChanged, this, [this](QSize size) { mSession->setOutputSize(size); });
    connect(mSession->timer(), &QTimer::timeout, this, &MainWindow::slotTimerTimeOut);
    connect(mSession, &PlaybackSession::sig_OpenStarted, this, [this] { ui->horizontalSlider->setValue(0); });
    connect(mSession, &PlaybackSession::sig_OpenFailed, this, [this](const QString &path) {
        cleanTimeFunc(true);
        // A file from outside that fails is for the list's read to tell.
        if (path == mOpenedBeforeListed)
            mOpenedBeforeListed.clear();
        // An entry of the list that cannot be played says so.
        if (path == std::exchange(mListOpen, QString()))
            slotCannotPlay(path);
    });
    mSound = new SoundControl(ui->horizontalSliderVolume, ui->pushButtonVolume,
                              [this](int volume) { mSession->setVolume(volume); }, this);
    connect(ui->horizontalSliderVolume, &myslider::mySliderClicked, this, &MainWindow::slotSliderClickedVolume);

    setupFileList(dataFolder);
    setupTelemetry(map);
    setupFrame();
    mMenu->build(ui->toolButton->getMenu(), this, SLOT(on_pushButtonClose_clicked()));
    loadSettings();

    mKeys = new PlaybackKeys(this, mFileList);
    connect(mKeys, &PlaybackKeys::sig_PlayPause, this, &MainWindow::slotDetKeySpace);
    connect(mKeys, &PlaybackKeys::sig_ToggleSound, this, &MainWindow::on_pushButtonVolume_clicked);
    connect(mKeys, &PlaybackKeys::sig_Step, mSeekBar, &SeekBar::step);
    connect(mKeys, &PlaybackKeys::sig_Volume, mSound, &SoundControl::step);
    connect(mKeys, &PlaybackKeys::sig_LeaveFullScreen, this, &MainWindow::on_pushButtonFullScreen_clicked);

    mOutput = new OutputActions(
        {[this] { return filePath(); },
         [this] { return OutputActions::shownPictureUs(ui->frameVideo->image(), mSession->filePosition()); },
         [this] { return mSession->tracks(); },
         // The panel counts the seconds of a drive; the picture's time is its file's.
         [this](qint64 second) { return telemetryPanel()->at(second + mSession->partOffsetUs() / 1000000); },
         [this] { return telemetryPanel()->timeOffset(); }, [this] { return this; }, [this] { return ui->frameVideo; }},
        this);
    // Said once each time it starts: the pictures thin out, the sound and the panel go on.
    connect(mSession, &PlaybackSession::sig_DecodeTooSlow, this, [this](bool tooSlow) {
        if (tooSlow)
            mOutput->tell(tr("This computer decodes the recording slower than it plays: some pictures are skipped"));
    });
    connect(mFileList, &FormFileList::sig_Status, mOutput, &OutputActions::tell);
    mKeys->on(PlaybackKeys::ToggleFullScreen, [this] { on_pushButtonFullScreen_clicked(); });
    mKeys->on(PlaybackKeys::Open, [this] { mFileList->chooseFiles(this); });
    mKeys->on(PlaybackKeys::Help, [this] {
        // Made when first asked for: its many labels need not slow the start.
        if (!mKeyHelp)
            mKeyHelp = new KeyHelp(ui->widgetVideo, [this] { return keyHelpArea(); }, {ui->frameVideo, ui->frameControl});
        mKeyHelp->toggle();
    });
    mKeys->on(PlaybackKeys::Snapshot, [this] { mOutput->snapshot(); });
    mKeys->on(PlaybackKeys::Export, [this] { mOutput->exportTrack(); });
    mKeys->on(PlaybackKeys::Slower, [this] { setSpeed(SetupMenu::nextSpeed(mSession->speed(), -1)); });
    mKeys->on(PlaybackKeys::Faster, [this] { setSpeed(SetupMenu::nextSpeed(mSession->speed(), 1)); });
    mKeys->on(PlaybackKeys::FrameBack, [this] { mSession->stepFrame(-1); });
    mKeys->on(PlaybackKeys::FrameForward, [this] { mSession->stepFrame(1); });

    setAcceptDrops(true);
    mMsgWidget = new mymsgwidget(this);
    mMsgWidget->setAttribute(Qt::WA_QuitOnClose, false);
}

MainWindow::~MainWindow()
{
    // The player's threads report to this window: they end first.
    mSession->stop();
    delete mFeed;
    mFeed = nullptr;
    delete mMsgWidget;
    delete mFileList;
    delete ui;
    ui = nullptr;
    // Joins a GPS pass that still reads a file which ended by itself.
    delete mSession;
    mSession = nullptr;
}

// The picture, below the status line's band and above the control bar
// (which floats over the picture in full screen), in widgetVideo.
QRect MainWindow::keyHelpArea() const
{
    constexpr int kGap = 8; // px left free around the list of keys
    QRect area(ui->frameVideo->mapTo(ui->widgetVideo, QPoint()), ui->frameVideo->size());
    area.setTop(area.top() + StatusToast::lineBottom(ui->frameVideo));
    const QRect bar(ui->frameControl->mapTo(ui->widgetVideo, QPoint()), ui->frameControl->size());
    if (bar.intersects(area))
        area.setBottom(bar.top() - 1);
    return area.adjusted(kGap, kGap, -kGap, -kGap);
}

void MainWindow::setupTelemetry(MapView map)
{
    TelemetryWidgets widgets;
    widgets.speed = ui->labelSpeed_5;
    widgets.longitude = ui->labelSpeed_6;
    widgets.latitude = ui->labelSpeed_7;
    widgets.dateTime = ui->labelDateTime;
    widgets.speedUnit = ui->labelSpeedUint;
    widgets.dashboardUnit = ui->labelDashboardSpeedUnit;
    widgets.dashboard = ui->widgetDashboard;
    widgets.compass = ui->widgetCompass;
    widgets.chart = ui->widgetChart;
    widgets.mapFrame = map == MapView::Web ? ui->frameMap : nullptr;
    QString tileUrl;
    mSettings->readString(QStringLiteral("Setup"), QStringLiteral("mapTileUrl"), tileUrl);
    mFeed = new PanelFeed(widgets, tileUrl, mSession, mSeekBar, mFileList, this);
    connect(mFeed->panel(), &TelemetryPanel::sig_MapCall, this, &MainWindow::sig_MapCall);
}

// --- the player's reports ------------------------------------------------------

void MainWindow::slotGetOneFrame(QImage image)
{
    // Pictures still queued when playback stopped, or from an earlier file,
    // are not shown.
    if (image.text(QStringLiteral("serial")).toULongLong() == mSession->serial())
        ui->frameVideo->slotGetImage(image);
}

void MainWindow::slotTotalTimeChanged(qint64 uSec)
{
    // The length of a file that could not be opened after all arrives late.
    if (sender() == mSession && uSec != mSession->fileLength())
        return;
    mSeekBar->setTotal(mSession->inTrip() ? mSession->length() : uSec);
}

void MainWindow::slotStateChanged(PlaybackSession::State state)
{
    showPlayLook(ui->playButton, state == PlaybackSession::Playing || mSession->switchingPart());
    // Between two files of a drive the picture and the panel stay.
    if (mSession->stopped() && !mSession->switchingPart()) {
        // A stop during a paused drag keeps the total time on screen.
        cleanTimeFunc(!mSeekBar->isPausedDrag());
        mFeed->stopped();
        setBlackImage();
    }
}

void MainWindow::playbackEnded()
{
    cleanTimeFunc(false);
    mFeed->stopped();
    showPlayLook(ui->playButton, false);
    // The last picture stays on the surface.
}

void MainWindow::slotTimerTimeOut()
{
    if (sender() == mSession->timer())
        mFeed->tick();
}

void MainWindow::slotupdateDashboard(int angle)
{
    telemetryPanel()->updateDashboard(angle);
}

void MainWindow::slotupdateCompass(int angle)
{
    telemetryPanel()->updateCompass(angle);
}

void MainWindow::setBlackImage()
{
    ui->frameVideo->slotGetImage(QImage());
}
