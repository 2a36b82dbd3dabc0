#pragma once

// mpv as an anchor: its command line as the benchmarks start it, and its
// JSON IPC (one JSON object per line over a Unix socket).

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include <sys/types.h>

namespace bench {

constexpr int kMpvWindowWidth = 1280;
constexpr int kMpvWindowHeight = 720;

// mpv without user configuration, X11 output, no sound device, software
// decoding, a 1280x720 window: the settings every benchmark compares against.
QStringList mpvBaseArgs();

class MpvIpc
{
public:
    MpvIpc() = default;
    MpvIpc(const MpvIpc &) = delete;
    MpvIpc &operator=(const MpvIpc &) = delete;
    ~MpvIpc();

    // Connects to mpv's socket, retrying until it exists.
    bool connectTo(const QString &path, int timeoutMs);
    bool send(const QJsonArray &command, int requestId);
    // The next message matching the predicate, or nothing on timeout.
    std::optional<QJsonObject> waitFor(const std::function<bool(const QJsonObject &)> &match, int timeoutMs);
    // Sends a command and waits for its reply.
    std::optional<QJsonObject> request(const QJsonArray &command, int timeoutMs);
    int nextId() { return ++mNextId; }

private:
    int mFd = -1;
    QByteArray mBuffer;
    int mNextId = 0;
};

bool isMpvEvent(const QJsonObject &o, const char *name);

// Starts mpv (mpvBaseArgs() + extra, with its JSON IPC on socketPath and
// env added) as a child process and connects ipc to it; the process id, or
// 0 when it did not start or never opened its socket (it is then ended).
pid_t startMpv(const QStringList &extra, const QString &socketPath, const QMap<QString, QString> &env,
               const QString &logBase, MpvIpc &ipc, int timeoutMs);
// Waits until mpv has a file loaded (its position is known).
bool waitMpvLoaded(MpvIpc &ipc, int timeoutMs);

} // namespace bench
