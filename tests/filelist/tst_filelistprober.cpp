#include "filelistprober.h"
#include "waitfor.h"

#include <QSemaphore>
#include <QThreadPool>
#include <QtTest>

#include <atomic>

namespace {

// A reader that holds "slow" paths until released, as a slow card would,
// and takes names starting with "bad" for unplayable.
struct HeldReader
{
    QSemaphore release;
    std::atomic<int> done{0};

    // A test that failed half-way must not leave a worker waiting on a dead semaphore.
    ~HeldReader()
    {
        release.release(1000);
        QThreadPool::globalInstance()->waitForDone(10000);
    }

    FileListProber::Reader reader()
    {
        return [this](const QString &path, FileListInfo &info) {
            if (path.startsWith(QLatin1String("slow")))
                release.acquire();
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
    void initTestCase();
    void reportsInTheOrderAsked();
    void destroyedWhileAReadIsHeld();
};

void TestFileListProber::initTestCase()
{
    // One worker held, the others go on.
    QThreadPool::globalInstance()->setMaxThreadCount(qMax(2, QThreadPool::globalInstance()->maxThreadCount()));
}

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
    // Everything after the first is read; nothing may overtake it.
    QVERIFY(waitFor([&] { return held.done == asked.size() - 1; }));
    QCoreApplication::processEvents();
    QVERIFY(reported.isEmpty());
    held.release.release();
    QVERIFY(waitFor([&] { return reported.size() == asked.size(); }));
    QCOMPARE(reported, asked);
    QCOMPARE(ok, (QVector<bool>{true, true, false, true, true}));
    QCOMPARE(prober.pending(), 0);
}

void TestFileListProber::destroyedWhileAReadIsHeld()
{
    HeldReader held;
    {
        FileListProber prober(nullptr, held.reader());
        prober.probe(QStringLiteral("slow a"));
        prober.probe(QStringLiteral("b"));
        QVERIFY(waitFor([&] { return held.done == 1; }));
    } // gone without waiting for the held read
    held.release.release();
    QVERIFY(QThreadPool::globalInstance()->waitForDone(10000));
    QCoreApplication::processEvents(); // a result posted to the dead prober would crash here
    QCOMPARE(held.done.load(), 2);
}

QTEST_GUILESS_MAIN(TestFileListProber)
#include "tst_filelistprober.moc"
