#pragma once

// A local HTTP address that counts who calls and drops them at once, so
// that a fetch that should never happen shows, and fails fast if it does.

#include <QFile>
#include <QString>

#include <atomic>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

class CountingServer
{
public:
    CountingServer()
    {
        mSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (mSocket < 0 || ::bind(mSocket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(mSocket, 8) != 0
            || ::getsockname(mSocket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        mUrl = QStringLiteral("http://127.0.0.1:%1/").arg(ntohs(address.sin_port));
        mDoor = std::thread([this] {
            while (!mDone.load()) {
                pollfd waiting{mSocket, POLLIN, 0};
                if (::poll(&waiting, 1, 20) > 0) {
                    const int caller = ::accept(mSocket, nullptr, nullptr);
                    if (caller >= 0) {
                        ++mCallers;
                        ::close(caller);
                    }
                }
            }
        });
    }
    ~CountingServer()
    {
        mDone = true;
        if (mDoor.joinable())
            mDoor.join();
        if (mSocket >= 0)
            ::close(mSocket);
    }

    // Empty when the server could not start.
    QString url() const { return mUrl; }
    int callers() const { return mCallers.load(); }

    // A local HLS playlist whose one segment is on this server.
    bool writePlaylist(const QString &path) const
    {
        QFile playlist(path);
        return playlist.open(QIODevice::WriteOnly)
               && playlist.write(QStringLiteral("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.0,\n%1a.ts\n#EXT-X-ENDLIST\n")
                                     .arg(mUrl).toUtf8())
                      > 0;
    }

private:
    int mSocket = -1;
    QString mUrl;
    std::atomic<int> mCallers{0};
    std::atomic<bool> mDone{false};
    std::thread mDoor;
};
