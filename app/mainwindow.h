#pragma once

#include "filelistinfo.h"
#include "panelfeed.h"
#include "playbackkeys.h"
#include "playbacksession.h"
#include "settings.h"
#include "videoplayer.h"

#include <QImage>
#include <QMainWindow>

#include <memory>

namespace Ui {
class MainWindow;
}
class FileListToggle;
class FormFileList;
class KeyHelp;
class mymsgwidget;
class OutputActions;
class QMenu;
class SeekBar;
class SetupMenu;
class SoundControl;
class WindowFrame;

// The one window. It wires the controls, the player and the panels
// together; parsing, decoding and storage live in the libraries.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Whether the window shows the map page. Without it the map calls are
    // only reported (sig_MapCall), so that a window can run without a web
    // engine.
    enum class MapView { Web, None };

    // dataFolder: where the file list keeps its database and the settings
    // live in sysConfig.ini (when empty: beside the program, or the user's
    // data and configuration folders).
    explicit MainWindow(QWidget *parent = nullptr, MapView map = MapView::Web,
                        const QString &dataFolder = QString());
    ~MainWindow() override;

    bool eventFilter(QObject *watched, QEvent *event) override;
    // Before the first show: where the window was last time, on the same
    // screen, or a size that fits the screen (maximised when even the
    // minimum does not).
    void placeAtStart();

    // The player of the file that plays: within a drive it changes at a file's end.
    PlaybackSession *session() const { return mSession; }
    // The GPS track of the open file (null before its pass has finished).
    const GpsData &gpsData() const { return mSession->gpsData(); }
    // 0 playing, 1 paused, 2 stopped, 3 paused while the position slider is held.
    int playState() const { return mSession->playState(); }
    QString filePath() const { return mSession->filePath(); }
    void setFilePath(const QString &path) { mSession->setFilePath(path); }
    FormFileList *fileListPanel() const { return mFileList; }
    mymsgwidget *messageWidget() const { return mMsgWidget; }

    // Waits msec milliseconds while the window stays responsive.
    // Resets the position slider and the current time (and the total time when asked).
    void cleanTimeFunc(bool clearTotal);

    // Speeds shown in miles per hour instead of km/h: the Unit menu's choice.
    void setSpeedInMph(bool mph);
    // Consecutive files of one drive play as one, or each by itself.
    void setTrips(bool on);
    // Playback speed, 0.25 to 4 times, sound at pitch.
    void setSpeed(double speed);
    // The language index of the settings (0 Chinese, 1 English, 2 Japanese).
    int language() const;
    // The title button's popup menu.
    QMenu *setupMenu() const;
    bool isFullScreenMode() const;
    // Maximised by the title bar (or by a window manager).
    bool isMaximizedMode() const;
    TelemetryPanel *telemetryPanel() const { return mFeed->panel(); }
    SpeedChart *speedChart() const { return telemetryPanel()->chart(); }
    MapBridge *mapBridge() const { return telemetryPanel()->map(); }

signals:
    // Every call text sent to the map page, in order.
    void sig_MapCall(const QString &call);

public slots:
    void slotGetOneFrame(QImage image);
    void slotTotalTimeChanged(qint64 uSec);
    void slotStateChanged(PlaybackSession::State state);
    // Reports of the player: taken only when they belong to the open file.
    void playbackEnded();
    void slotTimerTimeOut();
    void slotSliderClickedVolume(int value);
    void slotDetKeySpace();
    void setBlackImage();
    void slotupdateDashboard(int angle);
    void slotupdateCompass(int angle);
    // Stops what plays, opens the recording and, with play set, starts it.
    void slotOpenRecording(const QString &path, bool play);
    // Recordings named from outside (the command line, a later launch): the
    // file list takes them and plays the first; the window comes to the front.
    void openFiles(const QStringList &paths);
    // An entry of the file list was chosen: open it (playing or paused at
    // its start), or report it missing, or step on past it.
    void slotSetFile(FileListInfo info, bool play);
    // An entry was removed from the list: when it is the one that plays,
    // playback stops.
    void slotDeleteFile(QString path);
    void slotSaveBasePath(QString path);
    // A recording cannot be played: the popup names it and says why.
    void slotCannotPlay(QString path, ProbeProblem problem = ProbeProblem::None);
    void slotFullShowTimerTimeOut();

    void on_actionchinese_triggered();
    void on_actionEnglise_triggered();
    void on_actionJapanese_triggered();
    void on_actionKPH_triggered();
    void on_actionMPH_triggered();

private slots:
    void on_playButton_clicked();
    void on_stopButton_clicked();
    void on_pushButtonRewind_clicked();
    void on_pushButtonForward_clicked();
    void on_horizontalSliderVolume_sliderMoved(int position);
    void on_pushButtonVolume_clicked();
    void on_pushButtonSnapshot_clicked();
    void on_pushButton_clicked();
    void on_pushButtonFilelist_clicked();
    void on_pushButtonFilelist_pressed();
    void on_pushButtonFilelist_released();
    void on_pushButtonPre_clicked();
    void on_pushButtonNext_clicked();
    void on_horizontalSlider_actionTriggered(int action);
    void on_pushButtonMinimize_clicked();
    void on_pushButtonMaximize_clicked();
    void on_pushButtonClose_clicked();
    void on_pushButtonFullScreen_clicked();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray &eventType, void *message, long *result) override;
#endif

private:
    void stepFileList(bool forward);
    // A file from outside that the list does not know yet opens before the
    // list reads it: its picture need not wait for the list's row, nor share
    // the machine with the list's read. Only when nothing is open.
    void openBeforeListed(const QString &path);
    // The list's word on that file decides what follows: its row finds it
    // open already (true: only play it), its refusal finds it open (true:
    // stop it). Either ends the wait for the word.
    bool listedWhileOpen(const QString &path);
    bool refusedWhileOpen(const QString &path);
    void setupFileList(const QString &dataFolder);
    void setupTelemetry(MapView map);
    // Where the list of keys may lie, in widgetVideo.
    QRect keyHelpArea() const;
    // The stored settings, the menu's texts and the frame (mainwindow_chrome.cpp).
    void loadSettings();
    void retranslate();
    void saveOnExit();
    void setupFrame();

    Ui::MainWindow *ui;
    std::unique_ptr<Settings> mSettings;    // sysConfig.ini
    PlaybackSession *mSession = nullptr;    // the player, opening, play and pause, the timeline tick
    SoundControl *mSound = nullptr;         // volume and mute
    PanelFeed *mFeed = nullptr;             // the telemetry panel and what it is fed
    SetupMenu *mMenu = nullptr;             // the title button's menu and the language

    WindowFrame *mFrame = nullptr;          // moving, resizing, maximising, full screen
    FormFileList *mFileList = nullptr;      // a window of its own over this one, owned here
    mymsgwidget *mMsgWidget = nullptr;      // the message popup, top-level, owned here

    SeekBar *mSeekBar = nullptr;            // the position slider, the times and their seeks
    FileListToggle *mListToggle = nullptr;  // what the list button does with the list
    PlaybackKeys *mKeys = nullptr;          // the window's keys
    KeyHelp *mKeyHelp = nullptr;            // the keys, listed over the picture
    OutputActions *mOutput = nullptr;       // snapshot and track export, with their status line
    QString mOpenedBeforeListed;            // awaiting the list's word (openBeforeListed)
    QString mListOpen;                      // the list's entry being opened: its failure is told
    bool mListStarted = false;              // an entry of the list was opened; previous and next work from then on
};

