#include "droppedrecordings.h"
#include "formfilelist.h"
#include "gpsfixture.h"
#include "keyhelp.h"
#include "mainwindow.h"
#include "myframe.h"
#include "mymsgwidget.h"
#include "speedchart.h"
#include "telemetrypanel.h"
#include "telemetrytimeline.h"
#include "windowfixture.h"
#include "windowchrome.h"
#include "watchdog.h"

#include <qcustomplot.h>

#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace fixture;
using namespace windowtest;

namespace {

QRect globalRect(const QWidget *w)
{
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

// The picture was converted for the surface: as large as it shows, not scaled up.
bool fillsSurface(const MyFrame *frame)
{
    const QImage image = frame->image();
    const QSize box = frame->size();
    return !image.isNull() && image.width() <= box.width() && image.height() <= box.height()
           && (image.width() >= box.width() - 1 || image.height() >= box.height() - 1);
}

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &global, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, target->mapFromGlobal(global), global,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// A drag with the left button as the user does it: press, two moves, release.
void drag(QWidget *target, const QPoint &from, const QPoint &by)
{
    const QPoint start = target->mapToGlobal(from);
    sendMouse(target, QEvent::MouseButtonPress, start, Qt::LeftButton);
    sendMouse(target, QEvent::MouseMove, start + by / 2, Qt::LeftButton);
    sendMouse(target, QEvent::MouseMove, start + by, Qt::LeftButton);
    sendMouse(target, QEvent::MouseButtonRelease, start + by, Qt::NoButton);
}

} // namespace

class TestMainWindowChrome : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void settingsComeBackAfterARestart();
    void storedLanguage_data();
    void storedLanguage();
    void storedVolume();
    void opensWithinTheScreen();
    void titleMenu();
    void openDialogIsReadable();
    void languageSwitchChangesEveryText();
    void unitSwitch();
    void edgesTitleBarAndMinimumSize();
    void fullScreenAndBack();
    void fullScreenControlBarHidesOnlyWhilePlaying();
    void keyHelpOverThePicture();

private:
    void start(const QByteArray &ini = QByteArray());
    void playDrive();
    QAction *action(const char *name) { return child<QAction>(mWindow.get(), name); }
    // Every point of the chart is the open track's speed of its second in that unit.
    bool chartHolds(bool mph) const
    {
        TelemetryTimeline timeline;
        timeline.setTrack(mWindow->gpsData().track, mWindow->gpsData().version);
        const QCPGraph *chart = mWindow->speedChart()->plot()->graph(0);
        for (int i = 0; i < chart->dataCount(); ++i) {
            const auto *point = chart->data()->at(i);
            if (point->value != double(timeline.at(qint64(point->key), mph, mWindow->telemetryPanel()->fixGpsData()).speed))
                return false;
        }
        return chart->dataCount() > 0;
    }
    QString stored(const QString &key) const
    {
        return QSettings(mFolder + QStringLiteral("/sysConfig.ini"), QSettings::IniFormat).value(key).toString();
    }

    QTemporaryDir mDir;
    QString mFolder;
    std::unique_ptr<MainWindow> mWindow;
};

void TestMainWindowChrome::initTestCase()
{
    QVERIFY(mDir.isValid());
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    QVERIFY(initPlayback()); // as main() does, before any player
    AvSpec av;
    av.seconds = 20.0; // plays on through the longest test on a busy machine
    av.width = 960; // larger than the surface in the window and in full screen
    av.height = 540;
    av.gop = 25;
    DriveSpec drive;
    drive.records = 20;
    QString error;
    QVERIFY2(makeAvClip(mDir.filePath(QStringLiteral("plain.mp4")), av, &error), qPrintable(error));
    QVERIFY2(addGpsBox(mDir.filePath(QStringLiteral("plain.mp4")), mDir.filePath(QStringLiteral("drive.mp4")),
                       gpsPayloads(makeDrive(drive)), GpsBoxOptions(), &error),
             qPrintable(error));
}

void TestMainWindowChrome::init()
{
    mFolder = mDir.filePath(QLatin1String(QTest::currentTestFunction()) + QLatin1Char('-')
                            + QLatin1String(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(mFolder));
}

void TestMainWindowChrome::cleanup()
{
    closeWindow(mWindow);
}

// A window as main() makes it, on the test's folder, with these settings.
void TestMainWindowChrome::start(const QByteArray &ini)
{
    cleanup();
    if (!ini.isEmpty()) {
        QFile file(mFolder + QStringLiteral("/sysConfig.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
    }
    mWindow = std::make_unique<MainWindow>(nullptr, MainWindow::MapView::None, mFolder);
    mWindow->setWindowFlags(Qt::FramelessWindowHint);
    mWindow->setGeometry(0, 0, 1280, 800);
    qApp->installEventFilter(mWindow.get());
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
}

void TestMainWindowChrome::playDrive()
{
    mWindow->slotOpenRecording(mDir.filePath(QStringLiteral("drive.mp4")), true);
    QVERIFY(settled(*mWindow));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
}

void TestMainWindowChrome::settingsComeBackAfterARestart()
{
    // No file: Japanese, km/h, sound on, the volume slider at its top.
    start();
    QCOMPARE(mWindow->language(), 2);
    QVERIFY(action("actionJapanese")->isChecked());
    QCOMPARE(child<QLabel>(mWindow.get(), "label_24")->text(), QStringLiteral("経度"));
    QVERIFY(action("actionKPH")->isChecked());
    QCOMPARE(child<QLabel>(mWindow.get(), "labelSpeedUint")->text(), QStringLiteral("km/h"));
    QCOMPARE(child<QSlider>(mWindow.get(), "horizontalSliderVolume")->value(), 100);
    QVERIFY(!child(mWindow.get(), "pushButtonVolume")->styleSheet().contains(QLatin1String("SoundClose")));
    QVERIFY(!QFile::exists(mFolder + QStringLiteral("/sysConfig.ini")));

    action("actionEnglise")->trigger();
    action("actionMPH")->trigger();
    mWindow->slotSliderClickedVolume(40);
    child<QPushButton>(mWindow.get(), "pushButtonVolume")->click();
    emit mWindow->fileListPanel()->sig_SaveBasePath(QStringLiteral("/media/card/"));
    mWindow->fileListPanel()->show();
    child<QPushButton>(mWindow.get(), "pushButtonClose")->click();
    QVERIFY(!mWindow->isVisible());
    QVERIFY(!mWindow->fileListPanel()->isVisible()); // nothing keeps the program running
    QCOMPARE(stored(QStringLiteral("Setup/volume")), QStringLiteral("40"));
    QCOMPARE(stored(QStringLiteral("Setup/Silent")), QStringLiteral("0"));
    QCOMPARE(stored(QStringLiteral("Setup/Unit")), QStringLiteral("1"));
    QCOMPARE(stored(QStringLiteral("menu/language")), QStringLiteral("1"));

    start();
    QCOMPARE(mWindow->language(), 1);
    QCOMPARE(child<QLabel>(mWindow.get(), "label_24")->text(), QStringLiteral("Longitude"));
    QVERIFY(action("actionMPH")->isChecked());
    QCOMPARE(child<QLabel>(mWindow.get(), "labelDashboardSpeedUnit")->text(), QStringLiteral("MPH"));
    QCOMPARE(mWindow->fileListPanel()->basePath(), QStringLiteral("/media/card/"));
    // Muted at start, whatever the volume: the slider keeps it for the unmute.
    auto *sound = child<QPushButton>(mWindow.get(), "pushButtonVolume");
    QVERIFY(sound->styleSheet().contains(QLatin1String("SoundClose")));
    QCOMPARE(sound->toolTip(), QStringLiteral("Unmute (M)"));
    QCOMPARE(mWindow->session()->volume(), 0);
    QCOMPARE(child<QSlider>(mWindow.get(), "horizontalSliderVolume")->value(), 40);
    sound->click();
    QCOMPARE(mWindow->session()->volume(), 40);
}

void TestMainWindowChrome::storedLanguage_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("longitude");
    QTest::newRow("Chinese") << QByteArray("[menu]\nlanguage=0\n") << 0 << QStringLiteral("经度");
    QTest::newRow("beyond the table") << QByteArray("[menu]\nlanguage=5\n") << 1 << QStringLiteral("Longitude");
    QTest::newRow("negative") << QByteArray("[menu]\nlanguage=-1\n") << 1 << QStringLiteral("Longitude");
}

void TestMainWindowChrome::storedLanguage()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, language);
    QFETCH(QString, longitude);
    start(ini);
    QCOMPARE(mWindow->language(), language);
    QCOMPARE(child<QLabel>(mWindow.get(), "label_24")->text(), longitude);
    QCOMPARE(action("actionEnglise")->isChecked(), language == 1);
}

// The stored volume is what the sound plays at from the start (and for the
// file opened next), held to the player's scale: above it the sound would
// be amplified, below 0 inverted.
void TestMainWindowChrome::storedVolume()
{
    const struct { const char *ini; int player; int slider; } cases[] = {
        {"[Setup]\nvolume=20\n", 20, 20},
        {"[Setup]\nvolume=1000\n", 128, 100},
        {"[Setup]\nvolume=-50\n", 0, 0},
        {"[Setup]\nvolume=20\nSilent=0\n", 0, 20},
    };
    for (const auto &c : cases) {
        start(c.ini);
        playDrive();
        QVERIFY2(mWindow->session()->volume() == c.player, c.ini);
        QVERIFY2(child<QSlider>(mWindow.get(), "horizontalSliderVolume")->value() == c.slider, c.ini);
    }
}

// The test screen (800x600) is smaller than the window's minimum: the
// picture gives up what it can, and the window opens maximised at the
// screen's corner as tall as the screen; at exit it says so, with its screen.
void TestMainWindowChrome::opensWithinTheScreen()
{
    start(QByteArray("[Setup]\nwindowRect=-5000,20,9000,9000\nwindowScreen=elsewhere\n"));
    mWindow->placeAtStart();
    const QRect available = mWindow->screen()->availableGeometry();
    QVERIFY(mWindow->isMaximizedMode());
    QCOMPARE(mWindow->frameGeometry().topLeft(), available.topLeft());
    QVERIFY2(mWindow->frameGeometry().height() <= available.height(), qPrintable(rectText(mWindow->frameGeometry())));
    child<QPushButton>(mWindow.get(), "pushButtonClose")->click();
    QCOMPARE(stored(QStringLiteral("Setup/windowMaximized")), QStringLiteral("1"));
    QCOMPARE(stored(QStringLiteral("Setup/windowScreen")), mWindow->screen()->name());
    QVERIFY(rectFromText(stored(QStringLiteral("Setup/windowRect"))).isValid());
}

void TestMainWindowChrome::titleMenu()
{
    start("[menu]\nlanguage=1\n");
    QCOMPARE(mWindow->windowTitle(), QStringLiteral("Velmora_viewer"));
    QMenu *menu = mWindow->setupMenu();
    QVERIFY(menu->styleSheet().startsWith(QLatin1String("QMenu{color: rgb(255, 255, 255);background-color: rgb(55, 58, 67);}")));
    const auto texts = [](const QList<QAction *> &actions) {
        QStringList list;
        for (const QAction *a : actions)
            list.append(a->isSeparator() ? QStringLiteral("--") : a->text());
        return list;
    };
    QCOMPARE(texts(menu->actions()),
             (QStringList{QStringLiteral("Setup"), QStringLiteral("Ver: V1.10-20260320"), QStringLiteral("--"),
                          QStringLiteral("Exit")}));
    QMenu *setup = menu->actions().first()->menu();
    QCOMPARE(texts(setup->actions()),
             (QStringList{QStringLiteral("Language"), QStringLiteral("Unit"), QStringLiteral("Time zone"),
                          QStringLiteral("Playback speed"), QStringLiteral("Play a drive as one")}));
    QCOMPARE(texts(setup->actions().at(2)->menu()->actions()),
             (QStringList{QStringLiteral("Camera time"), QStringLiteral("UTC"), QStringLiteral("Other offset…")}));
    QMenu *languages = setup->actions().at(0)->menu();
    // Chinese is chosen only through the settings: in the group, not in the menu.
    QCOMPARE(texts(languages->actions()), (QStringList{QStringLiteral("Japan"), QStringLiteral("English")}));
    QCOMPARE(action("actionchinese")->actionGroup(), action("actionEnglise")->actionGroup());
    QCOMPARE(texts(setup->actions().at(1)->menu()->actions()), (QStringList{QStringLiteral("km/h"), QStringLiteral("MPH")}));

    // A click on the title button opens the menu; the click after it closed is not lost.
    QWidget *opened = nullptr;
    QTimer::singleShot(0, this, [&] {
        opened = QApplication::activePopupWidget();
        if (opened)
            opened->close();
    });
    guarded("title button", [&] { QTest::mouseClick(child(mWindow.get(), "toolButton"), Qt::LeftButton); });
    QCOMPARE(opened, menu);
    auto *frame = child<MyFrame>(mWindow.get(), "frameVideo");
    QTest::mouseClick(child(mWindow.get(), "pushButtonSnapshot"), Qt::LeftButton);
    QVERIFY(frame->getMirror());

    menu->actions().last()->trigger(); // Exit
    QVERIFY(!mWindow->isVisible());
    QCOMPARE(stored(QStringLiteral("Setup/Silent")), QStringLiteral("1"));
}

// Ctrl+O's dialog opens over the window: none of the window's black reaches it.
void TestMainWindowChrome::openDialogIsReadable()
{
    start("[menu]\nlanguage=1\n");
    mWindow->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(mWindow.get()));
    QImage shown;
    QTimer::singleShot(0, this, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        shown = dialog->grab().toImage();
        dialog->close();
    });
    guarded("open dialog", [&] { QTest::keyClick(mWindow.get(), Qt::Key_O, Qt::ControlModifier); });
    QVERIFY(!shown.isNull());
    // Its mean colour: light, not the black it had from the window.
    QVERIFY(qGray(shown.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixel(0, 0)) > 128);
}

void TestMainWindowChrome::languageSwitchChangesEveryText()
{
    start("[menu]\nlanguage=1\n[Setup]\nUnit=1\n");
    QVERIFY(openPaused(*mWindow, mDir.filePath(QStringLiteral("drive.mp4"))));
    QTest::keyClick(mWindow.get(), Qt::Key_Right); // paused at second 5
    auto *sound = child<QPushButton>(mWindow.get(), "pushButtonVolume");
    sound->click();
    mWindow->messageWidget()->setMessage(mWindow->tr("File not exist !"));
    FormFileList *panel = mWindow->fileListPanel();

    const auto label = [&](const char *name) { return child<QLabel>(mWindow.get(), name)->text(); };
    const auto tip = [&](const char *name) { return child(mWindow.get(), name)->toolTip(); };
    const auto check = [&](const char *longitude, const char *play, const char *unmute, const char *stop,
                           const char *time, const char *setup, const char *fileList, const char *missing,
                           const char *back) {
        // At once: no turn of the event loop in between.
        QCOMPARE(label("label_24"), QString::fromUtf8(longitude));
        QCOMPARE(tip("playButton"), QString::fromUtf8(play));
        QCOMPARE(tip("pushButtonVolume"), QString::fromUtf8(unmute));
        QCOMPARE(child(mWindow.get(), "stopButton")->accessibleName(), QString::fromUtf8(stop));
        QCOMPARE(mWindow->speedChart()->plot()->xAxis->label(), QString::fromUtf8(time));
        QCOMPARE(mWindow->setupMenu()->actions().first()->text(), QString::fromUtf8(setup));
        QCOMPARE(child<QLabel>(panel, "label")->text(), QString::fromUtf8(fileList));
        QCOMPARE(mWindow->messageWidget()->message(), QString::fromUtf8(missing));
        // Qt's own dialogs follow.
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Back"), QString::fromUtf8(back));
        // What the window shows stays: the position, the unit.
        QCOMPARE(label("curtimelabel"), QStringLiteral("00:00:05"));
        QCOMPARE(label("labelSpeedUint"), QStringLiteral("MPH"));
        QCOMPARE(label("labelDashboardSpeedUnit"), QStringLiteral("MPH"));
    };
    // The status line's count of an addition, in each language's plural forms.
    const auto added = [](int count, int known) {
        AdditionTally tally;
        tally.added = count;
        tally.known = known;
        return tally.text();
    };
    mWindow->on_actionchinese_triggered();
    check("经度", "播放（空格键）", "取消静音（M）", "停止", "时间", "设置", "文件列表", "文件不存在！", "后退");
    QCOMPARE(added(12, 2), QStringLiteral("已将 12 个录像添加到列表（2 个已在列表中）"));
    QCOMPARE(stored(QStringLiteral("menu/language")), QStringLiteral("0"));
    action("actionJapanese")->trigger();
    check("経度", "再生（Space）", "ミュート解除（M）", "停止", "時間", "設定", "ファイルリスト", "ファイルが存在しません！", "戻る");
    QCOMPARE(added(1, 0), QStringLiteral("1 件の録画をリストに追加しました"));
    action("actionEnglise")->trigger();
    check("Longitude", "Play (Space)", "Unmute (M)", "Stop", "Time", "Setup", "Filelist", "File not exist !", "Back");
    QCOMPARE(added(1, 0), QStringLiteral("1 recording added to the list"));
    QCOMPARE(added(12, 1), QStringLiteral("12 recordings added to the list (1 already listed)"));
    QCOMPARE(added(0, 3), QStringLiteral("No recording added to the list (3 already listed)"));
    QCOMPARE(stored(QStringLiteral("menu/language")), QStringLiteral("1"));
}

void TestMainWindowChrome::unitSwitch()
{
    start("[menu]\nlanguage=1\n");
    QCPGraph *chart = mWindow->speedChart()->plot()->graph(0);
    playDrive();
    QVERIFY(waitFor([&] { return chart->dataCount() >= 2; }));
    QVERIFY(chartHolds(false));
    // Playing: both labels, the axis and the chart's past, from second 0, at once.
    action("actionMPH")->trigger();
    QCOMPARE(child<QLabel>(mWindow.get(), "labelSpeedUint")->text(), QStringLiteral("MPH"));
    QCOMPARE(child<QLabel>(mWindow.get(), "labelDashboardSpeedUnit")->text(), QStringLiteral("MPH"));
    QCOMPARE(mWindow->speedChart()->plot()->yAxis->label(), QStringLiteral("MPH"));
    QCOMPARE(chart->data()->at(0)->key, 0.0);
    QVERIFY(chartHolds(true));
    QCOMPARE(stored(QStringLiteral("Setup/Unit")), QStringLiteral("1"));

    // Stopped: the points of the finished playback stay, in the new unit.
    mWindow->session()->stop();
    const int points = chart->dataCount();
    action("actionKPH")->trigger();
    QCOMPARE(mWindow->speedChart()->plot()->yAxis->label(), QStringLiteral("km/h"));
    QCOMPARE(chart->dataCount(), points);
    QVERIFY(chartHolds(false));
    child<QPushButton>(mWindow.get(), "playButton")->click();
    QVERIFY(waitFor([&] { return chart->dataCount() > 0 && chartHolds(false); }));
}

void TestMainWindowChrome::edgesTitleBarAndMinimumSize()
{
    start("[menu]\nlanguage=1\n");
    MainWindow *w = mWindow.get();
    // Edges are 2 pixels deep, corners 4.
    QTest::mouseMove(w, QPoint(3, 10));
    QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseMove(w, QPoint(3, 3));
    QCOMPARE(w->cursor().shape(), Qt::SizeFDiagCursor);
    QTest::mouseMove(w, QPoint(1, 300));
    QCOMPARE(w->cursor().shape(), Qt::SizeHorCursor);

    // The top edge dragged down stops at the minimum height; the bottom stays.
    const QRect before = w->geometry();
    QTest::mouseMove(w, QPoint(600, 1));
    QCOMPARE(w->cursor().shape(), Qt::SizeVerCursor);
    drag(w->centralWidget(), QPoint(600, 1), QPoint(0, 300));
    QCOMPARE(w->geometry().bottom(), before.bottom());
    QCOMPARE(w->height(), w->minimumHeight());

    // The empty title bar and the telemetry labels move the window; the video band does not.
    QTest::mouseMove(w, QPoint(600, 400));
    QWidget *title = child(w, "frameTitle");
    const QPoint empty(title->width() / 2, title->height() / 2);
    QCOMPARE(w->childAt(title->mapTo(w, empty)), title);
    QPoint at = w->pos();
    drag(title, empty, QPoint(30, 20));
    QCOMPARE(w->pos(), at + QPoint(30, 20));
    drag(child(w, "label_24"), QPoint(5, 5), QPoint(-10, 5));
    QCOMPARE(w->pos(), at + QPoint(20, 25));
    at = w->pos();
    drag(child(w, "frameVideo"), QPoint(100, 100), QPoint(40, 40));
    QCOMPARE(w->pos(), at);

    // Double-clicks: only the empty title bar maximises and restores.
    const QRect normal = w->frameGeometry();
    QTest::mouseDClick(child(w, "label_24"), Qt::LeftButton);
    QTest::mouseDClick(child(w, "frameVideo"), Qt::LeftButton);
    QVERIFY(!w->isMaximizedMode());
    QTest::mouseDClick(title, Qt::LeftButton, Qt::NoModifier, empty);
    QVERIFY(w->isMaximizedMode());
    QCOMPARE(w->frameGeometry().topLeft(), w->screen()->availableGeometry().topLeft());
    QCOMPARE(child(w, "pushButtonMaximize")->toolTip(), QStringLiteral("Restore"));
    child<QPushButton>(w, "pushButtonMaximize")->click();
    QVERIFY(!w->isMaximizedMode());
    QCOMPARE(w->frameGeometry(), normal);

    // The smallest window fits a 1024x600 netbook and half a 1920 screen;
    // there, as on a large one, nothing overlaps and no figure is cut.
    const auto checkFits = [&](const char *when) {
        const QList<const char *> bands{"frameTitle", "frameVideo", "frameControl", "widget", "frameMap"};
        const QList<const char *> panelParts{"widgetDashboard", "frame", "widgetCompass", "label_16", "widgetChart"};
        for (const QList<const char *> &group : {bands, panelParts}) {
            for (const char *one : group) {
                QVERIFY2(w->geometry().contains(globalRect(child(w, one))), one);
                for (const char *other : group)
                    QVERIFY2(one == other || !globalRect(child(w, one)).intersects(globalRect(child(w, other))), when);
            }
        }
        for (const QLabel *label : child(w, "widget")->findChildren<QLabel *>()) {
            const bool whole = globalRect(child(w, "widget")).contains(globalRect(label))
                               && label->width() >= label->sizeHint().width() && label->height() >= label->sizeHint().height();
            QVERIFY2(!label->isVisible() || label->text().isEmpty() || whole, qPrintable(label->objectName()));
        }
    };
    w->resize(1, 1);
    QVERIFY(waitFor([&] { return w->size() == w->minimumSize(); }));
    QVERIFY2(w->width() <= 960 && w->height() <= 580, qPrintable(rectText(w->geometry())));
    const QRect picture = globalRect(child(w, "frameVideo"));
    QVERIFY(picture.width() >= 480 && picture.height() >= 270);
    checkFits("smallest");
    // Large, the dials have their full size and the chart takes the width.
    w->resize(1916, 1040);
    QVERIFY(waitFor([&] { return w->size() == QSize(1916, 1040); }));
    checkFits("large");
    QCOMPARE(child(w, "widgetDashboard")->size(), QSize(250, 250));
    QCOMPARE(child(w, "frame_2")->width(), child(w, "frame_2")->sizeHint().width());
    QVERIFY(globalRect(child(w, "widgetChart")).right() >= globalRect(child(w, "widget")).right() - 40);

    child<QPushButton>(w, "pushButtonMinimize")->click();
    QVERIFY(w->isMinimized());
}

void TestMainWindowChrome::fullScreenAndBack()
{
    start("[menu]\nlanguage=1\n");
    MainWindow *w = mWindow.get();
    auto *frame = child<MyFrame>(w, "frameVideo");
    QWidget *bar = child(w, "frameControl");
    const QRect before = w->geometry();
    w->slotOpenRecording(mDir.filePath(QStringLiteral("drive.mp4")), false);
    QVERIFY(waitFor([&] { return fillsSurface(frame); }));
    const QImage windowed = frame->image();
    auto *listButton = child<QPushButton>(w, "pushButtonFilelist");
    QWidget *list = w->fileListPanel();
    listButton->click();
    const QRect listBefore = list->geometry();

    child<QPushButton>(w, "pushButtonFullScreen")->click();
    const QRect screen = w->screen()->geometry();
    QCOMPARE(w->geometry(), screen.adjusted(-1, -1, 1, 1));
    // The list leaves the picture; asked for, it comes back clear of the bar.
    QVERIFY(list->isHidden());
    listButton->click();
    QVERIFY(list->isVisible());
    QVERIFY(!list->frameGeometry().intersects(globalRect(bar)));
    listButton->click();
    QVERIFY(list->isHidden());
    for (const char *hidden : {"frameTitle", "frameMap", "widget"})
        QVERIFY2(!child(w, hidden)->isVisible(), hidden);
    // The picture takes the screen; the bar floats over its bottom.
    QCOMPARE(globalRect(frame), screen);
    QCOMPARE(globalRect(bar), QRect(screen.left(), screen.bottom() + 1 - bar->height(), screen.width(), bar->height()));
    QCOMPARE(child(w, "pushButtonFullScreen")->toolTip(), QStringLiteral("Leave full screen (Esc)"));
    // Paused, the same picture is converted again for the larger surface, not scaled up.
    QVERIFY(waitFor([&] { return fillsSurface(frame) && frame->image().width() > windowed.width(); }));
    QCOMPARE(frame->image().text(QStringLiteral("pts")), windowed.text(QStringLiteral("pts")));
    QTest::mouseDClick(frame, Qt::LeftButton);
    QCOMPARE(w->geometry(), screen.adjusted(-1, -1, 1, 1));

    QTest::keyClick(w, Qt::Key_Escape);
    QCOMPARE(w->geometry(), before);
    for (const char *shown : {"frameTitle", "frameMap", "widget", "frameControl", "toolButton"})
        QVERIFY2(child(w, shown)->isVisible(), shown);
    QVERIFY(list->isHidden()); // hidden by the user in full screen
    // The bar is back in the layout, below the picture, which has its old size again.
    QVERIFY(waitFor([&] { return globalRect(bar).top() == globalRect(frame).bottom() + 1; }));
    QVERIFY(waitFor([&] { return fillsSurface(frame) && frame->image().width() == windowed.width(); }));
    QTest::keyClick(w, Qt::Key_Escape); // outside full screen: nothing
    QCOMPARE(w->geometry(), before);
    // Shown before full screen and left alone in it, the list is back where it was.
    listButton->click();
    QTest::keyClick(w, Qt::Key_F);
    QVERIFY(list->isHidden());
    QTest::keyClick(w, Qt::Key_Escape);
    QVERIFY(list->isVisible());
    QCOMPARE(list->geometry(), listBefore);
}

void TestMainWindowChrome::fullScreenControlBarHidesOnlyWhilePlaying()
{
    start("[menu]\nlanguage=1\n");
    MainWindow *w = mWindow.get();
    QWidget *bar = child(w, "frameControl");
    auto *timer = child<QTimer>(w, "fullShowTimer");
    child<QPushButton>(w, "pushButtonFullScreen")->click();
    const QRect screen = w->screen()->geometry();
    QCursor::setPos(screen.center());
    // Stopped: the bar stays, tick after tick.
    QSignalSpy ticks(timer, &QTimer::timeout);
    QVERIFY(waitFor([&] { return ticks.count() >= 8; }));
    QVERIFY(bar->isVisible());

    playDrive();
    QVERIFY(waitFor([&] { return bar->isHidden(); }));
    // The bottom strip of the screen brings it back, from the cursor alone.
    QCursor::setPos(screen.center().x(), screen.bottom() - 2);
    QVERIFY(waitFor([&] { return bar->isVisible(); }));
    // Over the bar it stays.
    ticks.clear();
    QVERIFY(waitFor([&] { return ticks.count() >= 8; }));
    QVERIFY(bar->isVisible());
    QCursor::setPos(screen.center());
    QVERIFY(waitFor([&] { return bar->isHidden(); }));
}

// The list of keys lies over the picture, clear of the control bar and of
// the status line, and goes with Esc or any click, wherever they are made.
void TestMainWindowChrome::keyHelpOverThePicture()
{
    start("[menu]\nlanguage=1\n");
    MainWindow *w = mWindow.get();
    w->slotOpenRecording(mDir.filePath(QStringLiteral("drive.mp4")), false);
    QWidget *panel = child(w, "widget");
    const auto press = [&](QWidget *at, Qt::Key key) { QTest::keyClick(at, key, key == Qt::Key_Question ? Qt::ShiftModifier : Qt::NoModifier); };
    const auto checkPlace = [&](const char *when) {
        auto *help = w->findChild<KeyHelp *>();
        QVERIFY2(help && help->isVisible(), when);
        const QRect shown = globalRect(help);
        QVERIFY2(globalRect(child(w, "frameVideo")).contains(shown), when);
        QVERIFY2(!shown.intersects(globalRect(child(w, "frameControl"))), when);
        const auto *status = w->findChild<QLabel *>(QStringLiteral("statusToast"));
        QVERIFY2(status && status->isVisible() && !shown.intersects(globalRect(status)), when);
        QVERIFY2(help->size() == help->sizeHint(), when); // no row cut off
    };
    for (const QSize size : {QSize(1280, 800), QSize(1, 1)}) {
        w->resize(size);
        QVERIFY(waitFor([&] { return w->size() == size.expandedTo(w->minimumSize()); }));
        press(panel, Qt::Key_Question);
        press(panel, Qt::Key_BracketRight); // the speed said on the status line
        checkPlace("windowed");
        // A long notice wraps within the picture, off the map.
        emit w->session()->sig_DecodeTooSlow(true);
        const auto *status = w->findChild<QLabel *>(QStringLiteral("statusToast"));
        QVERIFY(status->text().startsWith(QLatin1String("This computer decodes")));
        QVERIFY(globalRect(child(w, "frameVideo")).contains(globalRect(status)));
        // It follows the picture into full screen; Esc wherever the
        // keyboard is closes it, and full screen stays.
        press(panel, Qt::Key_F);
        press(panel, Qt::Key_BracketLeft);
        checkPlace("full screen");
        press(w->fileListPanel(), Qt::Key_Escape);
        QVERIFY(!w->findChild<KeyHelp *>()->isVisible());
        QVERIFY(w->isFullScreenMode());
        press(panel, Qt::Key_Escape);
        QVERIFY(!w->isFullScreenMode());
    }
    // A click anywhere, on the list itself too; the click still does its work.
    auto *help = w->findChild<KeyHelp *>();
    for (QWidget *at : {panel, static_cast<QWidget *>(help), child(w, "playButton")}) {
        press(panel, Qt::Key_Question);
        QVERIFY(help->isVisible());
        QTest::mouseClick(at, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QVERIFY(!help->isVisible());
    }
    QVERIFY(waitFor([&] { return w->playState() == PlaybackSession::Playing; }));
}

QTEST_MAIN(TestMainWindowChrome)
#include "tst_mainwindowchrome.moc"
