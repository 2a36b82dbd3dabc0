#include "processend.h"

#include <QObject>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

int gSignalPipe[2] = {-1, -1}; // written by the handler, read on the window's thread

void caught(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void catchTermination()
{
    if (gSignalPipe[0] >= 0 || ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = caught;
    sigemptyset(&action.sa_mask);
    // Once only: a second signal is for a window that does not close.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

void onTermination(QObject *context, std::function<void()> close)
{
    if (gSignalPipe[0] < 0)
        return;
    auto *notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [close = std::move(close)] {
        char bytes[16];
        while (::read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        close();
    });
}

void endWithin(int code, int ms)
{
    static std::atomic<bool> armed{false};
    if (armed.exchange(true))
        return;
    std::thread([code, ms] {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        static const char kText[] = "velmora: a worker still waits for a file; the process ends without it\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, kText, sizeof kText - 1);
        ::_exit(code);
    }).detach();
}
