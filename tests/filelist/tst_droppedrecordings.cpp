#include "droppedrecordings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestDroppedRecordings : public QObject
{
    Q_OBJECT

private slots:
    void dropRules();
};

void TestDroppedRecordings::dropRules()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto touch = [&](const QString &name) {
        QDir().mkpath(QFileInfo(dir.filePath(name)).path());
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    };
    touch(QStringLiteral("folder/clip1.MP4"));
    touch(QStringLiteral("folder/notes.txt"));
    touch(QStringLiteral("folder/deeper/clip3.Ts"));   // folders match in any case
    touch(QStringLiteral("clip2.Mp4"));                // a single file must match exactly
    touch(QStringLiteral("clip4.ts"));
    touch(QStringLiteral("clip5.MOV"));
    touch(QStringLiteral("song.wav"));
    touch(QStringLiteral("elsewhere/clip6.mp4"));
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
    const DroppedRecordings dropped = collectDroppedRecordings(urls);
    // In the order dropped: a folder's recordings sit between the files around it.
    QCOMPARE(dropped.paths.size(), 5);
    QCOMPARE(dropped.paths.first(), dir.filePath(QStringLiteral("clip4.ts")));
    QCOMPARE(dropped.paths.mid(3), (QStringList{dir.filePath(QStringLiteral("clip5.MOV")),
                                                dir.filePath(QStringLiteral("song.wav"))}));
    QStringList listed = dropped.paths.mid(1, 2);
    listed.sort();
    // Links are neither listed nor followed.
    QCOMPARE(listed, (QStringList{dir.filePath(QStringLiteral("folder/clip1.MP4")),
                                  dir.filePath(QStringLiteral("folder/deeper/clip3.Ts"))}));
    // The last dropped recording file starts, whatever was skipped after it.
    QCOMPARE(dropped.start, 4);

    // A folder after the last file: that file starts; folders alone start nothing.
    const DroppedRecordings fileThenFolder = collectDroppedRecordings({clip4, folder});
    QCOMPARE(fileThenFolder.paths.size(), 3);
    QCOMPARE(fileThenFolder.start, 0);
    QCOMPARE(collectDroppedRecordings({folder}).start, -1);
}

QTEST_GUILESS_MAIN(TestDroppedRecordings)
#include "tst_droppedrecordings.moc"
