#include "droppedrecordings.h"
#include "files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestDroppedRecordings : public QObject
{
    Q_OBJECT

private slots:
    void dropRules();
    void boundsCutTheWalk();
    void foldersAreListedByName();
};

namespace {

DroppedRecordings collectDropped(const QList<QUrl> &urls)
{
    return collectRecordings(droppedPaths(urls), NamedBy::Drop);
}

} // namespace

void TestDroppedRecordings::dropRules()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Folders match in any case, a single file must match exactly (clip2.Mp4).
    for (const char *name : {"folder/clip1.MP4", "folder/notes.txt", "folder/deeper/clip3.Ts", "clip2.Mp4", "clip4.ts",
                             "clip5.MOV", "song.wav", "elsewhere/clip6.mp4"})
        QVERIFY(writeBytes(dir.filePath(QLatin1String(name))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("elsewhere/clip6.mp4")),
                        dir.filePath(QStringLiteral("folder/link.mp4"))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("elsewhere")), dir.filePath(QStringLiteral("folder/linkdir"))));

    const QUrl folder = QUrl::fromLocalFile(dir.filePath(QStringLiteral("folder")));
    const QUrl clip4 = QUrl::fromLocalFile(dir.filePath(QStringLiteral("clip4.ts")));
    const QList<QUrl> urls{QUrl::fromLocalFile(dir.filePath(QStringLiteral("clip2.Mp4"))),
                           clip4,
                           folder,
                           QUrl::fromLocalFile(dir.filePath(QStringLiteral("clip5.MOV"))),
                           QUrl::fromLocalFile(dir.filePath(QStringLiteral("song.wav"))),
                           QUrl(QStringLiteral("https://example.org/remote.mp4"))};
    const DroppedRecordings dropped = collectDropped(urls);
    // In the order dropped: a folder's recordings sit between the files around it.
    QCOMPARE(dropped.paths.size(), 5);
    QCOMPARE(dropped.paths.first(), dir.filePath(QStringLiteral("clip4.ts")));
    QCOMPARE(dropped.paths.mid(3), (QStringList{dir.filePath(QStringLiteral("clip5.MOV")),
                                                dir.filePath(QStringLiteral("song.wav"))}));
    // Links are neither listed nor followed; a folder's own recordings come before its subfolders'.
    QCOMPARE(dropped.paths.mid(1, 2), (QStringList{dir.filePath(QStringLiteral("folder/clip1.MP4")),
                                  dir.filePath(QStringLiteral("folder/deeper/clip3.Ts"))}));
    // The last dropped recording file starts, whatever was skipped after it.
    QCOMPARE(dropped.start, 4);

    // A folder after the last file: that file starts; folders alone start nothing.
    const DroppedRecordings fileThenFolder = collectDropped({clip4, folder});
    QCOMPARE(fileThenFolder.paths.size(), 3);
    QCOMPARE(fileThenFolder.start, 0);
    QCOMPARE(collectDropped({folder}).start, -1);
}

// A walk ends at its bounds, says so, and keeps what it found before; a
// folder named many times is walked once; a stop ends it at once.
void TestDroppedRecordings::boundsCutTheWalk()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("card"));
    for (const char *name : {"a.mp4", "b.mp4", "1/c.mp4", "1/2/d.mp4", "1/2/3/e.mp4"})
        QVERIFY(writeBytes(QDir(root).filePath(QLatin1String(name))));
    // The names found, or "uncut"/"cut" when the walk did not say what it should.
    const auto walk = [](const QStringList &named, const WalkBounds &bounds, bool cut) {
        const DroppedRecordings found = collectRecordings(named, NamedBy::Drop, nullptr, bounds);
        QStringList names;
        for (const QString &path : found.paths)
            names.append(QFileInfo(path).fileName());
        return found.cut == cut ? names : QStringList{found.cut ? "cut" : "uncut"};
    };
    QCOMPARE(walk(QVector<QString>(1000, root).toList(), {}, false), (QStringList{"a.mp4", "b.mp4", "c.mp4", "d.mp4", "e.mp4"}));
    QCOMPARE(walk({root}, {2, 200000, 10000}, true), (QStringList{"a.mp4", "b.mp4", "c.mp4", "d.mp4"}));
    QCOMPARE(walk({root}, {16, 200000, 3}, true), (QStringList{"a.mp4", "b.mp4", "c.mp4"}));
    // The folder named and its three names (a folder counts too): 1 is not entered.
    QCOMPARE(walk({root}, {16, 4, 10000}, true), (QStringList{"a.mp4", "b.mp4"}));
    const std::atomic<bool> stop{true};
    QVERIFY(collectRecordings({root}, NamedBy::Drop, &stop).paths.isEmpty());
}

// A camera's one-minute clips, whatever order the disk keeps them in, are
// listed as they were recorded, folders too; named files keep their order.
void TestDroppedRecordings::foldersAreListedByName()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList byName{"20250601_180000.MP4", "20250601_180021.MP4", "20250601_180112.MP4", "clip2.mp4",
                             "clip10.mp4", "Clip11.mp4", "clip011.mp4", "sub9/a.ts", "sub10/a.ts", "sub10/b.ts"};
    // Made in reverse, so that neither the disk's order nor a plain sort can pass.
    for (auto name = byName.crbegin(); name != byName.crend(); ++name)
        QVERIFY(writeBytes(dir.filePath(*name)));
    QStringList listed;
    for (const QString &path : collectRecordings({dir.path()}, NamedBy::Drop).paths)
        listed.append(QDir(dir.path()).relativeFilePath(path));
    QCOMPARE(listed, byName);

    // Named from outside: a file whatever its suffix (the reader tells), the
    // first starts; from the dialog, a lone one.
    const QStringList named{dir.filePath("sub9"), dir.filePath("clip10.mp4"), dir.filePath("notes.txt")};
    const DroppedRecordings launched = collectRecordings(named, NamedBy::Launch);
    QCOMPARE(launched.paths, (QStringList{dir.filePath("sub9/a.ts"), named[1], named[2]}));
    QCOMPARE(launched.start, 1);
    QCOMPARE(collectRecordings(named, NamedBy::Dialog).start, -1);
    QCOMPARE(collectRecordings(named.mid(2), NamedBy::Dialog).start, 0);

    // The order itself: strict, and the same whatever the locale.
    for (const auto &[less, more] : {std::pair("a", "B"), std::pair("x9", "x10"), std::pair("x10", "x010"),
                                     std::pair("B", "b"), std::pair("x", "x0"), std::pair("走行1", "走行2")}) {
        QVERIFY2(naturalLess(QString::fromUtf8(less), QString::fromUtf8(more)), less);
        QVERIFY2(!naturalLess(QString::fromUtf8(more), QString::fromUtf8(less)), more);
    }
    QVERIFY(!naturalLess("clip2", "clip2"));
}

QTEST_GUILESS_MAIN(TestDroppedRecordings)
#include "tst_droppedrecordings.moc"
