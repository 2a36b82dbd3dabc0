#include "droppedrecordings.h"
#include "gpsfixture.h"
#include "instancechannel.h"
#include "windowfixture.h"
#include "mainwindow.h"
#include "keyhelp.h"
#include "playbacksession.h"
#include "telemetrypanel.h"
#include "myframe.h"
#include "formfilelist.h"
#include "mapbridge.h"
#include "speedchart.h"

#include <qcustomplot.h>
#include "myslider.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QImageReader>
#include <QComboBox>
#include <QInputDialog>
#include <QMenu>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <QtTest>

#include <cmath>
#include <functional>
#include <future>

using namespace fixture;

using namespace windowtest;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controlBarOrder();
    void everyControlIsNamed();
    void totalTimeAndSliderRange_data();
    void totalTimeAndSliderRange();
    void sliderClickSeeksToTheClickedSecond();
    void sliderClickOnCurrentSecondDoesNotSeek();
    void pausedDragShowsEachStep();
    void rewindAndForward();
    void volumeAndMute();
    void mirrorButton();
    void spaceInEveryState();
    void spaceAndMWhateverHasFocus();
    void arrowKeysSeekWhilePaused();
    void upDownStepTheVolume();
    void positionSliderKeysSeek();
    void timeLabelsReadTheirTime();
    void playButton();
    void playButtonOnUnplayableFileStaysStopped();
    void dropAddsRecordings();
    void dropKeepsOrderAndStartsOnlyTheLastFile();
    void handOverOfAHugeFolderIsAnsweredAtOnce();
    void fileListButtonShowsRaisesHides();
    void stoppedWindowDropsLateFrames();
    void telemetryFollowsThePicture();
    void failedCheckShowsNoTelemetry();
    void keysWorkOnTheMapAndInTheList();
    void threeFilesPlayAsOneDrive();
    void timeZoneMenuAndSnapshotKey();
    void screenshot();

private:
    QString path(const QString &name) const { return mDir.filePath(name); }
    void openPaused(const QString &file);
    void press(Qt::Key key);

    QTemporaryDir mDir;
    std::unique_ptr<MainWindow> mWindow;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(mDir.isValid());
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    QVERIFY(initPlayback()); // as main() does, before any player
    AvSpec av;
    av.seconds = 8.0;
    av.width = 320;
    av.height = 180;
    av.fps = 25;
    av.gop = 25;
    QString error;
    QVERIFY2(makeAvClip(path(QStringLiteral("clip.mp4")), av, &error), qPrintable(error));
    av.seconds = 0.5;
    QVERIFY2(makeAvClip(path(QStringLiteral("short.mp4")), av, &error), qPrintable(error));
    QFile junk(path(QStringLiteral("junk.mp4")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    // Pictures of a codec nobody decodes: the file opens, then fails.
    QFile clip(path(QStringLiteral("clip.mp4")));
    QVERIFY(clip.open(QIODevice::ReadOnly));
    QFile unknown(path(QStringLiteral("unknowncodec.mp4")));
    QVERIFY(unknown.open(QIODevice::WriteOnly));
    unknown.write(clip.readAll().replace("avc1", "zzz1"));
    // The same clip with an authenticated GPS track, and with one whose check fails.
    DriveSpec drive;
    drive.records = 10;
    QVERIFY2(addGpsBox(path(QStringLiteral("clip.mp4")), path(QStringLiteral("gps.mp4")),
                       gpsPayloads(makeDrive(drive)), GpsBoxOptions(), &error),
             qPrintable(error));
    drive.check = CheckKind::Invalid;
    QVERIFY2(addGpsBox(path(QStringLiteral("clip.mp4")), path(QStringLiteral("forged.mp4")),
                       gpsPayloads(makeDrive(drive)), GpsBoxOptions(), &error),
             qPrintable(error));
    // A drive the camera cut into three files of two seconds.
    QCOMPARE(clips::makeDrive(mDir.path(), 3, 2, &error).size(), 3);
}

void TestMainWindow::init()
{
    // The page has its own test; the file list keeps its database and the
    // settings here, new for each test.
    const QString folder = path(QLatin1String(QTest::currentTestFunction()));
    QVERIFY(QDir().mkpath(folder));
    mWindow = makeWindow(folder);
    QVERIFY(mWindow);
}

void TestMainWindow::cleanup()
{
    closeWindow(mWindow);
}

void TestMainWindow::openPaused(const QString &file)
{
    QVERIFY(windowtest::openPaused(*mWindow, path(file)));
}

// Keys go where a user's keystrokes go: to the focused widget, else the window.
void TestMainWindow::press(Qt::Key key)
{
    QWidget *focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : mWindow.get(), key);
}

void TestMainWindow::controlBarOrder()
{
    QWidget *bar = child<QWidget>(*mWindow, "frameControl");
    QVector<QPair<int, QString>> visible;
    for (QWidget *w : bar->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(mWindow.get()))
            continue;
        if (!qobject_cast<QAbstractButton *>(w) && !qobject_cast<QSlider *>(w))
            continue;
        if (w->objectName() == QLatin1String("horizontalSlider"))
            continue; // the position row
        visible.append({w->mapTo(mWindow.get(), QPoint(0, 0)).x(), w->accessibleName()});
    }
    std::sort(visible.begin(), visible.end());
    QStringList names;
    for (const auto &entry : visible)
        names.append(entry.second);
    QCOMPARE(names, (QStringList{QStringLiteral("File list"), QStringLiteral("Sound"), QStringLiteral("Volume"),
                                 QStringLiteral("Stop"), QStringLiteral("Previous"), QStringLiteral("Play"),
                                 QStringLiteral("Next"), QStringLiteral("Mirror"), QStringLiteral("Full screen")}));
    QVERIFY(!child<QWidget>(*mWindow, "pushButtonRewind")->isVisible());
    QVERIFY(!child<QWidget>(*mWindow, "pushButtonForward")->isVisible());
    QVERIFY(!child<QWidget>(*mWindow, "pushButton")->isVisible());
    // On a large window the dial and the compass have their full size.
    mWindow->resize(1600, 1000);
    QTest::qWait(20);
    QCOMPARE(child<QWidget>(*mWindow, "widgetDashboard")->size(), QSize(250, 250));
    QCOMPARE(child<QWidget>(*mWindow, "widgetCompass")->size(), QSize(250, 250));
    QCOMPARE(child<QLabel>(*mWindow, "curtimelabel")->text(), QStringLiteral("00:00:00"));
}

void TestMainWindow::everyControlIsNamed()
{
    QSet<QString> names;
    for (QWidget *w : mWindow->findChildren<QWidget *>()) {
        // The window's own; the list and the popup are windows of their own.
        if (w->window() != mWindow.get() || (!qobject_cast<QAbstractButton *>(w) && !qobject_cast<QSlider *>(w)))
            continue;
        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        QVERIFY2(!w->toolTip().isEmpty(), qPrintable(w->objectName()));
        QVERIFY2(!names.contains(w->accessibleName()), qPrintable(w->accessibleName()));
        names.insert(w->accessibleName());
    }
    QVERIFY(names.size() >= 15);
    // The play button's name and tip follow its state: they say what a press does.
    auto *play = child<QPushButton>(*mWindow, "playButton");
    openPaused(QStringLiteral("clip.mp4"));
    mWindow->session()->play();
    QCOMPARE(play->accessibleName(), QStringLiteral("Pause"));
    QCOMPARE(play->toolTip(), QStringLiteral("Pause (Space)"));
}

void TestMainWindow::totalTimeAndSliderRange_data()
{
    QTest::addColumn<qint64>("uSec");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maximum");
    QTest::newRow("1:15:09") << qint64(4509500000) << QStringLiteral("01:15:09") << 4509;
    QTest::newRow("under a second") << qint64(999999) << QStringLiteral("00:00:00") << 0;
    QTest::newRow("101 hours") << qint64(363600) * 1000000 << QStringLiteral("01:00:00") << 363600;
}

void TestMainWindow::totalTimeAndSliderRange()
{
    QFETCH(qint64, uSec);
    QFETCH(QString, text);
    QFETCH(int, maximum);
    mWindow->slotTotalTimeChanged(uSec);
    auto *slider = child<QSlider>(*mWindow, "horizontalSlider");
    QCOMPARE(slider->minimum(), 0);
    QCOMPARE(slider->maximum(), maximum);
    QCOMPARE(child<QLabel>(*mWindow, "totaltimelabel")->text(), text);
}

void TestMainWindow::sliderClickSeeksToTheClickedSecond()
{
    auto *slider = child<QSlider>(*mWindow, "horizontalSlider");
    // Five seconds a pixel: x 500 is second 2500.
    slider->setFixedWidth(1000);
    QTest::qWait(20);
    mWindow->slotTotalTimeChanged(qint64(5000) * 1000000);
    QVERIFY(!mWindow->session()->seekWaiting());
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(500, slider->height() / 2));
    QVERIFY(mWindow->session()->seekWaiting());
    QCOMPARE(mWindow->session()->seekTarget(), qint64(2500000000));
    QCOMPARE(slider->value(), 2500);
}

void TestMainWindow::sliderClickOnCurrentSecondDoesNotSeek()
{
    auto *slider = child<QSlider>(*mWindow, "horizontalSlider");
    slider->setFixedWidth(1000);
    QTest::qWait(20);
    mWindow->slotTotalTimeChanged(qint64(5000) * 1000000);
    slider->setValue(2500);
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(500, slider->height() / 2));
    QVERIFY(!mWindow->session()->seekWaiting());
    QCOMPARE(slider->value(), 2500);
    // A pixel further is another second: that one seeks.
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(501, slider->height() / 2));
    QVERIFY(mWindow->session()->seekWaiting());
    QCOMPARE(mWindow->session()->seekTarget(), qint64(2505000000));
}

void TestMainWindow::pausedDragShowsEachStep()
{
    openPaused(QStringLiteral("clip.mp4"));
    auto *slider = child<QSlider>(*mWindow, "horizontalSlider");
    auto *label = child<QLabel>(*mWindow, "curtimelabel");
    QCOMPARE(slider->maximum(), 8);
    const int y = slider->height() / 2;
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, QPoint(sliderX(slider, 2), y));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::PausedDrag));
    QCOMPARE(label->text(), QStringLiteral("00:00:02"));
    QVERIFY(waitFor([&] { return qAbs(shownPts(*mWindow) - 2.0) < 0.05; }));
    for (int second : {3, 5, 4}) {
        QMouseEvent move(QEvent::MouseMove, QPointF(sliderX(slider, second), y), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(slider, &move);
        QCOMPARE(label->text(), QStringLiteral("00:00:0%1").arg(second));
        QVERIFY2(waitFor([&] { return qAbs(shownPts(*mWindow) - second) < 0.05; }),
                 qPrintable(QStringLiteral("step %1 shows %2").arg(second).arg(shownPts(*mWindow))));
    }
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(sliderX(slider, 4), y));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Paused));
    QCOMPARE(mWindow->session()->state(), PlaybackSession::Paused);
    QCOMPARE(slider->value(), 4);
    QTest::qWait(300);
    QVERIFY(qAbs(shownPts(*mWindow) - 4.0) < 0.05); // stays at the released place
}

void TestMainWindow::rewindAndForward()
{
    auto *rewind = child<QPushButton>(*mWindow, "pushButtonRewind");
    auto *forward = child<QPushButton>(*mWindow, "pushButtonForward");
    // Nothing while stopped or paused.
    rewind->click();
    forward->click();
    QVERIFY(!mWindow->session()->seekWaiting());
    openPaused(QStringLiteral("clip.mp4"));
    forward->click();
    QVERIFY(!mWindow->session()->seekWaiting());

    mWindow->session()->play();
    QVERIFY(waitFor([&] { return mWindow->session()->filePosition() > 1.0; }));
    // Back 5 s from about 1 s goes to the start.
    rewind->click();
    QCOMPARE(mWindow->session()->seekTarget(), qint64(0));
    // Let this one land: the next step counts from where the picture is.
    QVERIFY(waitFor([&] { return !mWindow->session()->seekWaiting(); }));
    QVERIFY(waitFor([&] { return mWindow->session()->filePosition() < 0.5; }));
    // Ahead 5 s from about 0 s.
    forward->click();
    QVERIFY(qAbs(mWindow->session()->seekTarget() - 5000000) < 600000);
    QVERIFY(waitFor([&] { return !mWindow->session()->seekWaiting(); }));
    QVERIFY(waitFor([&] { return mWindow->session()->filePosition() >= 5.0; }));
    // Ahead again would pass the end (8 s): playback stops.
    forward->click();
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Stopped));
    QCOMPARE(mWindow->session()->state(), PlaybackSession::Stopped);
}

void TestMainWindow::volumeAndMute()
{
    auto *sound = child<QPushButton>(*mWindow, "pushButtonVolume");
    auto *volume = child<myslider>(*mWindow, "horizontalSliderVolume");
    QCOMPARE(volume->value(), 100);
    sound->click();
    QCOMPARE(mWindow->session()->volume(), 0);
    QVERIFY(sound->styleSheet().contains(QLatin1String("SoundClose")));
    // Dragging while muted makes it audible at once, the button still shows muted.
    volume->setSliderDown(true);
    volume->setSliderPosition(40);
    volume->setSliderDown(false);
    QCOMPARE(mWindow->session()->volume(), 40);
    QVERIFY(sound->styleSheet().contains(QLatin1String("SoundClose")));
    sound->click();
    QCOMPARE(mWindow->session()->volume(), 40);
    QVERIFY(!sound->styleSheet().contains(QLatin1String("SoundClose")));
    // A click on the volume slider sets the value under the cursor.
    QTest::mouseClick(volume, Qt::LeftButton, Qt::NoModifier, QPoint(volume->width() / 4, volume->height() / 2));
    QCOMPARE(volume->value(), 25);
    QCOMPARE(mWindow->session()->volume(), 25);
    sound->click();
    QCOMPARE(mWindow->session()->volume(), 0);
    sound->click();
    QCOMPARE(mWindow->session()->volume(), 25);
}

void TestMainWindow::mirrorButton()
{
    auto *frame = child<MyFrame>(*mWindow, "frameVideo");
    QVERIFY(!frame->getMirror());
    child<QPushButton>(*mWindow, "pushButtonSnapshot")->click();
    QVERIFY(frame->getMirror());
    child<QPushButton>(*mWindow, "pushButtonSnapshot")->click();
    QVERIFY(!frame->getMirror());
}

void TestMainWindow::spaceInEveryState()
{
    QTest::keyClick(mWindow.get(), Qt::Key_Space);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Stopped)); // nothing
    openPaused(QStringLiteral("clip.mp4"));
    QTest::keyClick(mWindow.get(), Qt::Key_Space);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
    QTest::keyClick(mWindow.get(), Qt::Key_Space);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Paused));
    // While the position slider is held in a pause: nothing.
    auto *slider = child<QSlider>(*mWindow, "horizontalSlider");
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, QPoint(sliderX(slider, 3), slider->height() / 2));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::PausedDrag));
    QTest::keyClick(mWindow.get(), Qt::Key_Space);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::PausedDrag));
    QCOMPARE(mWindow->session()->state(), PlaybackSession::Paused);
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(sliderX(slider, 3), slider->height() / 2));
    // The panel's Space does the same.
    mWindow->slotDetKeySpace();
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
}

void TestMainWindow::spaceAndMWhateverHasFocus()
{
    openPaused(QStringLiteral("clip.mp4"));
    QApplication::setActiveWindow(mWindow.get());
    auto *sound = child<QPushButton>(*mWindow, "pushButtonVolume");
    mWindow->slotSliderClickedVolume(60);
    QTest::mouseClick(sound, Qt::LeftButton);
    QCOMPARE(mWindow->session()->volume(), 0);
    // After a click on the sound button Space still plays and pauses.
    press(Qt::Key_Space);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
    QCOMPARE(mWindow->session()->volume(), 0);
    // Holding Space does not flicker between play and pause.
    QKeyEvent held(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    QApplication::sendEvent(mWindow.get(), &held);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
    press(Qt::Key_Space);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Paused));
    // M is the sound button.
    QCOMPARE(sound->toolTip(), QStringLiteral("Unmute (M)"));
    press(Qt::Key_M);
    QCOMPARE(mWindow->session()->volume(), 60);
    QVERIFY(!sound->styleSheet().contains(QLatin1String("SoundClose")));
    press(Qt::Key_M);
    QCOMPARE(mWindow->session()->volume(), 0);
    QVERIFY(sound->styleSheet().contains(QLatin1String("SoundClose")));
}

void TestMainWindow::arrowKeysSeekWhilePaused()
{
    openPaused(QStringLiteral("clip.mp4"));
    auto *slider = child<QSlider>(*mWindow, "horizontalSlider");
    auto *label = child<QLabel>(*mWindow, "curtimelabel");
    // Whatever has the focus, the position slider included, the arrows step 5 s.
    QApplication::setActiveWindow(mWindow.get());
    slider->setFocus();
    QCOMPARE(QApplication::focusWidget(), slider);
    press(Qt::Key_Right);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Paused));
    QCOMPARE(slider->value(), 5);
    QCOMPARE(label->text(), QStringLiteral("00:00:05"));
    QVERIFY(waitFor([&] { return qAbs(shownPts(*mWindow) - 5.0) < 0.05; }));
    QVERIFY(waitFor([&] { return !mWindow->session()->seekWaiting(); }));
    // From second 2 back 5 s stops at the start.
    const int y = slider->height() / 2;
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(sliderX(slider, 2), y));
    QVERIFY(waitFor([&] { return qAbs(shownPts(*mWindow) - 2.0) < 0.05; }));
    QVERIFY(waitFor([&] { return !mWindow->session()->seekWaiting(); }));
    press(Qt::Key_Left);
    QCOMPARE(mWindow->session()->seekTarget(), qint64(0));
    QCOMPARE(slider->value(), 0);
    QCOMPARE(label->text(), QStringLiteral("00:00:00"));
    QVERIFY(waitFor([&] { return shownPts(*mWindow) < 0.05; }));
    QVERIFY(waitFor([&] { return !mWindow->session()->seekWaiting(); }));
    // Steps faster than the seeks add up: 7 s, back twice, is the start.
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(sliderX(slider, 7), y));
    QVERIFY(waitFor([&] { return qAbs(shownPts(*mWindow) - 7.0) < 0.05; }));
    QVERIFY(waitFor([&] { return !mWindow->session()->seekWaiting(); }));
    press(Qt::Key_Left);
    press(Qt::Key_Left);
    QCOMPARE(mWindow->session()->seekTarget(), qint64(0));
    QVERIFY(waitFor([&] { return shownPts(*mWindow) < 0.05; }));
    // Ahead past the end (8 s) stops, as the forward step does.
    press(Qt::Key_Right);
    QVERIFY(waitFor([&] { return !mWindow->session()->seekWaiting(); }));
    press(Qt::Key_Right);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Stopped));
    QCOMPARE(mWindow->session()->state(), PlaybackSession::Stopped);
}

void TestMainWindow::upDownStepTheVolume()
{
    auto *sound = child<QPushButton>(*mWindow, "pushButtonVolume");
    auto *volume = child<myslider>(*mWindow, "horizontalSliderVolume");
    QCOMPARE(volume->value(), 100);
    press(Qt::Key_Down);
    QCOMPARE(volume->value(), 95);
    QCOMPARE(mWindow->session()->volume(), 95);
    press(Qt::Key_Up);
    press(Qt::Key_Up);
    QCOMPARE(volume->value(), 100);
    QCOMPARE(mWindow->session()->volume(), 100);
    // While muted a step is heard at once, as a move of the slider is.
    sound->click();
    press(Qt::Key_Down);
    QCOMPARE(volume->value(), 95);
    QCOMPARE(mWindow->session()->volume(), 95);
    QVERIFY(sound->styleSheet().contains(QLatin1String("SoundClose")));
    sound->click();
    QCOMPARE(mWindow->session()->volume(), 95);
}

void TestMainWindow::positionSliderKeysSeek()
{
    auto *slider = child<QSlider>(*mWindow, "horizontalSlider");
    auto *label = child<QLabel>(*mWindow, "curtimelabel");
    QApplication::setActiveWindow(mWindow.get());
    slider->setFocus();
    // Stopped: there is no picture to move to, the handle stays.
    press(Qt::Key_End);
    QCOMPARE(slider->value(), 0);

    openPaused(QStringLiteral("clip.mp4"));
    slider->setFocus();
    const int y = slider->height() / 2;
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(sliderX(slider, 5), y));
    QVERIFY(waitFor([&] { return qAbs(shownPts(*mWindow) - 5.0) < 0.05; }));
    QVERIFY(waitFor([&] { return !mWindow->session()->seekWaiting(); }));
    press(Qt::Key_PageDown);
    QCOMPARE(slider->value(), 0);
    QCOMPARE(label->text(), QStringLiteral("00:00:00"));
    QVERIFY(waitFor([&] { return shownPts(*mWindow) < 0.05; })); // the picture followed the handle
    QVERIFY(waitFor([&] { return !mWindow->session()->seekWaiting(); }));
    press(Qt::Key_End);
    QCOMPARE(slider->value(), 8);
    QCOMPARE(label->text(), QStringLiteral("00:00:08"));
    QCOMPARE(mWindow->session()->seekTarget(), qint64(8000000));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Paused));
}

void TestMainWindow::timeLabelsReadTheirTime()
{
    auto nameOf = [&](const char *label) {
        return QAccessible::queryAccessibleInterface(child<QLabel>(*mWindow, label))->text(QAccessible::Name);
    };
    auto descriptionOf = [&](const char *label) {
        return QAccessible::queryAccessibleInterface(child<QLabel>(*mWindow, label))->text(QAccessible::Description);
    };
    openPaused(QStringLiteral("clip.mp4"));
    QCOMPARE(nameOf("totaltimelabel"), QStringLiteral("00:00:08"));
    QCOMPARE(descriptionOf("totaltimelabel"), QStringLiteral("Total time"));
    auto *slider = child<QSlider>(*mWindow, "horizontalSlider");
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(sliderX(slider, 3), slider->height() / 2));
    QCOMPARE(nameOf("curtimelabel"), QStringLiteral("00:00:03"));
    QCOMPARE(descriptionOf("curtimelabel"), QStringLiteral("Position time"));
    mWindow->session()->stop();
    QCOMPARE(nameOf("curtimelabel"), QStringLiteral("00:00:00"));
    QCOMPARE(nameOf("totaltimelabel"), QStringLiteral("00:00:00"));
}

void TestMainWindow::playButton()
{
    auto *play = child<QPushButton>(*mWindow, "playButton");
    play->click();
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Stopped)); // no file chosen
    mWindow->setFilePath(path(QStringLiteral("missing.mp4")));
    play->click();
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Stopped));
    mWindow->setFilePath(path(QStringLiteral("short.mp4")));
    play->click();
    QVERIFY(settled(*mWindow));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
    QVERIFY(play->styleSheet().contains(QLatin1String("Pause")));
    play->click();
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Paused));
    QVERIFY(play->styleSheet().contains(QLatin1String("PlayPress")));
    play->click();
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
    // The natural end: stopped, the total time stays, the last picture too.
    QVERIFY(waitFor([&] { return mWindow->playState() == PlaybackSession::Stopped; }));
    QCOMPARE(child<QLabel>(*mWindow, "curtimelabel")->text(), QStringLiteral("00:00:00"));
    QVERIFY(!child<MyFrame>(*mWindow, "frameVideo")->image().isNull());
    QVERIFY(play->styleSheet().contains(QLatin1String("PlayPress")));
}

void TestMainWindow::playButtonOnUnplayableFileStaysStopped()
{
    for (const char *name : {"junk.mp4", "unknowncodec.mp4"}) {
        mWindow->setFilePath(path(QLatin1String(name)));
        child<QPushButton>(*mWindow, "playButton")->click();
        QVERIFY(settled(*mWindow));
        QCOMPARE(mWindow->playState(), int(PlaybackSession::Stopped));
        QCOMPARE(mWindow->session()->state(), PlaybackSession::Failed);
        QTest::qWait(100); // whatever the player reported on its way
        QCOMPARE(child<QLabel>(*mWindow, "totaltimelabel")->text(), QStringLiteral("00:00:00"));
    }
    // And a good file afterwards plays.
    mWindow->setFilePath(path(QStringLiteral("short.mp4")));
    child<QPushButton>(*mWindow, "playButton")->click();
    QVERIFY(settled(*mWindow));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
}

void TestMainWindow::dropAddsRecordings()
{
    QDir(path(QStringLiteral("drop"))).mkpath(QStringLiteral("."));
    QFile::copy(path(QStringLiteral("short.mp4")), path(QStringLiteral("drop/clip1.MP4")));
    QFile notes(path(QStringLiteral("drop/notes.txt")));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();
    QFile::copy(path(QStringLiteral("short.mp4")), path(QStringLiteral("clip2.Mp4")));

    auto drop = [&](const QList<QUrl> &urls) { QVERIFY(dropUrls(mWindow.get(), urls)); };
    FormFileList *panel = mWindow->fileListPanel();
    // Recordings are read beside the window and listed when that is done.
    const auto settled = [&] { return waitFor([&] { return panel->pendingCount() == 0; }, 20000); };
    drop({QUrl::fromLocalFile(path(QStringLiteral("clip2.Mp4")))});
    QVERIFY(settled());
    QVERIFY(panel->files().isEmpty());
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Stopped));

    drop({QUrl::fromLocalFile(path(QStringLiteral("drop")))});
    QVERIFY(settled());
    QCOMPARE(panel->files(), QStringList{path(QStringLiteral("drop/clip1.MP4"))});
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Stopped)); // folders are only listed

    drop({QUrl::fromLocalFile(path(QStringLiteral("short.mp4")))});
    QVERIFY(settled());
    QCOMPARE(panel->files().size(), 2);
    QVERIFY(windowtest::settled(*mWindow));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing)); // a dropped file starts
    QCOMPARE(mWindow->filePath(), path(QStringLiteral("short.mp4")));

    // Anything but a list of files is refused at the door.
    QMimeData text;
    text.setText(QStringLiteral("hello"));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(mWindow.get(), &enter);
    QVERIFY(!enter.isAccepted());
}

void TestMainWindow::dropKeepsOrderAndStartsOnlyTheLastFile()
{
    QDir(path(QStringLiteral("order"))).mkpath(QStringLiteral("."));
    QFile::copy(path(QStringLiteral("short.mp4")), path(QStringLiteral("first.mp4")));
    QFile::copy(path(QStringLiteral("short.mp4")), path(QStringLiteral("order/inside.mp4")));
    QFile::copy(path(QStringLiteral("short.mp4")), path(QStringLiteral("last.mp4")));
    // Each opening reports the paused state once.
    int opened = 0;
    QObject counter;
    connect(mWindow->session()->player(), &VideoPlayer::sig_StateChanged, &counter, [&](VideoPlayer::PlayerState state) {
        if (state == VideoPlayer::Pause)
            ++opened;
    });
    QVERIFY(dropUrls(mWindow.get(), {QUrl::fromLocalFile(path(QStringLiteral("first.mp4"))),
                                      QUrl::fromLocalFile(path(QStringLiteral("order"))),
                                      QUrl::fromLocalFile(path(QStringLiteral("last.mp4")))}));
    FormFileList *panel = mWindow->fileListPanel();
    QVERIFY(waitFor([&] { return panel->pendingCount() == 0; }, 20000));
    QCOMPARE(panel->files(), (QStringList{path(QStringLiteral("first.mp4")), path(QStringLiteral("order/inside.mp4")),
                                          path(QStringLiteral("last.mp4"))}));
    QVERIFY(settled(*mWindow));
    QCOMPARE(opened, 1);
    QCOMPARE(mWindow->filePath(), path(QStringLiteral("last.mp4")));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
}

// A later launch naming a folder 20,000 times, too deep to walk whole, is
// answered at once, and so is the launch right after it: folders are
// walked beside the window, each once and within bounds.
void TestMainWindow::handOverOfAHugeFolderIsAnsweredAtOnce()
{
    const QString huge = path(QStringLiteral("huge"));
    QString deep = huge;
    for (int level = 0; level <= WalkBounds().depth; ++level)
        deep += QStringLiteral("/d");
    QVERIFY(QDir().mkpath(deep));
    QVERIFY(QFile::copy(path(QStringLiteral("short.mp4")), huge + QStringLiteral("/top.mp4")));
    QVERIFY(QFile::copy(path(QStringLiteral("short.mp4")), deep + QStringLiteral("/deep.mp4")));
    for (int i = 0; i < 300; ++i)
        QVERIFY(QFile(huge + QStringLiteral("/note%1.txt").arg(i)).open(QIODevice::WriteOnly));

    InstanceChannel channel(path(QStringLiteral("viewer.socket")));
    QCOMPARE(channel.claim({}), InstanceChannel::Role::Listening);
    connect(&channel, &InstanceChannel::sig_FilesReceived, mWindow.get(), &MainWindow::openFiles);
    channel.serve();
    const QString second = path(QStringLiteral("short.mp4"));
    // Both from one thread, one right after the other, while this one serves.
    auto launches = std::async(std::launch::async, [&] {
        const auto first = InstanceChannel(channel.name()).claim(QVector<QString>(20000, huge).toList());
        return std::make_pair(first, InstanceChannel(channel.name()).claim({second}));
    });
    QVERIFY(waitFor([&] { return launches.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 60000));
    const auto roles = launches.get();
    QCOMPARE(roles.first, InstanceChannel::Role::HandedOver);
    QCOMPARE(roles.second, InstanceChannel::Role::HandedOver);

    FormFileList *panel = mWindow->fileListPanel();
    QVERIFY(waitFor([&] { return panel->pendingCount() == 0 && panel->rowCount() == 2; }, 20000));
    QCOMPARE(panel->files(), (QStringList{huge + QStringLiteral("/top.mp4"), second}));
    QLabel *status = mWindow->findChild<QLabel *>(QStringLiteral("statusToast"));
    QVERIFY(status && status->text().contains(QLatin1String("Not all of the folder")));
}

void TestMainWindow::fileListButtonShowsRaisesHides()
{
    auto *button = child<QPushButton>(*mWindow, "pushButtonFilelist");
    QWidget *panel = mWindow->fileListPanel();
    QVERIFY(panel->isHidden());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(panel->isVisible());
    // The window is larger than the test screen: no room beside it, so the
    // list lies on the screen below the title bar (where it goes when there
    // is room: tst_filelistplacement).
    const QWidget *title = child<QWidget>(*mWindow, "frameTitle");
    const QRect titleBar(title->mapToGlobal(QPoint(0, 0)), title->size());
    QVERIFY(mWindow->screen()->availableGeometry().contains(panel->frameGeometry()));
    QVERIFY(!panel->frameGeometry().intersects(titleBar));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(panel->isHidden());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(panel->isVisible());
    // A click into the window first: the next button click raises instead of hiding.
    QApplication::setActiveWindow(mWindow.get());
    QTest::mouseClick(child<QWidget>(*mWindow, "widgetData"), Qt::LeftButton);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(panel->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(panel->isHidden());
}

void TestMainWindow::stoppedWindowDropsLateFrames()
{
    openPaused(QStringLiteral("clip.mp4"));
    auto *frame = child<MyFrame>(*mWindow, "frameVideo");
    QVERIFY(waitFor([&] { return !frame->image().isNull(); }));
    mWindow->session()->stop();
    QVERIFY(frame->image().isNull()); // black at once
    QImage late(16, 16, QImage::Format_RGB32);
    late.fill(Qt::white);
    mWindow->slotGetOneFrame(late);
    QVERIFY(frame->image().isNull());
}

void TestMainWindow::telemetryFollowsThePicture()
{
    QStringList calls;
    connect(mWindow.get(), &MainWindow::sig_MapCall, this, [&](const QString &call) { calls.append(call); });
    auto *latitude = child<QLabel>(*mWindow, "labelSpeed_7");
    auto *speed = child<QLabel>(*mWindow, "labelSpeed_5");
    QCPGraph *chart = mWindow->speedChart()->plot()->graph(0);
    const auto called = [&](const char *function) {
        return std::count_if(calls.begin(), calls.end(), [&](const QString &c) { return c.startsWith(QLatin1String(function)); });
    };

    // The track comes with the open: the map is cleared and the route drawn.
    openPaused(QStringLiteral("gps.mp4"));
    QVERIFY(waitFor([&] { return called("showarray(") == 1; }));
    QCOMPARE(calls.at(calls.size() - 2), QStringLiteral("mycleanOverlay()"));
    QVERIFY(calls.last().startsWith(QLatin1String("showarray(\"[121.5,")));

    // Paused, a tick shows second 0: the marker moves, the map stays put.
    QVERIFY(waitFor([&] { return latitude->text() == QStringLiteral("N:31.508333°"); }));
    QCOMPARE(speed->text(), QStringLiteral("37.04")); // 20 knots
    QVERIFY(called("showAddress(121.500000,31.508333)") >= 1);
    QCOMPARE(called("panToAddress("), 0);

    // A seek: the next tick rebuilds the chart's past, seconds 0 to 4, then 5.
    child<QSlider>(*mWindow, "horizontalSlider")->setFocus();
    QTest::mouseClick(child<QSlider>(*mWindow, "horizontalSlider"), Qt::LeftButton, Qt::NoModifier,
                      QPoint(sliderX(child<QSlider>(*mWindow, "horizontalSlider"), 5), 5));
    QVERIFY(waitFor([&] { return chart->dataCount() == 6 && chart->data()->at(5)->key == 5.0; }));
    QCOMPARE(chart->data()->at(0)->value, double(20.0f * 1.852f));
    // The paused seek takes the map to the marker once.
    QCOMPARE(called("panToAddress("), 1);

    // Paused and still, the tick rests; a seek wakes it and the panel
    // follows, to second 2 with its past.
    QTimer *tick = mWindow->session()->timer();
    QVERIFY(waitFor([&] { return !tick->isActive(); }));
    QTest::mouseClick(child<QSlider>(*mWindow, "horizontalSlider"), Qt::LeftButton, Qt::NoModifier,
                      QPoint(sliderX(child<QSlider>(*mWindow, "horizontalSlider"), 2), 5));
    QVERIFY(waitFor([&] { return chart->dataCount() == 3 && chart->data()->at(2)->key == 2.0; }));
    QCOMPARE(called("panToAddress("), 2);
    QVERIFY(waitFor([&] { return !tick->isActive(); }));

    // Playing, the map follows the marker; the labels and the chart move on.
    mWindow->session()->play();
    QVERIFY(waitFor([&] { return called("panToAddress(") >= 3; }));
    // Miles per hour while playing: the chart's past is redrawn in the new unit.
    mWindow->setSpeedInMph(true);
    QVERIFY(waitFor([&] { return chart->dataCount() > 0 && chart->data()->at(0)->value == double(20.0f * 0.6213712f * 1.852f); }));
    QVERIFY(waitFor([&] { return speed->text().toDouble() < 30.0 && speed->text().toDouble() > 15.0; }));

    // Stopped: dashes, as with nothing open.
    mWindow->session()->stop();
    QCOMPARE(latitude->text(), QStringLiteral("--.------"));
    QCOMPARE(speed->text(), QStringLiteral("---.--"));
    QCOMPARE(child<QLabel>(*mWindow, "labelDateTime")->text(), QString());
    QVERIFY(!mWindow->telemetryPanel()->showsCompassNeedle());
}

void TestMainWindow::failedCheckShowsNoTelemetry()
{
    QStringList calls;
    connect(mWindow.get(), &MainWindow::sig_MapCall, this, [&](const QString &call) { calls.append(call); });
    openPaused(QStringLiteral("forged.mp4"));
    mWindow->session()->play();
    QVERIFY(waitFor([&] { return mWindow->session()->filePosition() > 1.2; }));
    QVERIFY(mWindow->gpsData().track && !mWindow->gpsData().track->valid);
    // It says so instead of showing figures that look like data.
    QCOMPARE(child<QLabel>(*mWindow, "labelSpeed_7")->text(), QStringLiteral("--.------"));
    QCOMPARE(child<QLabel>(*mWindow, "labelSpeed_5")->text(), QStringLiteral("---.--"));
    QCOMPARE(child<QLabel>(*mWindow, "labelDateTime")->text(), QStringLiteral("No GPS in this recording"));
    QCOMPARE(mWindow->speedChart()->plot()->graph(0)->dataCount(), 0);
    QCOMPARE(calls, (QStringList{QStringLiteral("mycleanOverlay()"), QStringLiteral("mycleanOverlay()")})); // at the open and for the track
}

// A click on the map page or into the file list leaves the keyboard there:
// the window's keys still work, the arrows included.
void TestMainWindow::keysWorkOnTheMapAndInTheList()
{
#ifdef __SANITIZE_THREAD__
    // As for the page's own test: the web engine's threads are not
    // instrumented, and ThreadSanitizer reports their insides.
    QSKIP("the map's web engine under ThreadSanitizer");
#endif
    cleanup();
    mWindow = std::make_unique<MainWindow>(nullptr, MainWindow::MapView::Web);
    // The web engine's start waits for the first picture.
    QVERIFY(!mWindow->mapBridge()->view());
    qApp->installEventFilter(mWindow.get());
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
    openPaused(QStringLiteral("clip.mp4"));
    QVERIFY(waitFor([&] { return mWindow->mapBridge()->view() && mWindow->mapBridge()->view()->focusProxy(); }, 30000));
    QWebEngineView *map = qobject_cast<QWebEngineView *>(mWindow->mapBridge()->view());
    QVERIFY(map);
    QTest::keyClick(map->focusProxy(), Qt::Key_Right);
    QCOMPARE(mWindow->session()->seekTarget(), qint64(5000000));
    QTest::keyClick(map->focusProxy(), Qt::Key_M);
    QCOMPARE(mWindow->session()->volume(), 0);
    mWindow->fileListPanel()->show();
    QTest::keyClick(mWindow->fileListPanel(), Qt::Key_Left);
    QCOMPARE(mWindow->session()->seekTarget(), qint64(0));

    // The help lists every key and goes as it came; F and F11 switch full
    // screen from the map and from the list.
    QTest::keyClick(map->focusProxy(), Qt::Key_Question, Qt::ShiftModifier);
    auto *help = mWindow->findChild<KeyHelp *>();
    QVERIFY(help && help->isVisible());
    QCOMPARE(help->findChildren<QLabel *>().size(), 2 * PlaybackKeys::bindings().size());
    QTest::keyClick(mWindow->fileListPanel(), Qt::Key_Question, Qt::ShiftModifier);
    QVERIFY(!help->isVisible());
    QTest::keyClick(map->focusProxy(), Qt::Key_F);
    QVERIFY(mWindow->isFullScreenMode());
    QTest::keyClick(mWindow->fileListPanel(), Qt::Key_F11);
    QVERIFY(!mWindow->isFullScreenMode());

    // [ and ] step through the menu's speeds; . and , step one picture (25 a second).
    QTest::keyClick(map->focusProxy(), Qt::Key_BracketRight);
    QCOMPARE(mWindow->session()->speed(), 1.25);
    QTest::keyClick(mWindow->fileListPanel(), Qt::Key_BracketLeft);
    QTest::keyClick(mWindow->fileListPanel(), Qt::Key_BracketLeft);
    QCOMPARE(mWindow->session()->speed(), 0.75);
    VideoPlayer *player = mWindow->session()->player();
    QVERIFY(waitFor([&] { return !player->seekWaiting() && player->currentTime() < 0.01; }));
    QTest::keyClick(map->focusProxy(), Qt::Key_Period);
    QTest::keyClick(mWindow->fileListPanel(), Qt::Key_Period);
    QVERIFY(waitFor([&] { return !player->seekWaiting() && qAbs(player->currentTime() - 0.08) < 0.005; }));
    QTest::keyClick(map->focusProxy(), Qt::Key_Comma);
    QVERIFY(waitFor([&] { return !player->seekWaiting() && qAbs(player->currentTime() - 0.04) < 0.005; }));
}

void TestMainWindow::threeFilesPlayAsOneDrive()
{
    QStringList calls;
    connect(mWindow.get(), &MainWindow::sig_MapCall, this, [&](const QString &call) { calls.append(call); });
    const QStringList drive{path(QStringLiteral("drive0.mp4")), path(QStringLiteral("drive1.mp4")),
                            path(QStringLiteral("drive2.mp4"))};
    auto *slider = child<QSlider>(*mWindow, "horizontalSlider");
    auto *total = child<QLabel>(*mWindow, "totaltimelabel");

    // Named from outside, the first plays, opened before the list has read
    // it; its drive is read beside it: one timeline, one route.
    mWindow->openFiles(drive);
    QVERIFY(waitFor([&] { return mWindow->playState() == PlaybackSession::Playing; }));
    QVERIFY(waitFor([&] { return slider->maximum() == 6; }));
    QCOMPARE(total->text(), QStringLiteral("00:00:06"));
    // The route runs from the first file's first fix to the third's last.
    QVERIFY(std::count_if(calls.begin(), calls.end(), [](const QString &c) {
                return c.startsWith(QLatin1String("showarray(\"[121.5,")) && c.contains(QLatin1String(",31.525089"));
            }) == 1);

    // A click on the chart at second 5 lands in the third file, a second in.
    emit mWindow->telemetryPanel()->sig_SeekSecond(5);
    QCOMPARE(mWindow->filePath(), drive[2]);
    QVERIFY(waitFor([&] { return mWindow->session()->filePosition() >= 1.0; }));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));

    // Back to the start: the files follow each other by themselves and
    // playback stops only at the drive's end, where the handle shows it.
    emit mWindow->telemetryPanel()->sig_SeekSecond(1);
    QVERIFY(waitFor([&] { return mWindow->session()->state() == PlaybackSession::Stopped; }, 20000));
    QCOMPARE(mWindow->filePath(), drive[2]);
    // The route set apart what was played, growing to the whole drive.
    const QStringList played = calls.filter(QStringLiteral("showPlayed("));
    QVERIFY(played.size() >= 3);
    QCOMPARE(played.last(), QStringLiteral("showPlayed(6)"));
    for (int i = played.indexOf(QStringLiteral("showPlayed(2)")) + 1; i > 0 && i < played.size(); ++i)
        QVERIFY(played[i - 1] < played[i]);
    // The chart holds the drive's six records, the last one too, and no
    // fall to 0 after it.
    const QCPGraph *chart = mWindow->speedChart()->plot()->graph(0);
    QCOMPARE(chart->dataCount(), 6);
    QCOMPARE(chart->data()->at(5)->key, 5.0);
    for (int i = 0; i < chart->dataCount(); ++i)
        QVERIFY(chart->data()->at(i)->value > 0.0);

    // At the end, Space plays the drive again from its start.
    QTest::keyClick(mWindow.get(), Qt::Key_Space);
    QVERIFY(waitFor([&] { return mWindow->playState() == PlaybackSession::Playing; }));
    QCOMPARE(mWindow->filePath(), drive[0]);
    // Next and Prev inside it go to a file's start on the drive's timeline and play on.
    child<QPushButton>(*mWindow, "pushButtonNext")->click();
    QVERIFY(waitFor([&] { return mWindow->filePath() == drive[1] && slider->value() >= 2; }));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
    child<QPushButton>(*mWindow, "pushButtonPre")->click();
    QVERIFY(waitFor([&] { return mWindow->filePath() == drive[0] && mWindow->playState() == PlaybackSession::Playing; }));
    QCOMPARE(slider->maximum(), 6);

    // A later part opened by itself, paused, stands at its start on the drive.
    QVERIFY(windowtest::openPaused(*mWindow, drive[1]));
    QVERIFY(waitFor([&] { return mWindow->session()->inTrip() && slider->maximum() == 6; }));
    QCOMPARE(slider->value(), 2);
    QCOMPARE(child<QLabel>(*mWindow, "curtimelabel")->text(), QStringLiteral("00:00:02"));

    // Turned off, a file plays by itself.
    mWindow->setTrips(false);
    mWindow->slotOpenRecording(drive[0], true);
    QTest::qWait(500);
    QCOMPARE(slider->maximum(), 2);
}

// The chosen clock reaches the date label, sysConfig.ini and, through
// Ctrl+S, the picture's text; the status line says where it went.
void TestMainWindow::timeZoneMenuAndSnapshotKey()
{
    auto *date = child<QLabel>(*mWindow, "labelDateTime");
    openPaused(QStringLiteral("gps.mp4"));
    QVERIFY(waitFor([&] { return date->text() == QStringLiteral("2025/06/01 08:00:00 UTC"); }));

    QMenu *zones = nullptr;
    for (QMenu *menu : mWindow->setupMenu()->findChildren<QMenu *>()) {
        if (menu->title() == QStringLiteral("Time zone"))
            zones = menu;
    }
    QVERIFY(zones);
    QCOMPARE(zones->actions().size(), 3);
    QVERIFY(zones->actions().at(0)->isChecked()); // the camera's rule until chosen otherwise
    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        // The common offsets come first, then the rest: every quarter hour once.
        auto *box = dialog->findChild<QComboBox *>();
        QVERIFY(box);
        QVERIFY(box->findText(QStringLiteral("UTC+09:00")) < 15);
        QSet<QString> offsets;
        for (int i = 0; i < box->count(); ++i)
            offsets.insert(box->itemText(i));
        offsets.remove(QString()); // the line between them
        QCOMPARE(offsets.size(), (14 + 12) * 4 + 1);
        QCOMPARE(box->count(), offsets.size() + 1);
        dialog->setTextValue(QStringLiteral("UTC+05:30"));
        dialog->accept();
    });
    zones->actions().at(2)->trigger();
    QCOMPARE(date->text(), QStringLiteral("2025/06/01 13:30:00 +05:30"));
    QVERIFY(zones->actions().at(2)->isChecked());
    const QSettings stored(path(QStringLiteral("timeZoneMenuAndSnapshotKey/sysConfig.ini")), QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("Setup/TimeZone")).toString(), QStringLiteral("+05:30"));

    // Keys reach the window a user works in: the active one.
    mWindow->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(mWindow.get()));
    QTest::keyClick(mWindow.get(), Qt::Key_S, Qt::ControlModifier);
    QLabel *status = nullptr; // made at the first report
    QVERIFY2(waitFor([&] {
        status = mWindow->findChild<QLabel *>(QStringLiteral("statusToast"));
        return status && status->isVisible() && status->text().contains(QLatin1String(".png"));
    }, 30000), qPrintable(status ? status->text() : QStringLiteral("no status line")));
    const QString saved = path(QStringLiteral("gps_00-00-00.000.png"));
    QVERIFY2(status->text().contains(saved), qPrintable(status->text()));
    QCOMPARE(QImageReader(saved).text(QStringLiteral("DateTime")), QStringLiteral("2025-06-01T13:30:00+05:30"));
}

void TestMainWindow::screenshot()
{
    const QString out = qEnvironmentVariable("VELMORA_SCREENSHOT");
    if (out.isEmpty())
        QSKIP("set VELMORA_SCREENSHOT to a PNG path to take one");
    // The whole window as a user sees it, map page included.
    cleanup();
    mWindow = std::make_unique<MainWindow>(nullptr, MainWindow::MapView::Web);
    mWindow->resize(1280, 800);
    qApp->installEventFilter(mWindow.get());
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
    mWindow->slotOpenRecording(path(QStringLiteral("gps.mp4")), true);
    QTest::qWait(4000);
    QVERIFY(mWindow->grab().save(out));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
