#include "instancechannel.h"

#include "pathkind.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QTimer>

#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

// A message: magic, payload length, then the QStringList in a QDataStream.
constexpr quint32 kMagic = 0x564d5657;          // "VMVW"
constexpr quint32 kMaxPayloadBytes = 4u << 20;  // far above any real list of paths
constexpr int kHeaderBytes = 8;
const char kAnswer = 'A';
// A peer that connects and never finishes its message is dropped.
constexpr int kPeerWaitMs = 2 * InstanceChannel::kAnswerWaitMs;

// Beside the socket, so in a folder only this user can enter; empty when
// there is none.
QString lockPath(const QString &name)
{
    if (QDir::isAbsolutePath(name))
        return name + QStringLiteral(".lock");
#ifdef Q_OS_UNIX
    return QString(); // QLocalServer would put it in the shared /tmp
#else
    return QDir::temp().filePath(name + QStringLiteral(".lock")); // per user on Windows
#endif
}

#ifdef Q_OS_UNIX
// Only the user may have made or entered it: anyone else could listen in it
// first and catch the next launch's files.
bool isPrivateFolder(const QString &folder)
{
    struct stat info {};
    if (folder.isEmpty() || ::lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

// A folder of our own under base, made when missing.
QString privateFolderUnder(const QString &base)
{
    if (base.isEmpty() || !QDir().mkpath(base))
        return QString();
    const QString folder = QDir(base).filePath(QStringLiteral("velmora_viewer"));
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    return isPrivateFolder(folder) ? folder : QString();
}
#endif

// The user id at the other end must be ours: a socket of another account
// neither gets our files nor hands us any.
bool peerIsThisUser(const QLocalSocket &socket)
{
#ifdef Q_OS_LINUX
    ucred peer {};
    socklen_t size = sizeof peer;
    if (::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
        size != sizeof peer)
        return false;
    return peer.uid == ::geteuid();
#else
    Q_UNUSED(socket); // the folder's permissions are the only guard here
    return true;
#endif
}

// Only what names a local regular file or folder goes on to the player: a
// URL would reach FFmpeg's network protocols, a FIFO hold a reader for good.
bool isLocalPath(const QString &path)
{
    if (!QDir::isAbsolutePath(path))
        return false;
#ifdef Q_OS_UNIX
    if (!path.startsWith(QLatin1Char('/'))) // ":/..." is absolute to Qt too
        return false;
#endif
    return isReadablePath(path);
}

// The list is read item by item: QDataStream's own reserves whatever count
// the peer claims before reading a byte of it.
bool readFileList(const QByteArray &payload, QStringList &files)
{
    QDataStream in(payload);
    in.setVersion(QDataStream::Qt_5_15);
    quint32 count = 0;
    in >> count;
    // Each entry takes at least its 4-byte length.
    if (in.status() != QDataStream::Ok || quint64(count) * 4 > quint64(payload.size() - 4))
        return false;
    files.reserve(int(count));
    for (quint32 i = 0; i < count; ++i) {
        QString file;
        in >> file;
        if (in.status() != QDataStream::Ok)
            return false;
        files.append(file);
    }
    return in.atEnd();
}

QByteArray message(const QStringList &files)
{
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_5_15);
        out << files;
    }
    QByteArray frame;
    QDataStream out(&frame, QIODevice::WriteOnly);
    out << kMagic << quint32(payload.size());
    frame.append(payload);
    return frame;
}

} // namespace

InstanceChannel::InstanceChannel(const QString &name, QObject *parent)
    : QObject(parent)
    , mName(name.isEmpty() ? defaultName() : name)
{
}

InstanceChannel::~InstanceChannel()
{
    if (mServer)
        mServer->close(); // removes the socket file
}

QString InstanceChannel::defaultName()
{
#ifdef Q_OS_UNIX
    // Not QStandardPaths::RuntimeLocation: without XDG_RUNTIME_DIR it falls
    // back to /tmp/runtime-$USER, which anyone may have made first.
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!isPrivateFolder(folder)) {
        if (!folder.isEmpty())
            qCWarning(lcWindow) << "runtime folder not private, not used:" << folder;
        folder = privateFolderUnder(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
    }
    if (folder.isEmpty())
        folder = privateFolderUnder(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    if (folder.isEmpty())
        return QString();
    return folder + QStringLiteral("/velmora_viewer.socket");
#else
    return QStringLiteral("velmora_viewer-") + qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
#endif
}

InstanceChannel::Role InstanceChannel::claim(const QStringList &files)
{
    if (mName.isEmpty() || lockPath(mName).isEmpty()) {
        qCWarning(lcWindow) << "no folder of this user's own for the launch socket; every launch runs alone";
        return Role::Alone;
    }
    // Two launches at the same moment: one listens, the other reaches it.
    QLockFile lock(lockPath(mName));
    if (!lock.tryLock(kLockWaitMs))
        qCWarning(lcWindow) << "launch lock not taken, going on without it:" << lockPath(mName);

    QLocalSocket socket;
    socket.connectToServer(mName);
    if (!socket.waitForConnected(kConnectWaitMs)) {
        const QLocalSocket::LocalSocketError error = socket.error();
        if (error != QLocalSocket::ServerNotFoundError && error != QLocalSocket::ConnectionRefusedError) {
            qCWarning(lcWindow) << "running viewer not reached:" << socket.errorString();
            return Role::Alone;
        }
        return listen() ? Role::Listening : Role::Alone;
    }
    // The socket is someone's: nobody else needs to wait for this exchange.
    lock.unlock();
    if (!peerIsThisUser(socket)) {
        qCWarning(lcWindow) << "launch socket held by another user; files not handed over:" << mName;
        socket.abort();
        return Role::Alone;
    }

    socket.write(message(files));
    QDeadlineTimer deadline(kAnswerWaitMs);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(int(deadline.remainingTime()))) {
    }
    while (socket.bytesAvailable() < 1 && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
    }
    char answer = 0;
    if (socket.getChar(&answer) && answer == kAnswer) {
        qCDebug(lcWindow) << "files handed to the running viewer:" << files;
        return Role::HandedOver;
    }
    // Its socket stays: it may still be alive, only busy.
    qCWarning(lcWindow) << "the running viewer did not answer; starting another";
    return Role::Alone;
}

bool InstanceChannel::listen()
{
    mServer = new QLocalServer(this);
    mServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!mServer->listen(mName)) {
        // Left by a viewer that ended without closing it: nobody answered.
        QLocalServer::removeServer(mName);
        if (!mServer->listen(mName)) {
            qCWarning(lcWindow) << "cannot listen for later launches:" << mName << mServer->errorString();
            delete mServer;
            mServer = nullptr;
            return false;
        }
    }
    connect(mServer, &QLocalServer::newConnection, this, &InstanceChannel::slotNewConnection);
    qCDebug(lcWindow) << "listening for later launches:" << mServer->fullServerName();
    return true;
}

void InstanceChannel::serve()
{
    mServing = true;
    const QList<QStringList> waiting = std::exchange(mWaiting, {});
    for (const QStringList &files : waiting)
        emit sig_FilesReceived(files);
}

void InstanceChannel::slotNewConnection()
{
    while (QLocalSocket *socket = mServer->nextPendingConnection()) {
        if (!peerIsThisUser(*socket)) {
            qCWarning(lcWindow) << "launch from another user; dropped";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readMessage(socket); });
        QTimer::singleShot(kPeerWaitMs, socket, [socket] { socket->abort(); });
        readMessage(socket);
    }
}

void InstanceChannel::readMessage(QLocalSocket *socket)
{
    if (socket->state() != QLocalSocket::ConnectedState || socket->bytesAvailable() < kHeaderBytes)
        return;
    quint32 magic = 0;
    quint32 length = 0;
    {
        QDataStream header(socket->peek(kHeaderBytes));
        header >> magic >> length;
    }
    if (magic != kMagic || length > kMaxPayloadBytes) {
        qCWarning(lcWindow) << "not a launch message; dropped";
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < kHeaderBytes + qint64(length))
        return;
    socket->skip(kHeaderBytes);
    QStringList files;
    if (!readFileList(socket->read(length), files)) {
        qCWarning(lcWindow) << "unreadable launch message; dropped";
        socket->abort();
        return;
    }
    for (auto file = files.begin(); file != files.end();) {
        if (isLocalPath(*file)) {
            ++file;
        } else {
            qCWarning(lcWindow) << "not a local file or folder; not opened:" << *file;
            file = files.erase(file);
        }
    }
    socket->putChar(kAnswer);
    socket->flush();
    socket->disconnectFromServer();
    qCDebug(lcWindow) << "files from a later launch:" << files;
    if (mServing)
        emit sig_FilesReceived(files);
    else
        mWaiting.append(files);
}
