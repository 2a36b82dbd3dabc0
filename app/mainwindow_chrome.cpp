// The frameless window's own frame (WindowFrame): the title-bar buttons,
// the mouse and the full-screen tick reach it from here; closing. The title
// button's menu and the settings it and the other controls keep.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "controlbarlooks.h"
#include "filelisttoggle.h"
#include "formfilelist.h"
#include "mymsgwidget.h"
#include "setupmenu.h"
#include "soundcontrol.h"
#include "windowframe.h"

#include <QCloseEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>

void MainWindow::setupFrame()
{
    FrameWidgets widgets;
    widgets.title = ui->frameTitle;
    widgets.video = ui->widgetVideo;
    widgets.picture = ui->frameVideo;
    widgets.controlBar = ui->frameControl;
    widgets.controlBarHome = ui->verticalLayout_5;
    widgets.outer = ui->verticalLayout_3;
    widgets.panels = {ui->toolButton, ui->frameMap, ui->widget};
    widgets.layoutsToActivate = {ui->widgetVideo, ui->centralwidget, this};
    widgets.maximize = ui->pushButtonMaximize;
    widgets.fullScreen = ui->pushButtonFullScreen;
    mFrame = new WindowFrame(this, widgets, [this] { return !mSession->stopped(); });
    connect(mFrame, &WindowFrame::sig_FullScreenChanged, this, [this](bool on) {
        QRect free;
        if (on) {
            free = screen()->geometry();
            free.setBottom(free.bottom() - ui->frameControl->height());
        }
        mListToggle->setFullScreen(free);
    });
}

void MainWindow::placeAtStart()
{
    mFrame->placeAtStart(*mSettings);
}

bool MainWindow::isFullScreenMode() const
{
    return mFrame->isFullScreen();
}

bool MainWindow::isMaximizedMode() const
{
    return mFrame->isMaximized();
}

void MainWindow::changeEvent(QEvent *event)
{
    if (ui && event->type() == QEvent::LanguageChange)
        retranslate(); // also the texts set in code: the form's own step knows only its defaults
    if (ui && event->type() == QEvent::WindowStateChange)
        mFrame->windowStateChanged(static_cast<QWindowStateChangeEvent *>(event)->oldState().testFlag(Qt::WindowMaximized));
    QMainWindow::changeEvent(event);
}

void MainWindow::on_pushButtonMinimize_clicked()
{
    showMinimized();
}

void MainWindow::on_pushButtonMaximize_clicked()
{
    mFrame->toggleMaximized();
}

void MainWindow::on_pushButtonClose_clicked()
{
    close();
}

// Every way of closing the window keeps the volume and the sound switch.
void MainWindow::closeEvent(QCloseEvent *event)
{
    saveOnExit();
    mFileList->stopAdding();
    mFileList->close();
    mMsgWidget->close();
    QMainWindow::closeEvent(event);
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    QMainWindow::mousePressEvent(event);
    mFrame->mousePress(event);
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    QMainWindow::mouseMoveEvent(event);
    mFrame->mouseMove(event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent *event)
{
    QMainWindow::mouseReleaseEvent(event);
    mFrame->mouseRelease(event);
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!mFrame->mouseDoubleClick(event))
        QMainWindow::mouseDoubleClickEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    // The map view fills frameMap through its layout at every size.
    QMainWindow::resizeEvent(event);
    mFrame->windowResized();
    if (mListToggle)
        mListToggle->follow();
}

void MainWindow::on_pushButtonFullScreen_clicked()
{
    mFrame->toggleFullScreen();
}

void MainWindow::slotFullShowTimerTimeOut()
{
    mFrame->fullScreenTick();
}

#ifdef Q_OS_WIN
bool MainWindow::nativeEvent(const QByteArray &eventType, void *message, long *result)
{
    mFrame->revealControlBar();
    return QMainWindow::nativeEvent(eventType, message, result);
}
#endif

// --- the title button's menu and the stored settings ----------------------------

QMenu *MainWindow::setupMenu() const
{
    return ui->toolButton->getMenu();
}

int MainWindow::language() const
{
    return mMenu->language();
}

void MainWindow::loadSettings()
{
    connect(mMenu, &SetupMenu::sig_UnitChosen, this, [this](bool mph) { mFeed->setSpeedInMph(mph); });
    connect(mMenu, &SetupMenu::sig_TripsToggled, this, [this](bool on) {
        mSession->setTrips(on, [this] { return mFileList->files(); });
    });
    connect(mMenu, &SetupMenu::sig_TimeOffsetChanged, telemetryPanel(), &TelemetryPanel::setTimeOffset);
    connect(mMenu, &SetupMenu::sig_SpeedChosen, this, &MainWindow::setSpeed);
    mMenu->load(mSettings.get());
    mSound->load(*mSettings);
    retranslate();
    int fix = 0;
    if (mSettings->readInt(QStringLiteral("Setup"), QStringLiteral("fixgpsdata"), fix))
        telemetryPanel()->setFixGpsData(fix != 0);
    showFixGpsLook(ui->pushButton, telemetryPanel()->fixGpsData());
}

void MainWindow::on_actionchinese_triggered()
{
    mMenu->chooseLanguage(Chinese);
}

void MainWindow::on_actionEnglise_triggered()
{
    mMenu->chooseLanguage(English);
}

void MainWindow::on_actionJapanese_triggered()
{
    mMenu->chooseLanguage(Japanese);
}

void MainWindow::on_actionKPH_triggered()
{
    mMenu->chooseUnit(false);
}

void MainWindow::on_actionMPH_triggered()
{
    mMenu->chooseUnit(true);
}

void MainWindow::setSpeedInMph(bool mph)
{
    mMenu->chooseUnit(mph);
}

void MainWindow::setTrips(bool on)
{
    mMenu->chooseTrips(on);
}

// Every text of the window in the current language: the form's, the menu's,
// the chart's, and the looks and tips of the buttons that follow a state.
void MainWindow::retranslate()
{
    ui->retranslateUi(this);
    mMenu->retranslate();
    telemetryPanel()->retranslate();
    showPlayLook(ui->playButton, mSession->state() == PlaybackSession::Playing);
    mSound->showLook();
    mFrame->showStateTexts();
}

void MainWindow::saveOnExit()
{
    mFrame->save(*mSettings);
    mSound->save(*mSettings);
}
