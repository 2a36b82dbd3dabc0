// LD_PRELOAD shim that makes files look as if they were read from a slow
// memory card: reads of files whose path contains VELMORA_THROTTLE_MATCH are
// paced through one token bucket for the whole process at
// VELMORA_THROTTLE_BYTES_PER_S, so every reader of the "card" (the GPS pass
// and the demuxer alike) shares its bandwidth. The page cache on these
// virtual machines cannot be emptied (posix_fadvise does not give cold
// reads), so the slowness is made in the process. Everything else passes
// through untouched.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr int kMaxTrackedFd = 65536;       // descriptors above this are never throttled
constexpr double kBurstSeconds = 0.005;    // the bucket holds this much of the rate: no long bursts

std::atomic<bool> gTracked[kMaxTrackedFd];
std::mutex gBucketMutex;
int64_t gBucketNs = 0; // the time at which the bytes charged so far may have been delivered

struct Settings
{
    const char *match = nullptr;
    double bytesPerSecond = 0.0;
    Settings()
    {
        match = std::getenv("VELMORA_THROTTLE_MATCH");
        if (const char *rate = std::getenv("VELMORA_THROTTLE_BYTES_PER_S"))
            bytesPerSecond = std::strtod(rate, nullptr);
        if (match && !*match)
            match = nullptr;
    }
    bool active() const { return match && bytesPerSecond > 0.0; }
};

const Settings &settings()
{
    static const Settings s;
    return s;
}

int64_t nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

template<typename T>
T next(const char *name)
{
    return reinterpret_cast<T>(dlsym(RTLD_NEXT, name));
}

void track(int fd, const char *path)
{
    if (fd >= 0 && fd < kMaxTrackedFd)
        gTracked[fd].store(settings().active() && path && std::strstr(path, settings().match));
}

void untrack(int fd)
{
    if (fd >= 0 && fd < kMaxTrackedFd)
        gTracked[fd].store(false);
}

bool tracked(int fd)
{
    return fd >= 0 && fd < kMaxTrackedFd && gTracked[fd].load(std::memory_order_relaxed);
}

// Charges n bytes to the bucket and sleeps until the card would have
// delivered them.
void pace(ssize_t n)
{
    if (n <= 0)
        return;
    const double rate = settings().bytesPerSecond;
    int64_t due = 0;
    {
        std::lock_guard<std::mutex> lock(gBucketMutex);
        const int64_t now = nowNs();
        const int64_t burst = int64_t(kBurstSeconds * 1e9);
        if (gBucketNs < now - burst)
            gBucketNs = now - burst;
        gBucketNs += int64_t(double(n) / rate * 1e9);
        due = gBucketNs;
    }
    timespec until{};
    until.tv_sec = time_t(due / 1000000000);
    until.tv_nsec = long(due % 1000000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

bool hasMode(int flags)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}

} // namespace

extern "C" {

int open(const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (hasMode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = mode_t(va_arg(ap, int));
        va_end(ap);
    }
    static const auto real = next<int (*)(const char *, int, ...)>("open");
    const int fd = real(path, flags, mode);
    track(fd, path);
    return fd;
}

int open64(const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (hasMode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = mode_t(va_arg(ap, int));
        va_end(ap);
    }
    static const auto real = next<int (*)(const char *, int, ...)>("open64");
    const int fd = real(path, flags, mode);
    track(fd, path);
    return fd;
}

int openat(int dirfd, const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (hasMode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = mode_t(va_arg(ap, int));
        va_end(ap);
    }
    static const auto real = next<int (*)(int, const char *, int, ...)>("openat");
    const int fd = real(dirfd, path, flags, mode);
    track(fd, path);
    return fd;
}

int openat64(int dirfd, const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (hasMode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = mode_t(va_arg(ap, int));
        va_end(ap);
    }
    static const auto real = next<int (*)(int, const char *, int, ...)>("openat64");
    const int fd = real(dirfd, path, flags, mode);
    track(fd, path);
    return fd;
}

int __open_2(const char *path, int flags)
{
    static const auto real = next<int (*)(const char *, int)>("__open_2");
    const int fd = real(path, flags);
    track(fd, path);
    return fd;
}

int __open64_2(const char *path, int flags)
{
    static const auto real = next<int (*)(const char *, int)>("__open64_2");
    const int fd = real(path, flags);
    track(fd, path);
    return fd;
}

int close(int fd)
{
    static const auto real = next<int (*)(int)>("close");
    untrack(fd);
    return real(fd);
}

ssize_t read(int fd, void *buf, size_t count)
{
    static const auto real = next<ssize_t (*)(int, void *, size_t)>("read");
    const ssize_t n = real(fd, buf, count);
    if (tracked(fd))
        pace(n);
    return n;
}

ssize_t __read_chk(int fd, void *buf, size_t count, size_t)
{
    return read(fd, buf, count);
}

ssize_t pread(int fd, void *buf, size_t count, off_t offset)
{
    static const auto real = next<ssize_t (*)(int, void *, size_t, off_t)>("pread");
    const ssize_t n = real(fd, buf, count, offset);
    if (tracked(fd))
        pace(n);
    return n;
}

ssize_t pread64(int fd, void *buf, size_t count, off64_t offset)
{
    static const auto real = next<ssize_t (*)(int, void *, size_t, off64_t)>("pread64");
    const ssize_t n = real(fd, buf, count, offset);
    if (tracked(fd))
        pace(n);
    return n;
}

ssize_t readv(int fd, const struct iovec *iov, int iovcnt)
{
    static const auto real = next<ssize_t (*)(int, const struct iovec *, int)>("readv");
    const ssize_t n = real(fd, iov, iovcnt);
    if (tracked(fd))
        pace(n);
    return n;
}

} // extern "C"
