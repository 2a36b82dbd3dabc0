#include "seek.h"

#include <QScopeGuard>
#include <QtTest>

#include <atomic>
#include <thread>

class TestSeek : public QObject
{
    Q_OBJECT

private slots:
    void newestRequestWins();
    void requestWaitsUntilItsSeekIsMade();
    void resyncNeverReplacesAUsersSeek();
    void resyncNeverWaitsForTheLock();
    void seekStateTravelsWhole_data();
    void seekStateTravelsWhole();
    void updateOnlyChangesItsOwnSeek();
    void serialsWrap();
    void concurrentFlagsAreNeverLost();
};

void TestSeek::newestRequestWins()
{
    SeekRequests requests;
    QVERIFY(!requests.take());
    for (int64_t target : {100, 200, 300})
        requests.post(target);
    QCOMPARE(requests.lastTarget(), int64_t(300));
    const std::optional<SeekRequest> taken = requests.take();
    QVERIFY(taken);
    QCOMPARE(taken->target, int64_t(300));
    QVERIFY(!requests.take()); // taken once only
}

void TestSeek::requestWaitsUntilItsSeekIsMade()
{
    SeekRequests requests;
    QVERIFY(!requests.waiting());
    requests.post(500);
    QCOMPARE(requests.waitingTarget(), std::optional<int64_t>(500));
    const std::optional<SeekRequest> first = requests.take();
    QVERIFY(first);
    // Taken, not made yet: it still waits.
    QVERIFY(requests.waiting());
    // A newer one comes while the first is made: it still waits after that.
    requests.post(700);
    requests.finish(first->serial);
    QCOMPARE(requests.waitingTarget(), std::optional<int64_t>(700));
    const std::optional<SeekRequest> second = requests.take();
    QVERIFY(second);
    QCOMPARE(second->target, int64_t(700));
    requests.finish(second->serial);
    QVERIFY(!requests.waiting());
    QCOMPARE(requests.lastTarget(), int64_t(700));
}

void TestSeek::resyncNeverReplacesAUsersSeek()
{
    SeekRequests requests;
    QCOMPARE(requests.tryPostResync(100), SeekRequests::Resync::Posted);
    // A user's seek replaces the resync; the resync never replaces it.
    requests.post(900);
    QCOMPARE(requests.tryPostResync(200), SeekRequests::Resync::Needless);
    std::optional<SeekRequest> taken = requests.take();
    QVERIFY(taken);
    QCOMPARE(taken->target, int64_t(900));
    // Also while it is being made.
    QCOMPARE(requests.tryPostResync(200), SeekRequests::Resync::Needless);
    requests.finish(taken->serial);
    QCOMPARE(requests.tryPostResync(300), SeekRequests::Resync::Posted);
    taken = requests.take();
    QVERIFY(taken);
    QCOMPARE(taken->target, int64_t(300));
}

void TestSeek::resyncNeverWaitsForTheLock()
{
    SeekRequests requests;
    requests.post(1);
    std::atomic<bool> holding{false};
    std::atomic<bool> release{false};
    // Another thread holds the lock throughout, as a poster preempted inside it would.
    std::thread poster([&] {
        std::lock_guard<std::mutex> lock(requests.mMutex);
        holding = true;
        while (!release.load())
            std::this_thread::yield();
    });
    const auto letGo = qScopeGuard([&] {
        release = true;
        poster.join();
    });
    while (!holding.load())
        std::this_thread::yield();
    // A call that waited for the lock would never come back here.
    for (int i = 0; i < 100; ++i)
        QCOMPARE(requests.tryPostResync(5), SeekRequests::Resync::Busy);
}

void TestSeek::seekStateTravelsWhole_data()
{
    QTest::addColumn<qint64>("target");
    QTest::addColumn<uint>("serial");
    QTest::addColumn<int>("flags");
    QTest::newRow("nothing") << qint64(0) << 0u << 0;
    QTest::newRow("all flags") << qint64(1234567) << 42u << 0x1f;
    QTest::newRow("largest") << qint64(PublishedSeek::kMaxTarget) << uint(PublishedSeek::kSerialMask) << 0x15;
    QTest::newRow("an hour") << qint64(3600000000) << 7u << 0x0a;
}

void TestSeek::seekStateTravelsWhole()
{
    QFETCH(qint64, target);
    QFETCH(uint, serial);
    QFETCH(int, flags);
    SeekState seek;
    seek.target = target;
    seek.serial = serial;
    seek.dropSound = flags & 1;
    seek.dropPictures = flags & 2;
    seek.picturePending = flags & 4;
    seek.late = flags & 8;
    seek.canRetry = flags & 16;
    PublishedSeek published;
    published.publish(seek);
    const SeekState read = published.load();
    QCOMPARE(read.target, seek.target);
    QCOMPARE(read.serial, seek.serial);
    QCOMPARE(read.dropSound, seek.dropSound);
    QCOMPARE(read.dropPictures, seek.dropPictures);
    QCOMPARE(read.picturePending, seek.picturePending);
    QCOMPARE(read.late, seek.late);
    QCOMPARE(read.canRetry, seek.canRetry);
}

void TestSeek::updateOnlyChangesItsOwnSeek()
{
    PublishedSeek published;
    SeekState seek;
    seek.target = 2000000;
    seek.serial = 3;
    seek.dropSound = true;
    seek.picturePending = true;
    published.publish(seek);
    // A decoder still working for seek 2 changes nothing.
    QVERIFY(!published.update(2, [](SeekState &s) { s.dropSound = false; }));
    QVERIFY(published.load().dropSound);
    QVERIFY(published.update(3, [](SeekState &s) { s.dropSound = false; }));
    const SeekState read = published.load();
    QVERIFY(!read.dropSound);
    QVERIFY(read.picturePending);
    QCOMPARE(read.target, int64_t(2000000));
    // Targets beyond what the word holds are capped, never wrapped.
    seek.target = PublishedSeek::kMaxTarget + 5;
    published.publish(seek);
    QCOMPARE(published.load().target, PublishedSeek::kMaxTarget);
}

void TestSeek::serialsWrap()
{
    QCOMPARE(PublishedSeek::nextSerial(0), 1u);
    QCOMPARE(PublishedSeek::nextSerial(PublishedSeek::kSerialMask), 0u);
}

void TestSeek::concurrentFlagsAreNeverLost()
{
    // The sound decoder, the video thread and the player thread change
    // flags of one seek at once: none of the changes is lost.
    for (int round = 0; round < 200; ++round) {
        PublishedSeek published;
        SeekState seek;
        seek.serial = 1;
        seek.dropSound = true;
        seek.dropPictures = true;
        seek.picturePending = true;
        published.publish(seek);
        std::thread sound([&] { published.update(1, [](SeekState &s) { s.dropSound = false; }); });
        std::thread pictures([&] {
            published.update(1, [](SeekState &s) { s.dropPictures = false; });
            published.update(1, [](SeekState &s) { s.late = true; });
        });
        published.update(1, [](SeekState &s) { s.picturePending = false; });
        sound.join();
        pictures.join();
        const SeekState read = published.load();
        QVERIFY(!read.dropSound && !read.dropPictures && !read.picturePending && read.late);
    }
}

QTEST_APPLESS_MAIN(TestSeek)
#include "tst_seek.moc"
