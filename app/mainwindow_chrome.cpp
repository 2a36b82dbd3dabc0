// The frameless window's own frame (WindowFrame): the title-bar buttons,
// the mouse and the full-screen tick reach it from here; closing.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "controlbarlooks.h"
#include "formfilelist.h"
#include "mymsgwidget.h"
#include "settings.h"
#include "windowchrome.h"
#include "windowframe.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QScreen>

void MainWindow::setupFrame()
{
    FrameWidgets widgets;
    widgets.title = ui->frameTitle;
    widgets.video = ui->widgetVideo;
    widgets.controlBar = ui->frameControl;
    widgets.controlBarHome = ui->verticalLayout_5;
    widgets.outer = ui->verticalLayout_3;
    widgets.panels = {ui->toolButton, ui->frameMap, ui->widget};
    widgets.layoutsToActivate = {ui->widgetVideo, ui->centralwidget, this};
    widgets.maximize = ui->pushButtonMaximize;
    widgets.fullScreen = ui->pushButtonFullScreen;
    mFrame = new WindowFrame(this, widgets, [this] { return mPlayState != 2; });
}

void MainWindow::placeAtStart()
{
    QString text;
    QString screenName;
    int maximized = 0;
    mSettings->readString(QStringLiteral("Setup"), QStringLiteral("windowRect"), text);
    mSettings->readString(QStringLiteral("Setup"), QStringLiteral("windowScreen"), screenName);
    mSettings->readInt(QStringLiteral("Setup"), QStringLiteral("windowMaximized"), maximized);
    // The place is kept for the screen it was on; elsewhere it means nothing.
    QScreen *screen = QGuiApplication::primaryScreen();
    QRect stored;
    for (QScreen *candidate : QGuiApplication::screens()) {
        if (!screenName.isEmpty() && candidate->name() == screenName) {
            screen = candidate;
            stored = rectFromText(text);
        }
    }
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    // A small screen takes from the picture what the window lacks, down to a
    // quarter of its size; the dials and the chart keep theirs.
    layout()->activate();
    const QSize lacking = (minimumSize() - available.size()).expandedTo(QSize(0, 0));
    if (lacking.width() > 0 || lacking.height() > 0) {
        const QSize picture = ui->frameVideo->minimumSize();
        ui->frameVideo->setMinimumSize((picture - lacking).expandedTo(picture / 2));
        for (QWidget *band : {ui->widgetVideo, ui->centralwidget, static_cast<QWidget *>(this)})
            band->layout()->activate();
    }
    bool tooSmall = false;
    const QRect normal = startGeometry(stored, size(), minimumSize(), available, &tooSmall);
    mFrame->place(tooSmall ? QRect(available.topLeft(), size().boundedTo(available.size())) : normal,
                  tooSmall || (maximized != 0 && stored.isValid()));
}

bool MainWindow::isFullScreenMode() const
{
    return mFrame->isFullScreen();
}

bool MainWindow::isMaximizedMode() const
{
    return mFrame->isMaximized();
}

// The buttons whose look and tip follow a state.
void MainWindow::showStateTexts()
{
    showPlayLook(ui->playButton, mPlayState == 0);
    showSoundLook(ui->pushButtonVolume, mIsMuted);
    mFrame->showStateTexts();
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
    if (mFileList && mFileList->isVisible())
        placeFileList();
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
