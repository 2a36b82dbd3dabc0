#include "instancechannel.h"

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

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

// A message: magic, payload length, then the QStringList in a QDataStream.
constexpr quint32 kMagic = 0x564d5657;          // "VMVW"
constexpr quint32 kMaxPayloadBytes = 4u << 20;  // far above any real list of paths
constexpr int kHeaderBytes = 8;
const char kAnswer = 'A';
// A peer that connects and never finishes its message is dropped.
constexpr int kPeerWaitMs = 2 * InstanceChannel::kAnswerWaitMs;

QString lockPath(const QString &name)
{
    if (QDir::isAbsolutePath(name))
        return name + QStringLiteral(".lock");
    return QDir::temp().filePath(name + QStringLiteral(".lock"));
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
    // Per user, and only the user can enter it.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/velmora_viewer.socket");
#endif
    return QStringLiteral("velmora_viewer-") + qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
}

InstanceChannel::Role InstanceChannel::claim(const QStringList &files)
{
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
    QDataStream in(socket->read(length));
    in.setVersion(QDataStream::Qt_5_15);
    QStringList files;
    in >> files;
    if (in.status() != QDataStream::Ok) {
        qCWarning(lcWindow) << "unreadable launch message; dropped";
        socket->abort();
        return;
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
