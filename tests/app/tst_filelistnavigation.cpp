#include "formfilelist.h"
#include "gpsfixture.h"
#include "mainwindow.h"
#include "myframe.h"
#include "mymsgwidget.h"
#include "sqloperate.h"
#include "speedchart.h"
#include "logcapture.h"
#include "windowfixture.h"
#include "watchdog.h"

#include <qcustomplot.h>

#include <QMimeData>
#include <QMutex>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace fixture;
using namespace windowtest;

namespace {

const QString kNextLine = QStringLiteral("file not exist , Press pushButtonNext");
const QString kPreLine = QStringLiteral("file not exist , Press pushButtonPre");

} // namespace

// The window's side of the file list: opening entries, previous and next
// over missing files, deletions, the popup.
class TestFileListNavigation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void stepsSkipMissingFilesBothWays();
    void walkOverOnlyMissingFilesEndsAfterOneRound();
    void doubleClickOnMissingFileLeavesPlaybackAlone();
    void previousAndNextDoNothingBeforeAnOpen();
    void deletingTheEntryThatPlaysStopsIt();
    void openingSetsTheChartRange();
    void unplayableDropLeavesPlaybackAlone();
    void spaceInThePanelPlaysAndPauses();
    void laterOpenSupersedesOneUnderWay();
    void filesFromOutsideAreListedAndTheFirstPlays();
    void screenshot();

private:
    QString clip(const QString &name) const { return mCase.filePath(name); }
    void listAll();
    void doubleClickRow(int row);
    void playRow(int row);
    QPushButton *button(const char *name) const { return child<QPushButton>(*mWindow, name); }
    QTableWidget *table() const { return mWindow->fileListPanel()->findChild<QTableWidget *>(); }

    QTemporaryDir mDir;
    QDir mCase; // fresh copies of the recordings for each test: tests delete them
    std::unique_ptr<MainWindow> mWindow;
};

void TestFileListNavigation::initTestCase()
{
    QVERIFY(mDir.isValid());
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    QVERIFY(initPlayback()); // as main() does, before any player
    AvSpec av;
    av.width = 160;
    av.height = 120;
    av.gop = 25;
    QString error;
    // Long enough to be still playing whatever a busy machine does meanwhile.
    const QList<QPair<const char *, double>> clips{{"one.mp4", 30.0}, {"two.mp4", 30.0}, {"three.mp4", 5.0}};
    for (const auto &c : clips) {
        av.seconds = c.second;
        QVERIFY2(makeAvClip(mDir.filePath(QLatin1String(c.first)), av, &error), qPrintable(error));
    }
    // A drive, so that the chart fills while it plays.
    DriveSpec drive;
    drive.records = 10;
    av.seconds = 8.0;
    QVERIFY2(makeAvClip(mDir.filePath(QStringLiteral("plain.mp4")), av, &error), qPrintable(error));
    QVERIFY2(addGpsBox(mDir.filePath(QStringLiteral("plain.mp4")), mDir.filePath(QStringLiteral("drive.mp4")),
                       gpsPayloads(makeDrive(drive)), GpsBoxOptions(), &error),
             qPrintable(error));
    QFile junk(mDir.filePath(QStringLiteral("junk.mp4")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
}

void TestFileListNavigation::init()
{
    mCase = QDir(mDir.filePath(QLatin1String(QTest::currentTestFunction())));
    QVERIFY(mCase.mkpath(QStringLiteral(".")));
    for (const char *name : {"one.mp4", "two.mp4", "three.mp4", "drive.mp4", "junk.mp4"})
        QVERIFY(QFile::copy(mDir.filePath(QLatin1String(name)), clip(QLatin1String(name))));
    mWindow = makeWindow(mCase.path());
    QVERIFY(mWindow);
}

void TestFileListNavigation::cleanup()
{
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    closeWindow(mWindow);
}

void TestFileListNavigation::listAll()
{
    FormFileList *panel = mWindow->fileListPanel();
    for (const char *name : {"one.mp4", "two.mp4", "three.mp4"})
        panel->addFile(clip(QLatin1String(name)), false);
    QVERIFY(waitFor([&] { return panel->pendingCount() == 0; }, 20000));
    QCOMPARE(panel->rowCount(), 3);
}

void TestFileListNavigation::doubleClickRow(int row)
{
    FormFileList *panel = mWindow->fileListPanel();
    if (panel->isHidden())
        button("pushButtonFilelist")->click();
    QVERIFY(QTest::qWaitForWindowExposed(panel));
    const QPoint at = table()->visualItemRect(table()->item(row, 0)).center();
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

void TestFileListNavigation::playRow(int row)
{
    doubleClickRow(row);
    QCOMPARE(mWindow->filePath(), mWindow->fileListPanel()->files().at(row));
    QVERIFY(settled(*mWindow));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
    QVERIFY(mWindow->fileListPanel()->isHidden());
}

void TestFileListNavigation::stepsSkipMissingFilesBothWays()
{
    listAll();
    playRow(0);
    QVERIFY(QFile::remove(clip(QStringLiteral("two.mp4"))));
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false\nvelmora.filelist.debug=true"));
    LogCapture log("velmora.filelist");
    button("pushButtonNext")->click();
    QCOMPARE(log.count(kNextLine), 1);
    QCOMPARE(mWindow->filePath(), clip(QStringLiteral("three.mp4")));
    QVERIFY(settled(*mWindow));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Paused)); // loaded, paused at its start
    QCOMPARE(table()->currentRow(), 2);
    button("pushButtonNext")->click(); // past the end: the first
    QCOMPARE(mWindow->filePath(), clip(QStringLiteral("one.mp4")));
    button("pushButtonPre")->click(); // before the first: the last
    QCOMPARE(mWindow->filePath(), clip(QStringLiteral("three.mp4")));
    button("pushButtonPre")->click();
    QCOMPARE(log.count(kPreLine), 1);
    QCOMPARE(mWindow->filePath(), clip(QStringLiteral("one.mp4")));
    QVERIFY(settled(*mWindow));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Paused));
    QVERIFY(mWindow->messageWidget()->isHidden());
}

void TestFileListNavigation::walkOverOnlyMissingFilesEndsAfterOneRound()
{
    listAll();
    playRow(0);
    const quint64 playing = mWindow->session()->serial();
    for (const char *name : {"one.mp4", "two.mp4", "three.mp4"})
        QVERIFY(QFile::remove(clip(QLatin1String(name))));
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false\nvelmora.filelist.debug=true"));
    LogCapture log("velmora.filelist");
    guarded("the step over three missing files", [&] {
        button("pushButtonNext")->click();
        return true;
    });
    QCOMPARE(log.count(kNextLine), 3); // each entry once, the playing one last
    QVERIFY(mWindow->messageWidget()->isVisible());
    QCOMPARE(mWindow->messageWidget()->message(), QStringLiteral("None of the listed recordings is there any more"));
    // What played (from its open file) plays on.
    QCOMPARE(mWindow->session()->serial(), playing);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
    // The next step starts a round of its own.
    mWindow->messageWidget()->hide();
    button("pushButtonPre")->click();
    QCOMPARE(log.count(kPreLine), 3);
    QVERIFY(mWindow->messageWidget()->isVisible());
}

void TestFileListNavigation::doubleClickOnMissingFileLeavesPlaybackAlone()
{
    listAll();
    playRow(0);
    const quint64 playing = mWindow->session()->serial();
    QVERIFY(QFile::remove(clip(QStringLiteral("three.mp4"))));
    doubleClickRow(2);
    // The popup names the file, over the window, which it does not block;
    // Escape closes it.
    mymsgwidget *popup = mWindow->messageWidget();
    QVERIFY(popup->isVisible());
    QCOMPARE(popup->message(), QStringLiteral("three.mp4: file not found"));
    QVERIFY(!popup->isModal() && popup->isWindow() && popup->parentWidget() == mWindow.get());
    QVERIFY((popup->frameGeometry().center() - mWindow->frameGeometry().center()).manhattanLength() < 10);
    QTest::keyClick(popup, Qt::Key_Escape);
    QVERIFY(!popup->isVisible());
    QCOMPARE(mWindow->session()->serial(), playing);
    QCOMPARE(mWindow->session()->player()->state(), VideoPlayer::Playing);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
}

void TestFileListNavigation::previousAndNextDoNothingBeforeAnOpen()
{
    listAll();
    const quint64 serial = mWindow->session()->serial();
    button("pushButtonNext")->click();
    button("pushButtonPre")->click();
    QCOMPARE(mWindow->session()->serial(), serial);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Stopped));
    QVERIFY(mWindow->filePath().isEmpty());
    QCOMPARE(table()->currentRow(), -1);
    QVERIFY(mWindow->messageWidget()->isHidden());
    // Once an entry was opened (here by a drop) they step.
    mWindow->fileListPanel()->addFile(clip(QStringLiteral("two.mp4")), true);
    QVERIFY(waitFor([&] { return mWindow->playState() == PlaybackSession::Playing; }, 20000));
    button("pushButtonNext")->click();
    QCOMPARE(mWindow->filePath(), clip(QStringLiteral("three.mp4")));
}

// Removing another entry leaves playback alone; removing the one that plays stops it.
void TestFileListNavigation::deletingTheEntryThatPlaysStopsIt()
{
    listAll();
    playRow(0);
    auto *frame = child<MyFrame>(*mWindow, "frameVideo");
    QVERIFY(waitFor([&] { return !frame->image().isNull(); }));
    auto *remove = child<QPushButton>(mWindow->fileListPanel(), "pushButtonDelete");
    table()->setCurrentCell(2, 0); // not the one playing
    remove->click();
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
    QCOMPARE(mWindow->fileListPanel()->files(), (QStringList{clip(QStringLiteral("one.mp4")), clip(QStringLiteral("two.mp4"))}));
    table()->setCurrentCell(0, 0);
    remove->click();
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Stopped));
    QCOMPARE(mWindow->session()->state(), PlaybackSession::Stopped);
    QVERIFY(frame->image().isNull());
}

void TestFileListNavigation::openingSetsTheChartRange()
{
    FormFileList *panel = mWindow->fileListPanel();
    panel->addFile(clip(QStringLiteral("drive.mp4")), false);
    panel->addFile(clip(QStringLiteral("three.mp4")), false);
    QVERIFY(waitFor([&] { return panel->pendingCount() == 0; }, 20000));
    QCPAxis *time = mWindow->speedChart()->plot()->xAxis;
    QCPGraph *speed = mWindow->speedChart()->plot()->graph(0);
    playRow(0);
    QCOMPARE(time->range(), QCPRange(0, 8));
    QVERIFY(waitFor([&] { return speed->dataCount() >= 2; }));
    button("pushButtonNext")->click();
    QCOMPARE(time->range(), QCPRange(0, 5));
    QCOMPARE(speed->dataCount(), 0);
    // Once played, an entry tells whether it has a track.
    QCOMPARE(panel->trackMark(0), 1);
    QVERIFY(waitFor([&] { return panel->trackMark(1) == 0; }));
}

void TestFileListNavigation::unplayableDropLeavesPlaybackAlone()
{
    listAll();
    playRow(1);
    const quint64 playing = mWindow->session()->serial();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(clip(QStringLiteral("junk.mp4")))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(mWindow.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(mWindow.get(), &drop);
    QVERIFY(waitFor([&] { return mWindow->messageWidget()->isVisible(); }, 20000));
    QCOMPARE(mWindow->messageWidget()->message(), QStringLiteral("junk.mp4: not a recording"));
    QCOMPARE(mWindow->session()->serial(), playing);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
    QCOMPARE(mWindow->filePath(), clip(QStringLiteral("two.mp4")));
    QCOMPARE(mWindow->fileListPanel()->rowCount(), 3);
}

void TestFileListNavigation::spaceInThePanelPlaysAndPauses()
{
    listAll();
    playRow(0);
    FormFileList *panel = mWindow->fileListPanel();
    QTest::keyClick(panel, Qt::Key_Space);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Paused));
    QTest::keyClick(panel, Qt::Key_Space);
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Playing));
}

void TestFileListNavigation::laterOpenSupersedesOneUnderWay()
{
    // A recording the list finished reading arrives while the first picture
    // of another is awaited: the later one wins, nothing of the earlier shows.
    listAll();
    FileListInfo third;
    QVERIFY(mWindow->fileListPanel()->database()->selectFileInfo(2, third));
    QList<quint64> shown; // the serials of the pictures the window was handed
    QList<PlaybackSession::State> states;
    QObject watch;
    connect(mWindow->session(), &PlaybackSession::sig_GetOneFrame, &watch, [&](const QImage &image) {
        shown.append(image.text(QStringLiteral("serial")).toULongLong());
    });
    connect(mWindow->session(), &PlaybackSession::sig_StateChanged, &watch, [&](PlaybackSession::State state) {
        states.append(state);
    });
    // A slow first picture: the earlier open is still under way.
    mWindow->session()->player()->setExtraDecodeTime(300);
    doubleClickRow(0);
    QCOMPARE(mWindow->session()->state(), PlaybackSession::Opening); // the click returned at once
    mWindow->session()->player()->setExtraDecodeTime(0);
    mWindow->slotSetFile(third, true);
    QVERIFY(waitFor([&] { return mWindow->filePath() == third.path && mWindow->playState() == PlaybackSession::Playing; }, 20000));
    QCOMPARE(states.count(PlaybackSession::Paused), 1);
    QVERIFY(!shown.isEmpty());
    for (quint64 serial : shown)
        QCOMPARE(serial, mWindow->session()->serial());
    QCOMPARE(mWindow->session()->fileLength() / 1000000, qint64(5));
}

// The command line and later launches: the files are listed in their order
// and the first plays, whatever its suffix; one that cannot be played is
// reported and left out.
void TestFileListNavigation::filesFromOutsideAreListedAndTheFirstPlays()
{
    FormFileList *panel = mWindow->fileListPanel();
    const QString two = clip(QStringLiteral("two.mp4"));
    const QString one = clip(QStringLiteral("one.mp4"));
    // A file named alone and unknown to the list opens before the list has
    // read it, and once only.
    int opens = 0;
    connect(mWindow->session(), &PlaybackSession::sig_OpenStarted, this, [&] { ++opens; });
    mWindow->openFiles({two, clip(QStringLiteral("junk.mp4")), one});
    QVERIFY(waitFor([&] { return panel->pendingCount() == 0 && mWindow->playState() == PlaybackSession::Playing; }, 20000));
    QCOMPARE(panel->files(), (QStringList{two, one}));
    QCOMPARE(mWindow->filePath(), two);
    QCOMPARE(opens, 1);
    QVERIFY(waitFor([&] { return mWindow->messageWidget()->isVisible(); }));
    QCOMPARE(mWindow->messageWidget()->message(), QStringLiteral("junk.mp4: not a recording"));

    // While it plays: the first new file plays next; one listed already stays once.
    const QString m4v = clip(QStringLiteral("three.m4v"));
    QVERIFY(QFile::copy(clip(QStringLiteral("three.mp4")), m4v));
    mWindow->openFiles({m4v, one});
    QVERIFY(waitFor([&] { return mWindow->filePath() == m4v && mWindow->playState() == PlaybackSession::Playing; }, 20000));
    QVERIFY(waitFor([&] { return panel->pendingCount() == 0; }, 20000));
    QCOMPARE(panel->files(), (QStringList{two, one, m4v}));
    QCOMPARE(mWindow->filePath(), m4v);

    // What cannot be played is said once, by the list, and nothing plays.
    mWindow->session()->stop();
    QVERIFY(waitFor([&] { return mWindow->playState() == PlaybackSession::Stopped; }));
    mWindow->messageWidget()->hide();
    const QString junk = clip(QStringLiteral("junk2.mp4"));
    QVERIFY(QFile::copy(clip(QStringLiteral("junk.mp4")), junk));
    mWindow->openFiles({junk});
    QVERIFY(waitFor([&] { return panel->pendingCount() == 0 && mWindow->messageWidget()->isVisible(); }, 20000));
    QTest::qWait(200);
    // Said twice, it would read twice.
    QCOMPARE(mWindow->messageWidget()->message(), QStringLiteral("junk2.mp4: not a recording"));
    QCOMPARE(mWindow->playState(), int(PlaybackSession::Stopped));
}

void TestFileListNavigation::screenshot()
{
    const QString out = qEnvironmentVariable("VELMORA_FILELIST_SCREENSHOT");
    if (out.isEmpty())
        QSKIP("set VELMORA_FILELIST_SCREENSHOT to a PNG path to take one");
    // The window with a recording playing and the list open beside it, as
    // they lie on the screen.
    FormFileList *panel = mWindow->fileListPanel();
    for (const char *name : {"drive.mp4", "one.mp4", "two.mp4", "three.mp4"})
        panel->addFile(clip(QLatin1String(name)), false);
    QVERIFY(waitFor([&] { return panel->pendingCount() == 0; }));
    playRow(0);
    panel->selectNextFile();
    mWindow->session()->play();
    button("pushButtonFilelist")->click();
    QTest::qWait(2500);
    const QRect both = mWindow->frameGeometry().united(panel->frameGeometry());
    QImage shot(both.size(), QImage::Format_RGB32);
    shot.fill(Qt::darkGray);
    QPainter painter(&shot);
    painter.drawPixmap(mWindow->frameGeometry().topLeft() - both.topLeft(), mWindow->grab());
    painter.drawPixmap(panel->frameGeometry().topLeft() - both.topLeft(), panel->grab());
    painter.end();
    QVERIFY(shot.save(out));
    // And the popup for a file that cannot be played.
    mWindow->fileListPanel()->addDropped({QUrl::fromLocalFile(clip(QStringLiteral("junk.mp4")))});
    QVERIFY(waitFor([&] { return mWindow->messageWidget()->isVisible(); }, 20000));
    QVERIFY(mWindow->messageWidget()->grab().save(QString(out).replace(QStringLiteral(".png"), QStringLiteral("-popup.png"))));
}

QTEST_MAIN(TestFileListNavigation)
#include "tst_filelistnavigation.moc"
