// The end of the viewer's process: SIGTERM closes the window once (also
// one caught before the window listens), a second one ends the process as
// usual; and a thread stuck in a read of a FIFO does not keep a process
// alive past its bound.

#include "processend.h"
#include "runprocess.h"
#include "waitfor.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>

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

// The stuck reader runs in a fresh process of this program (argument
// --stuck-read FIFO): a forked copy of a process with threads may not start
// one of its own.
int stuckRead(const char *fifo)
{
    ::alarm(30); // never outlives the test
    endWithin(7, 100);
    // Nobody writes: open() waits for good, as a reader at exit would.
    ::open(fifo, O_RDONLY);
    return 0;
}

void TestProcessEnd::stuckReadDoesNotKeepTheProcess()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("clip.mp4"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const ProcessRun child = runProcess(QCoreApplication::applicationFilePath(), {QStringLiteral("--stuck-read"), fifo},
                                        QProcessEnvironment::systemEnvironment(), QString(), 15000);
    QVERIFY2(child.finished && child.exitCode == 7, qPrintable(describe(child)));
}

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--stuck-read") == 0)
        return stuckRead(argv[2]);
    QCoreApplication app(argc, argv);
    TestProcessEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_processend.moc"
