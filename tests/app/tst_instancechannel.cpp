// The hand-over between launches: a later launch's files reach the viewer
// that listens, whole and in order, also while its window is still being
// made; a socket left by a viewer that died is taken over; a viewer that
// does not answer is neither waited for without end nor robbed of its socket.
// Nothing another account or a malformed message sends gets through.

#include "instancechannel.h"
#include "reap.h"
#include "waitfor.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>

#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
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

// A launch message around payload, framed as a later launch frames it.
QByteArray frame(const QByteArray &payload)
{
    QByteArray bytes;
    QDataStream(&bytes, QIODevice::WriteOnly) << quint32(0x564d5657) << quint32(payload.size());
    return bytes + payload;
}

sockaddr_un socketAddress(const QString &name)
{
    const QByteArray path = QFile::encodeName(name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    Q_ASSERT(size_t(path.size()) < sizeof address.sun_path);
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return address;
}

// Forks a child that runs body as the account nobody; body may only make
// async-signal-safe calls and returns the child's exit code.
template<typename Body>
pid_t forkAsNobody(Body body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(20); // never outlives the test
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(100);
        ::_exit(body());
    }
    return pid;
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
    void anotherUsersSocketGetsNothing();
    void defaultNameIsInAPrivateFolder();

private:
    QString socketName() const { return mDir->filePath(QStringLiteral("viewer.socket")); }
    // Received files must exist.
    QString recording(const QString &name) const
    {
        QFile file(mDir->filePath(name));
        return file.open(QIODevice::WriteOnly) ? file.fileName() : QString();
    }

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
    QCOMPARE(first.claim({recording(QStringLiteral("first.mp4"))}), Role::Listening);
    first.serve();
    QSignalSpy received(&first, &InstanceChannel::sig_FilesReceived);

    const QStringList files{recording(QStringLiteral("a b.mp4")), recording(QStringLiteral("走行 2025.MOV")),
                            recording(QStringLiteral("c,d;e.ts")), mDir->path()};
    // Among them what is no local file or folder, a URL first of all (the
    // player would fetch it): dropped.
    auto later = launch(socketName(), {QStringLiteral("http://127.0.0.1:9/a.mp4"), files[0], QStringLiteral("a.mp4"),
                                       files[1], mDir->filePath(QStringLiteral("gone.mp4")), QStringLiteral(":/a.mp4"),
                                       QStringLiteral("/dev/null"), files[2], files[3]});
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
    const QString one = recording(QStringLiteral("1.mp4"));
    const QString two = recording(QStringLiteral("2.mp4"));
    for (const QString &file : {one, two}) {
        auto later = launch(socketName(), {file});
        QVERIFY(finished(later));
        QCOMPARE(later.get(), Role::HandedOver);
    }
    QCOMPARE(received.count(), 0);
    first.serve();
    QCOMPARE(received.count(), 2);
    QCOMPARE(received.at(0).at(0).toStringList(), QStringList{one});
    QCOMPARE(received.at(1).at(0).toStringList(), QStringList{two});
}

// A viewer ended by a signal leaves its socket file behind.
void TestInstanceChannel::socketOfADeadViewerIsTakenOver()
{
    const sockaddr_un address = socketAddress(socketName());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    ::close(fd);
    QVERIFY(QFileInfo::exists(socketName()));

    InstanceChannel next(socketName());
    QCOMPARE(next.claim({}), Role::Listening);
    next.serve();
    QSignalSpy received(&next, &InstanceChannel::sig_FilesReceived);
    auto later = launch(socketName(), {recording(QStringLiteral("x.mp4"))});
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

    // Not a launch; a list of 2^31-1 names in 4 bytes (whose room taken in
    // advance once ended the viewer); 3 names with room for 2.
    for (const QByteArray &garbage : {QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\n"),
                                      frame(QByteArray::fromHex("7fffffff")),
                                      frame(QByteArray::fromHex("00000003ffffffffffffffff"))}) {
        QLocalSocket stranger;
        stranger.connectToServer(socketName());
        QVERIFY(stranger.waitForConnected(5000));
        stranger.write(garbage);
        stranger.flush();
        QVERIFY(waitFor([&] { return stranger.state() == QLocalSocket::UnconnectedState; }, 10000));
        QCOMPARE(stranger.bytesAvailable(), 0);
        QCOMPARE(received.count(), 0);
    }

    // The channel still serves real launches.
    auto later = launch(socketName(), {recording(QStringLiteral("x.mp4"))});
    QVERIFY(finished(later));
    QCOMPARE(later.get(), Role::HandedOver);
    QVERIFY(waitFor([&] { return received.count() == 1; }));
}

// A double-click that starts two viewers: whichever claims first listens,
// the other hands its file over; never two windows, never a lost file.
void TestInstanceChannel::launchesAtTheSameMomentMeetOnce()
{
    const QString otherFile = recording(QStringLiteral("other.mp4"));
    const QString mineFile = recording(QStringLiteral("mine.mp4"));
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
        const Role role = channel.claim({otherFile});
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
    const Role myRole = mine.claim({mineFile});
    if (myRole == Role::Listening) {
        mine.serve();
        QVERIFY(waitFor([&] { return received.count() == 1; }, 20000));
    }
    settled = true;
    QVERIFY(waitFor([&] { return other.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 30000));
    const auto [otherRole, otherReceived] = other.get();
    if (myRole == Role::Listening) {
        QCOMPARE(otherRole, Role::HandedOver);
        QCOMPARE(received.at(0).at(0).toStringList(), QStringList{otherFile});
    } else {
        QCOMPARE(myRole, Role::HandedOver);
        QCOMPARE(otherRole, Role::Listening);
        QCOMPARE(otherReceived, QStringList{mineFile});
    }
}

// A socket path another account can reach: neither side trusts a peer of
// another user, whichever of them got there first.
void TestInstanceChannel::anotherUsersSocketGetsNothing()
{
    if (::geteuid() != 0)
        QSKIP("needs root to run a peer as another user");
    QVERIFY(::chmod(QFile::encodeName(mDir->path()).constData(), 0777) == 0);
    const sockaddr_un address = socketAddress(socketName());
    const auto *where = reinterpret_cast<const sockaddr *>(&address);

    // Its viewer listens first and answers like one: our launch must not
    // write a byte to it.
    int ready[2];
    QVERIFY(::pipe(ready) == 0);
    pid_t peer = forkAsNobody([&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::bind(fd, where, sizeof address) != 0 || ::listen(fd, 1) != 0 || ::write(ready[1], "L", 1) != 1)
            return 101;
        const int later = ::accept(fd, nullptr, nullptr);
        char buffer[512];
        ssize_t total = 0;
        for (ssize_t got; (got = ::read(later, buffer, sizeof buffer)) > 0; total += got) {
            if (total == 0 && ::write(later, "A", 1) != 1)
                return 102;
        }
        return total > 0 ? 1 : 0;
    });
    QVERIFY(peer > 0);
    ::close(ready[1]);
    pollfd listening{ready[0], POLLIN, 0};
    QCOMPARE(::poll(&listening, 1, 10000), 1);
    ::close(ready[0]);
    QVERIFY(InstanceChannel(socketName()).claim({recording(QStringLiteral("a.mp4"))}) != Role::HandedOver);
    QCOMPARE(reap(peer), 0);
    ::unlink(address.sun_path);

    // We listen and it reaches our socket: its files are not taken, nor answered.
    InstanceChannel first(socketName());
    QCOMPARE(first.claim({}), Role::Listening);
    first.serve();
    QSignalSpy received(&first, &InstanceChannel::sig_FilesReceived);
    QVERIFY(::chmod(address.sun_path, 0777) == 0);
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out << QStringList{recording(QStringLiteral("b.mp4"))};
    const QByteArray message = frame(payload);
    peer = forkAsNobody([&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(fd, where, sizeof address) != 0 ||
            ::write(fd, message.constData(), size_t(message.size())) != message.size())
            return 101;
        char answer = 0;
        return ::read(fd, &answer, 1) == 1 && answer == 'A' ? 1 : 0;
    });
    QVERIFY(peer > 0);
    QCOMPARE(reap(peer), 0);
    QCOMPARE(received.count(), 0);
}

// Whatever XDG_RUNTIME_DIR says, the socket lies in a folder only this user
// owns and enters, or there is none. (The last test: it leaves the
// environment as it found it.)
void TestInstanceChannel::defaultNameIsInAPrivateFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", runtime); });
    const auto path = [&](const char *name) { return QFile::encodeName(mDir->filePath(QLatin1String(name))); };
    const auto makeFolder = [&](const char *name, mode_t mode) {
        return QDir().mkpath(QFile::decodeName(path(name))) && ::chmod(path(name).constData(), mode) == 0;
    };
    QVERIFY(makeFolder("open", 0755) && makeFolder("private", 0700) && ::symlink(path("private"), path("link")) == 0);
    qputenv("XDG_CACHE_HOME", path("cache"));
    qputenv("XDG_CONFIG_HOME", path("config"));
    for (const char *folder : {"open", "link", ""}) {
        *folder ? qputenv("XDG_RUNTIME_DIR", path(folder)) : qunsetenv("XDG_RUNTIME_DIR");
        struct stat info {};
        QVERIFY2(::lstat(QFile::encodeName(QFileInfo(InstanceChannel::defaultName()).path()).constData(), &info) == 0
                     && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0,
                 folder);
    }
    // Our folders opened to others by someone: no channel at all.
    QVERIFY(makeFolder("cache/velmora_viewer", 0777) && makeFolder("config/velmora_viewer", 0777));
    QCOMPARE(InstanceChannel::defaultName(), QString());
    QCOMPARE(InstanceChannel().claim({}), Role::Alone);
    qunsetenv("XDG_CACHE_HOME");
    qunsetenv("XDG_CONFIG_HOME");
}

QTEST_GUILESS_MAIN(TestInstanceChannel)
#include "tst_instancechannel.moc"
