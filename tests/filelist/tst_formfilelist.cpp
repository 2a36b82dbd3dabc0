#include "droppedrecordings.h"
#include "files.h"
#include "formfilelist.h"
#include "gpsfixture.h"
#include "recordinglog.h"
#include "sqloperate.h"
#include "waitfor.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fixture;

namespace {

struct Announced
{
    QString path;
    bool play;
};

// Drags the URLs onto the widget and drops them; false when the drag was refused.
bool dropUrls(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    return true;
}

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &local, const QPoint &global)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, global, button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

class TestFormFileList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void lengthsSizesAndDates();
    void unplayableFilesAreNotListed();
    void failedInsertKeepsPanelAndStoreInStep();
    void nextAndPreviousWrapAround();
    void folderDropListsInOrderWithProgress();
    void droppedFilesStartOnlyTheLast();
    void statusLineSaysWhatAnAdditionCameTo();
    void samePathListedOnceUntilDeleted();
    void dialogChoice();
    void titleRowMovesThePanel();
    void buttonsAreNamed();

private:
    QString path(const QString &name) const { return mDir.filePath(name); }
    bool settled() { return waitFor([this] { return mPanel->pendingCount() == 0; }, 20000); }
    void addAndSettle(const QStringList &names);
    QStringList paths(const QStringList &names) const;
    QTableWidget *table() const { return mPanel->findChild<QTableWidget *>(QStringLiteral("tableWidget")); }

    QTemporaryDir mDir;
    std::unique_ptr<FormFileList> mPanel;
    QVector<Announced> mAnnounced;
    QStringList mCannotPlay;
    int mPanels = 0; // each panel gets its own connection name
};

void TestFormFileList::initTestCase()
{
    QVERIFY(mDir.isValid());
    // The program's main() routes FFmpeg's complaints about the junk files.
    installFfmpegLogHandler();
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    AvSpec av = avSpec(1.0, 64, 48);
    av.audioChannels = 0;
    QString error;
    QVERIFY2(makeAvClip(path(QStringLiteral("a.mp4")), av, &error), qPrintable(error));
    for (const char *copy : {"b.mp4", "c.mp4", "clip.Mp4"})
        QVERIFY(QFile::copy(path(QStringLiteral("a.mp4")), path(QLatin1String(copy))));
    // Long and small: one picture a second.
    av.width = 32;
    av.height = 32;
    av.fps = 1;
    for (int seconds : {3725, 6005}) {
        av.seconds = seconds;
        QVERIFY2(makeAvClip(path(QStringLiteral("h%1.mp4").arg(seconds)), av, &error), qPrintable(error));
    }
    // Sound only: readable, but nothing to show.
    AvSpec tone;
    tone.video = false;
    tone.audioChannels = 1;
    tone.seconds = 1.0;
    QVERIFY2(makeAvClip(path(QStringLiteral("tone.wav")), tone, &error), qPrintable(error));
    QVERIFY(writeBytes(path(QStringLiteral("junk.mp4")), QByteArray(4096, 'x')));
    // Pictures of a codec nobody decodes.
    QVERIFY(writeBytes(path(QStringLiteral("unknowncodec.mp4")),
                       readBytes(path(QStringLiteral("a.mp4"))).replace("avc1", "zzz1")));
}

void TestFormFileList::init()
{
    mAnnounced.clear();
    mCannotPlay.clear();
    mPanel = std::make_unique<FormFileList>(nullptr, mDir.path(), QStringLiteral("panel %1").arg(++mPanels));
    connect(mPanel.get(), &FormFileList::sig_SetFile, this,
            [this](const FileListInfo &info, bool play) { mAnnounced.append({info.path, play}); });
    connect(mPanel.get(), &FormFileList::sig_CannotPlay, this, [this](const QString &p, ProbeProblem) { mCannotPlay.append(p); });
}

void TestFormFileList::cleanup()
{
    mPanel.reset();
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
}

QStringList TestFormFileList::paths(const QStringList &names) const
{
    QStringList full;
    for (const QString &name : names)
        full.append(path(name));
    return full;
}

void TestFormFileList::addAndSettle(const QStringList &names)
{
    for (const QString &name : names)
        mPanel->addFile(path(name), false);
    QVERIFY(settled());
}

void TestFormFileList::lengthsSizesAndDates()
{
    addAndSettle({QStringLiteral("h3725.mp4"), QStringLiteral("h6005.mp4")});
    QCOMPARE(table()->item(0, 0)->text(), QStringLiteral("h3725.mp4"));
    QCOMPARE(table()->item(0, 1)->text(), QStringLiteral("01:02:05"));
    QCOMPARE(table()->item(1, 1)->text(), QStringLiteral("01:40:05"));
    QCOMPARE(table()->item(1, 1)->textAlignment(), int(Qt::AlignRight | Qt::AlignVCenter));
    FileListInfo stored;
    QVERIFY(mPanel->database()->selectFileInfo(0, stored));
    QCOMPARE(stored.num, 0);
    QCOMPARE(stored.name, QStringLiteral("h3725.mp4"));
    QCOMPARE(stored.path, path(QStringLiteral("h3725.mp4")));
    QCOMPARE(stored.duration, QStringLiteral("01:02:05"));
    QCOMPARE(stored.durationInt, 3725);
    QCOMPARE(stored.resolution, QStringLiteral("32x32"));
    QCOMPARE(stored.size, sizeText(QFileInfo(stored.path).size()));
    QVERIFY2(QDateTime::fromString(stored.date, QStringLiteral("yyyy-MM-dd hh:mm:ss")).isValid(),
             qPrintable(stored.date));
    QVERIFY(mPanel->database()->selectFileInfo(1, stored));
    QCOMPARE(stored.num, 1);
    QCOMPARE(stored.durationInt, 6005);

    // The texts on their own.
    QCOMPARE(durationText(0), QStringLiteral("00:00"));
    QCOMPARE(durationText(65), QStringLiteral("01:05"));
    QCOMPARE(durationText(3599), QStringLiteral("59:59"));
    QCOMPARE(durationText(10800), QStringLiteral("03:00:00"));
    QCOMPARE(durationText(360000), QStringLiteral("100:00:00"));
    QCOMPARE(sizeText(47500000), QStringLiteral("45.3"));
    QCOMPARE(sizeText(0), QStringLiteral("0.0"));
    QCOMPARE(sizeText(qint64(5) << 30), QStringLiteral("5120.0"));
}

void TestFormFileList::unplayableFilesAreNotListed()
{
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false\nvelmora.filelist.debug=true"));
    for (int i = 0; i < 5; ++i)
        QTest::ignoreMessage(QtDebugMsg, "get File Property failed!");
    QTest::ignoreMessage(QtDebugMsg, "insert success1");
    // A FIFO (the add dialog offers them) is never opened: its reader would
    // wait for a writer for good. Should one wait, a writer lets it go.
    const QByteArray fifo = QFile::encodeName(path(QStringLiteral("pipe.mp4")));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    const auto release = qScopeGuard([&] { ::close(::open(fifo.constData(), O_WRONLY | O_NONBLOCK)); });
    mPanel->addFile(path(QStringLiteral("junk.mp4")), true);
    mPanel->addFile(path(QStringLiteral("tone.wav")), true);
    mPanel->addFile(path(QStringLiteral("unknowncodec.mp4")), true);
    mPanel->addFile(path(QStringLiteral("gone.mp4")), true);
    mPanel->addFile(path(QStringLiteral("pipe.mp4")), true);
    mPanel->addFile(path(QStringLiteral("a.mp4")), false);
    QVERIFY(settled());
    QCOMPARE(mCannotPlay, paths({QStringLiteral("junk.mp4"), QStringLiteral("tone.wav"),
                                 QStringLiteral("unknowncodec.mp4"), QStringLiteral("gone.mp4"),
                                 QStringLiteral("pipe.mp4")}));
    QVERIFY(mAnnounced.isEmpty());
    // What is listed is what is stored, position for position.
    QCOMPARE(mPanel->files(), paths({QStringLiteral("a.mp4")}));
    QCOMPARE(mPanel->database()->rowCount(), 1);
    FileListInfo stored;
    QVERIFY(mPanel->database()->selectFileInfo(0, stored));
    QCOMPARE(stored.num, 0);
    QCOMPARE(stored.name, QStringLiteral("a.mp4"));
}

void TestFormFileList::failedInsertKeepsPanelAndStoreInStep()
{
    // The store refuses one recording, as a full disk would.
    QSqlQuery refuse(QSqlDatabase::database(mPanel->database()->connectionName()));
    QVERIFY2(refuse.exec(QStringLiteral("create trigger refuse before insert on FileList when new.name = 'b.mp4' "
                                        "begin select raise(abort, 'refused'); end")),
             qPrintable(refuse.lastError().text()));
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false\nvelmora.filelist.debug=true"));
    QTest::ignoreMessage(QtDebugMsg, "insert failed1");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^row removed again:.*b\\.mp4")));
    addAndSettle({QStringLiteral("a.mp4"), QStringLiteral("b.mp4"), QStringLiteral("c.mp4")});
    QCOMPARE(mPanel->files(), paths({QStringLiteral("a.mp4"), QStringLiteral("c.mp4")}));
    QCOMPARE(mPanel->database()->rowCount(), 2);
    // Every row plays its own recording.
    for (int row = 0; row < table()->rowCount(); ++row) {
        QMetaObject::invokeMethod(mPanel.get(), "on_tableWidget_doubleClicked",
                                  Q_ARG(QModelIndex, table()->model()->index(row, 0)));
        QCOMPARE(mAnnounced.last().path, mPanel->files().at(row));
    }
}

// Stepping only loads: nothing with no row, the one row again with one,
// round the ends with more.
void TestFormFileList::nextAndPreviousWrapAround()
{
    mPanel->selectNextFile();
    mPanel->selectPreviousFile();
    QVERIFY(mAnnounced.isEmpty());
    addAndSettle({QStringLiteral("a.mp4")});
    mPanel->selectNextFile();
    mPanel->selectPreviousFile();
    QCOMPARE(mAnnounced.size(), 2);
    QCOMPARE(mAnnounced.last().path, path(QStringLiteral("a.mp4")));

    addAndSettle({QStringLiteral("b.mp4"), QStringLiteral("c.mp4")});
    table()->setCurrentCell(-1, -1);
    QStringList seen;
    for (bool next : {true, true, true, true, false, false, false}) {
        next ? mPanel->selectNextFile() : mPanel->selectPreviousFile();
        QVERIFY(!mAnnounced.last().play);
        QCOMPARE(mAnnounced.last().path, mPanel->files().at(table()->currentRow()));
        seen.append(QFileInfo(mAnnounced.last().path).fileName());
    }
    QCOMPARE(seen, (QStringList{"a.mp4", "b.mp4", "c.mp4", "a.mp4", "c.mp4", "b.mp4", "a.mp4"}));
    // With nothing current, previous starts at the end.
    table()->setCurrentCell(-1, -1);
    mPanel->selectPreviousFile();
    QCOMPARE(mAnnounced.last().path, path(QStringLiteral("c.mp4")));
}

void TestFormFileList::folderDropListsInOrderWithProgress()
{
    // A card: recordings in nested folders, long ones (slower to read)
    // between short ones, any letter case, things that are not recordings.
    QDir card(path(QStringLiteral("card")));
    QVERIFY(card.mkpath(QStringLiteral("DCIM/100/front")));
    QVERIFY(card.mkpath(QStringLiteral("DCIM/101")));
    const QStringList copies{QStringLiteral("DCIM/100/front/F001.MP4"), QStringLiteral("DCIM/100/front/F002.mp4"),
                             QStringLiteral("DCIM/100/R001.mp4"),      QStringLiteral("DCIM/101/R002.MOV"),
                             QStringLiteral("DCIM/101/x.Mp4"),         QStringLiteral("top.mp4")};
    for (int i = 0; i < copies.size(); ++i) {
        const QString from = path(i % 2 ? QStringLiteral("a.mp4") : QStringLiteral("h3725.mp4"));
        QVERIFY(QFile::copy(from, card.filePath(copies.at(i))));
    }
    QVERIFY(QFile::copy(path(QStringLiteral("tone.wav")), card.filePath(QStringLiteral("DCIM/101/tone.WAV"))));
    QVERIFY(QFile::copy(path(QStringLiteral("junk.mp4")), card.filePath(QStringLiteral("DCIM/junk.mp4"))));
    QFile notes(card.filePath(QStringLiteral("notes.txt")));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();

    const QList<QUrl> drop{QUrl::fromLocalFile(card.path())};
    const QStringList walk = collectRecordings(droppedPaths(drop), NamedBy::Drop).paths;
    QCOMPARE(walk.size(), copies.size() + 2);
    QVERIFY(dropUrls(mPanel.get(), drop));
    auto *progress = mPanel->findChild<QProgressBar *>(QStringLiteral("progressBarAdding"));
    QVERIFY(waitFor([&] { return !progress->isHidden(); }));
    QCOMPARE(progress->maximum(), walk.size());
    QVERIFY(settled());
    QVERIFY(progress->isHidden());

    QStringList expected = walk;
    expected.erase(std::remove_if(expected.begin(), expected.end(),
                                  [](const QString &p) {
                                      return p.endsWith(QLatin1String("tone.WAV")) || p.endsWith(QLatin1String("junk.mp4"));
                                  }),
                   expected.end());
    QCOMPARE(mPanel->files(), expected);
    QCOMPARE(mCannotPlay.size(), 2);
    QVERIFY(mAnnounced.isEmpty()); // folders are only listed
    for (int row = 0; row < expected.size(); ++row) {
        FileListInfo stored;
        QVERIFY(mPanel->database()->selectFileInfo(row, stored));
        QCOMPARE(stored.path, expected.at(row));
        QCOMPARE(stored.num, row);
    }
}

void TestFormFileList::droppedFilesStartOnlyTheLast()
{
    // A dropped file's suffix must be all lower or all upper case.
    QVERIFY(dropUrls(mPanel.get(), {QUrl::fromLocalFile(path(QStringLiteral("a.mp4"))),
                                    QUrl::fromLocalFile(path(QStringLiteral("clip.Mp4"))),
                                    QUrl::fromLocalFile(path(QStringLiteral("b.mp4")))}));
    QVERIFY(settled());
    QCOMPARE(mPanel->files(), paths({QStringLiteral("a.mp4"), QStringLiteral("b.mp4")}));
    QCOMPARE(mAnnounced.size(), 1);
    QCOMPARE(mAnnounced.first().path, path(QStringLiteral("b.mp4")));
    QVERIFY(mAnnounced.first().play);
    QCOMPARE(table()->currentRow(), 1);

    QMimeData text;
    text.setText(QStringLiteral("a.mp4"));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(mPanel.get(), &enter);
    QVERIFY(!enter.isAccepted());
}

// With the list closed nothing else shows what an addition came to; a lone
// recording that starts shows its picture, the open list its rows.
void TestFormFileList::statusLineSaysWhatAnAdditionCameTo()
{
    QSignalSpy status(mPanel.get(), &FormFileList::sig_Status);
    QDir tally(path(QStringLiteral("tally")));
    QVERIFY(tally.mkpath(QStringLiteral(".")));
    for (const char *name : {"1.mp4", "2.mp4", "3.mp4"})
        QVERIFY(QFile::copy(path(QStringLiteral("a.mp4")), tally.filePath(QLatin1String(name))));
    QVERIFY(QFile::copy(path(QStringLiteral("junk.mp4")), tally.filePath(QStringLiteral("junk.mp4"))));
    addAndSettle({QStringLiteral("b.mp4")});
    QCOMPARE(status.count(), 0); // added on its own, by the program

    mPanel->addOpened({tally.path(), path(QStringLiteral("b.mp4")), tally.path()});
    QVERIFY(settled());
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(),
             QStringLiteral("3 recording(s) added to the list (1 could not be played, 1 already listed)"));
    QCOMPARE(mAnnounced.size(), 1); // the file named starts

    mPanel->addDropped({QUrl::fromLocalFile(path(QStringLiteral("c.mp4")))});
    QVERIFY(settled());
    QCOMPARE(mAnnounced.size(), 2);
    mPanel->show();
    mPanel->addDropped({QUrl::fromLocalFile(path(QStringLiteral("h3725.mp4"))), QUrl::fromLocalFile(tally.path())});
    QVERIFY(settled());
    QCOMPARE(mPanel->rowCount(), 6);
    QCOMPARE(status.count(), 1);
}

// A path is listed once: named again while it is read or after, its entry
// plays instead; deleted, it can be added again. Panel and store stay in step.
void TestFormFileList::samePathListedOnceUntilDeleted()
{
    mPanel->addFile(path(QStringLiteral("a.mp4")), false);
    mPanel->addFile(path(QStringLiteral("b.mp4")), false);
    mPanel->addFile(path(QStringLiteral("a.mp4")), false); // still being read
    QCOMPARE(mPanel->pendingCount(), 2);
    addAndSettle({QStringLiteral("c.mp4")});
    mPanel->addFile(mDir.path() + QStringLiteral("/card/../a.mp4"), true);
    QCOMPARE(mPanel->pendingCount(), 0);
    QCOMPARE(mPanel->files(), paths({QStringLiteral("a.mp4"), QStringLiteral("b.mp4"), QStringLiteral("c.mp4")}));
    QCOMPARE(mAnnounced.size(), 1);
    QCOMPARE(mAnnounced.first().path, path(QStringLiteral("a.mp4")));
    QCOMPARE(table()->currentRow(), 0);

    QSignalSpy deleted(mPanel.get(), &FormFileList::sig_DeleteFile);
    auto *remove = mPanel->findChild<QPushButton *>(QStringLiteral("pushButtonDelete"));
    table()->setCurrentCell(-1, -1);
    remove->click(); // no current row
    QCOMPARE(deleted.count(), 0);
    QCOMPARE(mPanel->files().size(), 3);
    QCOMPARE(mPanel->database()->rowCount(), 3);
    table()->setCurrentCell(1, 0);
    remove->click();
    QCOMPARE(deleted.count(), 1);
    QCOMPARE(deleted.at(0).at(0).toString(), path(QStringLiteral("b.mp4")));
    QCOMPARE(mPanel->files(), paths({QStringLiteral("a.mp4"), QStringLiteral("c.mp4")}));
    FileListInfo stored;
    QVERIFY(mPanel->database()->selectFileInfo(1, stored));
    QCOMPARE(stored.path, path(QStringLiteral("c.mp4")));
    QCOMPARE(stored.num, 2); // positions move, num stays
    addAndSettle({QStringLiteral("b.mp4")});
    QCOMPARE(mPanel->files().size(), 3);
}

void TestFormFileList::dialogChoice()
{
    QSignalSpy basePath(mPanel.get(), &FormFileList::sig_SaveBasePath);
    mPanel->show();
    mPanel->addChosenFiles({path(QStringLiteral("a.mp4")), path(QStringLiteral("b.mp4"))});
    QVERIFY(settled());
    QVERIFY(mAnnounced.isEmpty());
    QVERIFY(mPanel->isVisible()); // several files: listed, the panel stays
    QCOMPARE(basePath.count(), 1);
    QCOMPARE(basePath.first().first().toString(), mDir.path() + QLatin1Char('/'));
    QCOMPARE(mPanel->basePath(), mDir.path() + QLatin1Char('/'));

    mPanel->addChosenFiles({path(QStringLiteral("c.mp4"))});
    QVERIFY(mPanel->isHidden());
    QVERIFY(settled());
    QCOMPARE(mAnnounced.size(), 1);
    QCOMPARE(mAnnounced.first().path, path(QStringLiteral("c.mp4")));
    QVERIFY(mAnnounced.first().play);
    mPanel->addChosenFiles({}); // cancelled
    QCOMPARE(basePath.count(), 2);
}

void TestFormFileList::titleRowMovesThePanel()
{
    mPanel->move(100, 100);
    mPanel->show();
    QVERIFY(QTest::qWaitForWindowExposed(mPanel.get()));
    const QPoint start = mPanel->pos();
    auto *label = mPanel->findChild<QLabel *>(QStringLiteral("label"));
    const QPoint grip = label->rect().center();
    const QPoint global = label->mapToGlobal(grip);
    sendMouse(label, QEvent::MouseButtonPress, grip, global);
    sendMouse(mPanel.get(), QEvent::MouseMove, mPanel->mapFromGlobal(global + QPoint(30, 20)), global + QPoint(30, 20));
    sendMouse(mPanel.get(), QEvent::MouseButtonRelease, mPanel->mapFromGlobal(global + QPoint(30, 20)),
              global + QPoint(30, 20));
    QCOMPARE(mPanel->pos(), start + QPoint(30, 20));

    // A press on a title button is the button's; nothing moves.
    auto *add = mPanel->findChild<QPushButton *>(QStringLiteral("pushButtonDelete"));
    const QPoint onButton = add->mapToGlobal(add->rect().center());
    sendMouse(add, QEvent::MouseButtonPress, add->rect().center(), onButton);
    sendMouse(mPanel.get(), QEvent::MouseMove, mPanel->mapFromGlobal(onButton + QPoint(40, 40)), onButton + QPoint(40, 40));
    sendMouse(add, QEvent::MouseButtonRelease, add->rect().center(), onButton);
    QCOMPARE(mPanel->pos(), start + QPoint(30, 20));

    // A double-click on the title row hides the panel.
    QTest::mouseDClick(label, Qt::LeftButton, Qt::NoModifier, grip);
    QVERIFY(mPanel->isHidden());
}

void TestFormFileList::buttonsAreNamed()
{
    QSet<QString> names;
    const auto buttons = mPanel->findChild<QWidget *>(QStringLiteral("widgetTitle"))->findChildren<QAbstractButton *>();
    QCOMPARE(buttons.size(), 3);
    for (QAbstractButton *button : buttons) {
        QVERIFY2(!button->accessibleName().isEmpty(), qPrintable(button->objectName()));
        QVERIFY2(!button->toolTip().isEmpty(), qPrintable(button->objectName()));
        QCOMPARE(button->focusPolicy(), Qt::NoFocus); // Space stays with the panel
        names.insert(button->accessibleName());
    }
    QCOMPARE(names.size(), 3);
}

QTEST_MAIN(TestFormFileList)
#include "tst_formfilelist.moc"
