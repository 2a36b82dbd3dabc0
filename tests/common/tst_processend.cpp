// The end of the viewer's process: SIGTERM closes the window once (also
// one caught before the window listens), a second one ends the process as
// usual; and a thread stuck in a read of a FIFO does not keep a process
// alive past its bound.

#include "processend.h"
#include "reap.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestProcessEnd : public QObject
{
    Q_OBJECT

private slots:
    void terminationClosesOnce();
    void stuckReadDoesNotKeepTheProcess();
};

void TestProcessEnd::terminationClosesOnce()
{
    catchTermination();
    ::raise(SIGTERM);
    QObject window;
    int closes = 0;
    onTermination(&window, [&] { ++closes; });
    QVERIFY(waitFor([&] { return closes == 1; }));
    struct sigaction now {};
    QCOMPARE(::sigaction(SIGTERM, nullptr, &now), 0);
    QVERIFY(now.sa_handler == SIG_DFL);
}

void TestProcessEnd::stuckReadDoesNotKeepTheProcess()
{
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("clip.mp4")));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(30); // never outlives the test
        endWithin(7, 100);
        // Nobody writes: open() waits for good, as a reader at exit would.
        ::open(fifo.constData(), O_RDONLY);
        ::_exit(0);
    }
    QVERIFY(child > 0);
    QCOMPARE(reap(child), 7);
}

QTEST_GUILESS_MAIN(TestProcessEnd)
#include "tst_processend.moc"
