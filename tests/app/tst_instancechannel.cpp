// The hand-over between launches: a later launch's files reach the viewer
// that listens, whole and in order, also while its window is still being
// made; a socket left by a viewer that died is taken over; a viewer that
// does not answer is neither waited for without end nor robbed of its socket.

#include "instancechannel.h"
#include "waitfor.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Role = InstanceChannel::Role;

// A later launch on a thread of its own: claim() blocks while this thread's
// event loop lets the listening channel answer.
std::future<Role> launch(const QString &name, const QStringList &files)
{
    return std::async(std::launch::async, [name, files] {
        InstanceChannel later(name);
        return later.claim(files);
    });
}

// Waits (processing events) for a launch; generous, since claim() has its own bounds.
bool finished(std::future<Role> &launched)
{
    const int bound = 4 * (InstanceChannel::kLockWaitMs + InstanceChannel::kConnectWaitMs +
                           InstanceChannel::kAnswerWaitMs);
    return waitFor([&] { return launched.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                   bound);
}

} // namespace

class TestInstanceChannel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void laterLaunchHandsItsFilesOver();
    void filesArrivingBeforeServeAreKept();
    void socketOfADeadViewerIsTakenOver();
    void silentViewerIsLeftAlone();
    void garbageIsDropped();
    void launchesAtTheSameMomentMeetOnce();

private:
    QString socketName() const { return mDir->filePath(QStringLiteral("viewer.socket")); }

    std::unique_ptr<QTemporaryDir> mDir;
};

void TestInstanceChannel::init()
{
    mDir = std::make_unique<QTemporaryDir>();
    QVERIFY(mDir->isValid());
}

void TestInstanceChannel::laterLaunchHandsItsFilesOver()
{
    InstanceChannel first(socketName());
    QCOMPARE(first.claim({QStringLiteral("/rec/first.mp4")}), Role::Listening);
    first.serve();
    QSignalSpy received(&first, &InstanceChannel::sig_FilesReceived);

    const QStringList files{QStringLiteral("/rec/a b.mp4"), QStringLiteral("/rec/走行 2025.MOV"),
                            QStringLiteral("/rec/c,d;e.ts")};
    auto later = launch(socketName(), files);
    QVERIFY(finished(later));
    QCOMPARE(later.get(), Role::HandedOver);
    QVERIFY(waitFor([&] { return received.count() == 1; }));
    QCOMPARE(received.at(0).at(0).toStringList(), files);

    // Without files: the running window only comes to the front.
    auto bare = launch(socketName(), {});
    QVERIFY(finished(bare));
    QCOMPARE(bare.get(), Role::HandedOver);
    QVERIFY(waitFor([&] { return received.count() == 2; }));
    QCOMPARE(received.at(1).at(0).toStringList(), QStringList());
}

// The window is made after claim(): launches meanwhile must not be lost.
void TestInstanceChannel::filesArrivingBeforeServeAreKept()
{
    InstanceChannel first(socketName());
    QCOMPARE(first.claim({}), Role::Listening);
    QSignalSpy received(&first, &InstanceChannel::sig_FilesReceived);
    for (const QString &file : {QStringLiteral("/rec/1.mp4"), QStringLiteral("/rec/2.mp4")}) {
        auto later = launch(socketName(), {file});
        QVERIFY(finished(later));
        QCOMPARE(later.get(), Role::HandedOver);
    }
    QCOMPARE(received.count(), 0);
    first.serve();
    QCOMPARE(received.count(), 2);
    QCOMPARE(received.at(0).at(0).toStringList(), QStringList{QStringLiteral("/rec/1.mp4")});
    QCOMPARE(received.at(1).at(0).toStringList(), QStringList{QStringLiteral("/rec/2.mp4")});
}

// A viewer ended by a signal leaves its socket file behind.
void TestInstanceChannel::socketOfADeadViewerIsTakenOver()
{
    const QByteArray path = QFile::encodeName(socketName());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    QVERIFY(size_t(path.size()) < sizeof address.sun_path);
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::close(fd);
    QVERIFY(QFileInfo::exists(socketName()));

    InstanceChannel next(socketName());
    QCOMPARE(next.claim({}), Role::Listening);
    next.serve();
    QSignalSpy received(&next, &InstanceChannel::sig_FilesReceived);
    auto later = launch(socketName(), {QStringLiteral("/rec/x.mp4")});
    QVERIFY(finished(later));
    QCOMPARE(later.get(), Role::HandedOver);
    QVERIFY(waitFor([&] { return received.count() == 1; }));
}

// Connected but never answering, as a viewer stuck in a long task: the
// launch gives up and starts on its own, and the socket stays its owner's.
void TestInstanceChannel::silentViewerIsLeftAlone()
{
    QLocalServer silent;
    QVERIFY(silent.listen(socketName()));
    auto later = launch(socketName(), {QStringLiteral("/rec/x.mp4")});
    QVERIFY(finished(later));
    QCOMPARE(later.get(), Role::Alone);
    QVERIFY(silent.isListening());
    QLocalSocket probe;
    probe.connectToServer(socketName());
    QVERIFY(probe.waitForConnected(5000));
}

void TestInstanceChannel::garbageIsDropped()
{
    InstanceChannel first(socketName());
    QCOMPARE(first.claim({}), Role::Listening);
    first.serve();
    QSignalSpy received(&first, &InstanceChannel::sig_FilesReceived);

    QLocalSocket stranger;
    stranger.connectToServer(socketName());
    QVERIFY(stranger.waitForConnected(5000));
    stranger.write("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    stranger.flush();
    QVERIFY(waitFor([&] { return stranger.state() == QLocalSocket::UnconnectedState; }, 10000));
    QCOMPARE(stranger.bytesAvailable(), 0);
    QCOMPARE(received.count(), 0);

    // The channel still serves real launches.
    auto later = launch(socketName(), {QStringLiteral("/rec/x.mp4")});
    QVERIFY(finished(later));
    QCOMPARE(later.get(), Role::HandedOver);
    QVERIFY(waitFor([&] { return received.count() == 1; }));
}

// A double-click that starts two viewers: whichever claims first listens,
// the other hands its file over; never two windows, never a lost file.
void TestInstanceChannel::launchesAtTheSameMomentMeetOnce()
{
    std::promise<void> go;
    const std::shared_future<void> start = go.get_future().share();
    std::atomic<bool> settled{false};
    // The other launch runs its own event loop, so it can answer when it listens.
    auto other = std::async(std::launch::async, [&] {
        QEventLoop loop; // gives this thread the event dispatcher its socket needs
        InstanceChannel channel(socketName());
        QStringList received;
        QObject::connect(&channel, &InstanceChannel::sig_FilesReceived, [&](const QStringList &files) { received = files; });
        start.wait();
        const Role role = channel.claim({QStringLiteral("/rec/other.mp4")});
        if (role == Role::Listening) {
            channel.serve();
            QDeadlineTimer deadline(30000);
            while (!settled && !deadline.hasExpired())
                loop.processEvents(QEventLoop::AllEvents, 20);
        }
        return std::make_pair(role, received);
    });
    InstanceChannel mine(socketName());
    QSignalSpy received(&mine, &InstanceChannel::sig_FilesReceived);
    go.set_value();
    const Role myRole = mine.claim({QStringLiteral("/rec/mine.mp4")});
    if (myRole == Role::Listening) {
        mine.serve();
        QVERIFY(waitFor([&] { return received.count() == 1; }, 20000));
    }
    settled = true;
    QVERIFY(waitFor([&] { return other.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 30000));
    const auto [otherRole, otherReceived] = other.get();
    if (myRole == Role::Listening) {
        QCOMPARE(otherRole, Role::HandedOver);
        QCOMPARE(received.at(0).at(0).toStringList(), QStringList{QStringLiteral("/rec/other.mp4")});
    } else {
        QCOMPARE(myRole, Role::HandedOver);
        QCOMPARE(otherRole, Role::Listening);
        QCOMPARE(otherReceived, QStringList{QStringLiteral("/rec/mine.mp4")});
    }
}

QTEST_GUILESS_MAIN(TestInstanceChannel)
#include "tst_instancechannel.moc"
