#include "filelistprober.h"
#include "logcapture.h"
#include "waitfor.h"
#include "watchdog.h"

#include <QSemaphore>
#include <QThread>
#include <QtTest>

#include <atomic>

namespace {

constexpr int kHoldMs = 10000; // a held read goes on by itself after this, so that a failed test still ends

// A reader that holds "slow" paths until released, as a slow card would,
// and takes names starting with "bad" for unplayable. It must outlive the
// prober, which waits for the reads running.
struct HeldReader
{
    QSemaphore release;
    std::atomic<int> started{0};
    std::atomic<int> done{0};

    FileListProber::Reader reader()
    {
        return [this](const QString &path, FileListInfo &info) {
            ++started;
            if (path.startsWith(QLatin1String("slow")))
                release.tryAcquire(1, kHoldMs);
            info.path = path;
            ++done;
            return !path.startsWith(QLatin1String("bad"));
        };
    }
};

} // namespace

class TestFileListProber : public QObject
{
    Q_OBJECT

private slots:
    void reportsInTheOrderAsked();
    void destroyedWhileReadsAreHeld();
};

void TestFileListProber::reportsInTheOrderAsked()
{
    HeldReader held;
    FileListProber prober(nullptr, held.reader());
    QStringList reported;
    QVector<bool> ok;
    connect(&prober, &FileListProber::sig_Probed, this, [&](quint64, const FileListInfo &info, bool good) {
        reported.append(info.path);
        ok.append(good);
    });
    const QStringList asked{QStringLiteral("slow first"), QStringLiteral("b"), QStringLiteral("bad c"),
                            QStringLiteral("d"), QStringLiteral("e")};
    quint64 ticket = 0;
    for (const QString &path : asked) {
        const quint64 next = prober.probe(path);
        QVERIFY(next > ticket);
        ticket = next;
    }
    QCOMPARE(prober.pending(), asked.size());
    // One thread is held, another reads everything after the first; nothing may overtake it.
    QVERIFY(waitFor([&] { return held.done == asked.size() - 1; }));
    QCoreApplication::processEvents();
    QVERIFY(reported.isEmpty());
    held.release.release();
    QVERIFY(waitFor([&] { return reported.size() == asked.size(); }));
    QCOMPARE(reported, asked);
    QCOMPARE(ok, (QVector<bool>{true, true, false, true, true}));
    QCOMPARE(prober.pending(), 0);
}

// Every thread held by a slow read, more reads queued: the queued ones are
// never read, the running ones finish before the prober is gone, and none
// reports to it afterwards.
void TestFileListProber::destroyedWhileReadsAreHeld()
{
    HeldReader held;
    const int asked = QThread::idealThreadCount() + 8; // more than the prober's threads
    // The prober's destructor logs how many queued reads it dropped before it
    // waits for the running ones: the moment to let the held reads go.
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.filelist.debug=true"));
    LogCapture log("velmora.filelist");
    const QString prefix = QStringLiteral("probes dropped: ");
    int dropped = -1;
    log.onLine(prefix, [&](const QString &line) {
        dropped = line.mid(prefix.size()).toInt();
        held.release.release(asked);
    });

    int reported = 0;
    auto prober = std::make_unique<FileListProber>(nullptr, held.reader());
    connect(prober.get(), &FileListProber::sig_Probed, this, [&] { ++reported; });
    for (int i = 0; i < asked; ++i)
        prober->probe(QStringLiteral("slow %1").arg(i));
    const bool running = waitFor([&] { return held.started >= 2; });
    guarded("~FileListProber", [&] { prober.reset(); });
    const int started = held.started;
    const int done = held.done;
    QCoreApplication::processEvents(); // a result posted to the dead prober would crash here

    QLoggingCategory::setFilterRules(QString());
    QVERIFY(running);
    QVERIFY(dropped > 0);
    QCOMPARE(started + dropped, asked);
    QCOMPARE(done, started);
    QCOMPARE(reported, 0);
}

QTEST_GUILESS_MAIN(TestFileListProber)
#include "tst_filelistprober.moc"
