#include "playliststep.h"
#include "sqloperate.h"

#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

FileListInfo entry(int num, const QString &name)
{
    FileListInfo info;
    info.num = num;
    info.name = name;
    info.path = QStringLiteral("/card/DCIM/") + name;
    info.date = QStringLiteral("2025-06-01 08:0%1:00").arg(num);
    info.duration = QStringLiteral("01:0%1").arg(num);
    info.resolution = QStringLiteral("1920x1080");
    info.size = QStringLiteral("45.%1").arg(num);
    info.durationInt = 60 + num;
    return info;
}

bool same(const FileListInfo &a, const FileListInfo &b)
{
    return a.num == b.num && a.name == b.name && a.path == b.path && a.date == b.date && a.duration == b.duration
           && a.resolution == b.resolution && a.size == b.size && a.durationInt == b.durationInt;
}

} // namespace

// The store on a database in a temporary folder, under its own connection
// name, so that it never meets the program's own list.
class TestSqlOperate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void recreatedAtEveryStart();
    void positionsFollowInsertionAndDeletion();
    void unopenedStoreFailsEveryOperation();
    void unusableStoreIsReplaced_data();
    void unusableStoreIsReplaced();
    void secondViewerKeepsItsOwnList();
    void stepsFindTheNextRecordingThere();

private:
    QTemporaryDir mDir;
};

void TestSqlOperate::initTestCase()
{
    QVERIFY(mDir.isValid());
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.filelist.debug=true"));
}

void TestSqlOperate::recreatedAtEveryStart()
{
    {
        sqloperate first(mDir.path(), QStringLiteral("first run"));
        QTest::ignoreMessage(QtDebugMsg, "Create Filelist table");
        QVERIFY(first.openDatabase());
        QCOMPARE(first.databaseName(), mDir.path() + QStringLiteral("//FileList.db"));
        QVERIFY(first.insertFileInfo(entry(0, QStringLiteral("a.mp4"))));
        QVERIFY(first.insertFileInfo(entry(1, QStringLiteral("b.mp4"))));
        QCOMPARE(first.rowCount(), 2);
    }
    QVERIFY(!QSqlDatabase::contains(QStringLiteral("first run"))); // closed and unregistered
    QVERIFY(QFileInfo::exists(mDir.filePath(QStringLiteral("FileList.db"))));
    // The next run finds last run's table and starts empty.
    sqloperate second(mDir.path(), QStringLiteral("second run"));
    QTest::ignoreMessage(QtDebugMsg, "recreate Filelist table");
    QVERIFY(second.openDatabase());
    QCOMPARE(second.rowCount(), 0);
    FileListInfo out;
    QVERIFY(!second.selectFileInfo(0, out));
}

// Rows are positions: they follow insertion and deletion, nums stay; past
// the end and before the start there is nothing to read or delete.
void TestSqlOperate::positionsFollowInsertionAndDeletion()
{
    QTemporaryDir dir;
    sqloperate store(dir.path(), QStringLiteral("positions"));
    QVERIFY(store.openDatabase());
    const FileListInfo untouched = entry(7, QStringLiteral("untouched.mp4"));
    FileListInfo out = untouched;
    QVERIFY(!store.selectFileInfo(0, out)); // empty table
    QVERIFY(same(out, untouched));
    const QVector<FileListInfo> added{entry(0, QStringLiteral("a.mp4")), entry(1, QStringLiteral("b.mp4")),
                                      entry(2, QStringLiteral("c.mp4"))};
    for (const FileListInfo &info : added)
        QVERIFY(store.insertFileInfo(info));
    for (int i = 0; i < added.size(); ++i) {
        QVERIFY(store.selectFileInfo(i, out));
        QVERIFY2(same(out, added.at(i)), qPrintable(out.name));
    }
    out = untouched;
    QVERIFY(!store.selectFileInfo(3, out));
    QVERIFY(same(out, untouched));
    QVERIFY(store.deleteFileInfo(3)); // nothing there: nothing deleted, not a failure
    // SQLite reads a negative offset as 0; no current row must not mean the first.
    QVERIFY(!store.selectFileInfo(-1, out));
    QVERIFY(same(out, untouched));
    QVERIFY(!store.deleteFileInfo(-1));
    QVERIFY(!store.deleteFileInfo(-2));
    QCOMPARE(store.rowCount(), 3);

    // Deleting position 0: what was at 1 is at 0 now, with its old num.
    QVERIFY(store.deleteFileInfo(0));
    QVERIFY(store.selectFileInfo(0, out));
    QVERIFY(same(out, added.at(1)));
    QCOMPARE(out.num, 1);
    // A middle row, then the last.
    QVERIFY(store.insertFileInfo(entry(3, QStringLiteral("d.mp4"))));
    QVERIFY(store.deleteFileInfo(1));
    QVERIFY(store.selectFileInfo(1, out));
    QCOMPARE(out.name, QStringLiteral("d.mp4"));
    QCOMPARE(store.rowCount(), 2);

    // Beyond the declared column sizes: SQLite keeps it all.
    FileListInfo longer = entry(4, QString(300, QLatin1Char('n')) + QStringLiteral("_日本語.mp4"));
    longer.path = QStringLiteral("/media/") + QString(1000, QLatin1Char('p')) + QLatin1Char('/') + longer.name;
    longer.resolution = QStringLiteral("100000x100000000");
    longer.durationInt = 2147483647;
    QVERIFY(store.insertFileInfo(longer));
    QVERIFY(store.selectFileInfo(2, out));
    QVERIFY(same(out, longer));
}

void TestSqlOperate::unopenedStoreFailsEveryOperation()
{
    // A folder that cannot hold the file: the open fails and says where,
    // and the list lives in memory.
    sqloperate store(mDir.filePath(QStringLiteral("no/such/folder")), QStringLiteral("nowhere"));
    QVERIFY(!store.insertFileInfo(entry(0, QStringLiteral("a.mp4"))));
    FileListInfo out;
    QVERIFY(!store.selectFileInfo(0, out));
    QVERIFY(!store.deleteFileInfo(0));
    QCOMPARE(store.rowCount(), -1);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^open failed .*no/such/folder//FileList.db")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^store cannot be made, list kept")));
    QVERIFY(store.openDatabase());
    QVERIFY(store.insertFileInfo(entry(0, QStringLiteral("a.mp4"))));
    QCOMPARE(store.rowCount(), 1);
}

void TestSqlOperate::unusableStoreIsReplaced_data()
{
    QTest::addColumn<int>("kept"); // bytes of a real store before the garbage
    QTest::addColumn<bool>("linked");
    QTest::newRow("random bytes") << 0 << false;
    QTest::newRow("first page, then garbage") << 4096 << false;
    QTest::newRow("symlink to the user's file") << 0 << true;
}

void TestSqlOperate::unusableStoreIsReplaced()
{
    QFETCH(int, kept);
    QFETCH(bool, linked);
    QTemporaryDir dir;
    const QString path = sqloperate::databasePath(dir.path());
    {
        sqloperate earlier(dir.path(), QStringLiteral("earlier"));
        QVERIFY(earlier.openDatabase());
        for (int i = 0; i < 100; ++i) // past the first page
            QVERIFY(earlier.insertFileInfo(entry(i % 10, QStringLiteral("earlier.mp4"))));
    }
    QFile file(path);
    if (linked)
        QVERIFY(file.rename(dir.filePath(QStringLiteral("user.bin"))) && QFile::link(file.fileName(), path));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    QRandomGenerator random(kept + 1);
    for (int i = kept; i < bytes.size(); ++i)
        bytes[i] = char(random.generate());
    QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
    file.close();

    sqloperate store(dir.path(), QStringLiteral("replaced"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^unusable store replaced:")));
    QVERIFY(store.openDatabase());
    QCOMPARE(QSqlDatabase::database(store.connectionName()).databaseName(), path); // not in memory
    FileListInfo out;
    QVERIFY(store.insertFileInfo(entry(0, QStringLiteral("a.mp4"))));
    QVERIFY(store.insertFileInfo(entry(1, QStringLiteral("b.mp4"))));
    QVERIFY(store.selectFileInfo(1, out) && same(out, entry(1, QStringLiteral("b.mp4"))));
    QVERIFY(!QFileInfo(path).isSymLink());
    if (linked) // only the link went
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == bytes);
}

void TestSqlOperate::secondViewerKeepsItsOwnList()
{
    const auto holdsOnly = [](sqloperate &store, const QString &name) {
        FileListInfo out;
        return store.rowCount() == 1 && store.selectFileInfo(0, out) && out.name == name;
    };
    QTemporaryDir dir;
    auto first = std::make_unique<sqloperate>(dir.path(), QStringLiteral("first viewer"));
    QVERIFY(first->openDatabase() && first->insertFileInfo(entry(0, QStringLiteral("a.mp4"))));
    sqloperate second(dir.path(), QStringLiteral("second viewer"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^store held by another viewer")));
    QVERIFY(second.openDatabase());
    QVERIFY(second.insertFileInfo(entry(1, QStringLiteral("b.mp4"))));
    QVERIFY(holdsOnly(*first, QStringLiteral("a.mp4")));
    QVERIFY(holdsOnly(second, QStringLiteral("b.mp4")));
    // The lock goes with its viewer.
    first.reset();
    sqloperate third(dir.path(), QStringLiteral("third viewer"));
    QVERIFY(third.openDatabase());
    QCOMPARE(QSqlDatabase::database(third.connectionName()).databaseName(), sqloperate::databasePath(dir.path()));
    QCOMPARE(third.rowCount(), 0);
}

// Previous and next: wrapping at the ends, over entries whose recording is
// gone, one round at most; from no selection the first step lands on an end.
void TestSqlOperate::stepsFindTheNextRecordingThere()
{
    QTemporaryDir dir;
    sqloperate store(dir.path(), QStringLiteral("steps"));
    QVERIFY(store.openDatabase());
    for (const char *name : {"a.mp4", "gone.mp4", "gone2.mp4", "d.mp4"})
        QVERIFY(store.insertFileInfo(entry(0, QLatin1String(name))));
    QStringList asked;
    const auto there = [&](const QString &path) {
        asked.append(path);
        return !path.contains(QLatin1String("gone"));
    };
    const auto step = [&](int from, bool forward) {
        FileListInfo found;
        const int row = nextPlayableRow(store, from, forward, found, there);
        return row < 0 ? QString() : QString::number(row) + QLatin1Char(' ') + found.name;
    };
    QCOMPARE(step(0, true), QStringLiteral("3 d.mp4"));
    QCOMPARE(step(3, true), QStringLiteral("0 a.mp4")); // over the end
    QCOMPARE(step(0, false), QStringLiteral("3 d.mp4")); // over the start
    QCOMPARE(step(3, false), QStringLiteral("0 a.mp4"));
    QCOMPARE(step(-1, true), QStringLiteral("0 a.mp4"));
    QCOMPARE(step(-1, false), QStringLiteral("3 d.mp4"));
    // Only the selected entry is there: it again, after every other once.
    asked.clear();
    QVERIFY(store.deleteFileInfo(3));
    QCOMPARE(step(0, true), QStringLiteral("0 a.mp4"));
    QCOMPARE(asked.size(), 3);
    QVERIFY(store.deleteFileInfo(0));
    QCOMPARE(step(0, true), QString());
}

QTEST_GUILESS_MAIN(TestSqlOperate)
#include "tst_sqloperate.moc"
