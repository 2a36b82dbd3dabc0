#include "files.h"
#include "wholefile.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TestWholeFile : public QObject
{
    Q_OBJECT

private slots:
    void replacesOnlyRegularFilesWhole();
};

// A save replaces a regular file and keeps its mode; a folder or a FIFO in
// its place is refused at once (a FIFO would block an open), and no
// temporary file is left either way.
void TestWholeFile::replacesOnlyRegularFilesWhole()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("trip.csv"));
    QString error;
    QVERIFY2(writeWholeFile(path, "first", &error), qPrintable(error));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0664) == 0); // wider than the umask leaves
    QVERIFY2(writeWholeFile(path, "second", &error), qPrintable(error));
    QCOMPARE(readBytes(path), QByteArray("second"));
    struct stat info {};
    QVERIFY(::stat(QFile::encodeName(path).constData(), &info) == 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0664));

    const QString folder = dir.filePath(QStringLiteral("folder.csv"));
    const QString fifo = dir.filePath(QStringLiteral("fifo.csv"));
    QVERIFY(QDir().mkpath(folder) && ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    for (const QString &refused : {folder, fifo, dir.filePath(QStringLiteral("missing/trip.csv"))}) {
        error.clear();
        QVERIFY2(!writeWholeFile(refused, "x", &error), qPrintable(refused));
        QVERIFY(!error.isEmpty());
    }
    QVERIFY(QFileInfo(folder).isDir() && QFileInfo(fifo).exists());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("fifo.csv"), QStringLiteral("folder.csv"), QStringLiteral("trip.csv")}));
}

QTEST_GUILESS_MAIN(TestWholeFile)
#include "tst_wholefile.moc"
