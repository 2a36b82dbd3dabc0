#include "mpv.h"

#include "benchtext.h"
#include "childprocess.h"

#include <QFile>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>
#include <thread>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace bench {

namespace {

constexpr int kConnectRetryMs = 10; // mpv creates its socket a little after start
constexpr int kLoadPollMs = 20;     // how often to ask whether the file is loaded

} // namespace

QStringList mpvBaseArgs()
{
    return {QStringLiteral("mpv"), QStringLiteral("--no-config"), QStringLiteral("--vo=x11"), QStringLiteral("--ao=null"),
            QStringLiteral("--hwdec=no"), QStringLiteral("--geometry=%1x%2").arg(kMpvWindowWidth).arg(kMpvWindowHeight)};
}

MpvIpc::~MpvIpc()
{
    if (mFd >= 0)
        ::close(mFd);
}

bool MpvIpc::connectTo(const QString &path, int timeoutMs)
{
    const Clock::time_point start = Clock::now();
    const QByteArray name = QFile::encodeName(path);
    while (secondsSince(start) * 1000.0 < timeoutMs) {
        mFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, name.constData(), sizeof addr.sun_path - 1);
        if (::connect(mFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0)
            return true;
        ::close(mFd);
        mFd = -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(kConnectRetryMs));
    }
    return false;
}

bool MpvIpc::send(const QJsonArray &command, int requestId)
{
    const QJsonObject object{{QStringLiteral("command"), command}, {QStringLiteral("request_id"), requestId}};
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    const char *p = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(mFd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

std::optional<QJsonObject> MpvIpc::waitFor(const std::function<bool(const QJsonObject &)> &match, int timeoutMs)
{
    const Clock::time_point start = Clock::now();
    for (;;) {
        const int nl = mBuffer.indexOf('\n');
        if (nl >= 0) {
            const QByteArray line = mBuffer.left(nl);
            mBuffer.remove(0, nl + 1);
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (match(object))
                return object;
            continue;
        }
        const int left = timeoutMs - int(secondsSince(start) * 1000.0);
        if (left <= 0)
            return std::nullopt;
        pollfd pfd{mFd, POLLIN, 0};
        const int rc = ::poll(&pfd, 1, left);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            return std::nullopt;
        char chunk[4096];
        const ssize_t n = ::read(mFd, chunk, sizeof chunk);
        if (n <= 0)
            return std::nullopt;
        mBuffer.append(chunk, int(n));
    }
}

std::optional<QJsonObject> MpvIpc::request(const QJsonArray &command, int timeoutMs)
{
    const int id = nextId();
    if (!send(command, id))
        return std::nullopt;
    return waitFor([id](const QJsonObject &o) { return o.value(QStringLiteral("request_id")).toInt() == id; }, timeoutMs);
}

bool isMpvEvent(const QJsonObject &o, const char *name)
{
    return o.value(QStringLiteral("event")).toString() == QLatin1String(name);
}

pid_t startMpv(const QStringList &extra, const QString &socketPath, const QMap<QString, QString> &env,
               const QString &logBase, MpvIpc &ipc, int timeoutMs)
{
    QFile::remove(socketPath);
    const pid_t pid = startChild(mpvBaseArgs() << extra << QStringLiteral("--input-ipc-server=") + socketPath, env, logBase);
    if (pid && !ipc.connectTo(socketPath, timeoutMs)) {
        endChild(pid, SIGKILL);
        return 0;
    }
    return pid;
}

bool waitMpvLoaded(MpvIpc &ipc, int timeoutMs)
{
    const Clock::time_point start = Clock::now();
    while (secondsSince(start) * 1000.0 < timeoutMs) {
        const auto reply = ipc.request({QStringLiteral("get_property"), QStringLiteral("time-pos")}, timeoutMs);
        if (reply && reply->value(QStringLiteral("error")).toString() == QLatin1String("success"))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(kLoadPollMs));
    }
    return false;
}

} // namespace bench
