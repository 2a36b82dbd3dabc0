// LD_PRELOAD shim that reads files like a slow memory card: reads of files
// whose path contains VELMORA_THROTTLE_MATCH are paced through one token
// bucket for the whole process at VELMORA_THROTTLE_BYTES_PER_S, so that the
// GPS pass and the demuxer share the card. The page cache of these virtual
// machines cannot be emptied, so the slowness is made in the process.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr int kMaxFd = 65536;           // descriptors above are never paced
constexpr double kBurstSeconds = 0.005; // the bucket holds this much of the rate: no long bursts

std::atomic<bool> gPaced[kMaxFd];
std::mutex gBucketMutex;
int64_t gBucketNs = 0; // when the bytes charged so far may have been delivered

const char *const gMatch = std::getenv("VELMORA_THROTTLE_MATCH");
const double gRate = std::getenv("VELMORA_THROTTLE_BYTES_PER_S") ? std::atof(std::getenv("VELMORA_THROTTLE_BYTES_PER_S")) : 0.0;

template<typename T> T next(const char *name) { return reinterpret_cast<T>(dlsym(RTLD_NEXT, name)); }

int track(int fd, const char *path)
{
    if (fd >= 0 && fd < kMaxFd)
        gPaced[fd] = gMatch && *gMatch && gRate > 0.0 && path && std::strstr(path, gMatch);
    return fd;
}

// Charges the bytes read from fd to the bucket, then sleeps until the card would have delivered them.
ssize_t pace(int fd, ssize_t n)
{
    if (n <= 0 || fd < 0 || fd >= kMaxFd || !gPaced[fd].load(std::memory_order_relaxed))
        return n;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t due = 0;
    {
        std::lock_guard<std::mutex> lock(gBucketMutex);
        gBucketNs = std::max(gBucketNs, int64_t(now.tv_sec) * 1000000000 + now.tv_nsec - int64_t(kBurstSeconds * 1e9));
        due = gBucketNs += int64_t(double(n) / gRate * 1e9);
    }
    const timespec until{time_t(due / 1000000000), long(due % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {}
    return n;
}

// The open family, with its optional mode when a file may be created; all go through openat64.
int openAt(int dir, const char *path, int flags, mode_t mode)
{
    static const auto real = next<int (*)(int, const char *, int, ...)>("openat64");
    return track(real(dir, path, flags, mode), path);
}
#define VELMORA_OPEN(name, dir, ...)                                                                                             \
    int name(__VA_ARGS__ const char *path, int flags, ...)                                                                       \
    {                                                                                                                            \
        mode_t mode = 0;                                                                                                         \
        if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {                                                             \
            va_list ap;                                                                                                          \
            va_start(ap, flags);                                                                                                 \
            mode = mode_t(va_arg(ap, int));                                                                                      \
            va_end(ap);                                                                                                          \
        }                                                                                                                        \
        return openAt(dir, path, flags, mode);                                                                                   \
    }

} // namespace

extern "C" {

VELMORA_OPEN(open, AT_FDCWD)
VELMORA_OPEN(open64, AT_FDCWD)
VELMORA_OPEN(openat, dir, int dir, )
VELMORA_OPEN(openat64, dir, int dir, )
int __open_2(const char *path, int flags) { return track(next<int (*)(const char *, int)>("__open_2")(path, flags), path); }
int __open64_2(const char *path, int flags) { return track(next<int (*)(const char *, int)>("__open64_2")(path, flags), path); }

int close(int fd)
{
    static const auto real = next<int (*)(int)>("close");
    track(fd, nullptr);
    return real(fd);
}

ssize_t read(int fd, void *buf, size_t count)
{
    static const auto real = next<ssize_t (*)(int, void *, size_t)>("read");
    return pace(fd, real(fd, buf, count));
}

ssize_t __read_chk(int fd, void *buf, size_t count, size_t) { return read(fd, buf, count); }

ssize_t pread(int fd, void *buf, size_t count, off_t offset)
{
    static const auto real = next<ssize_t (*)(int, void *, size_t, off_t)>("pread");
    return pace(fd, real(fd, buf, count, offset));
}

ssize_t pread64(int fd, void *buf, size_t count, off64_t offset)
{
    static const auto real = next<ssize_t (*)(int, void *, size_t, off64_t)>("pread64");
    return pace(fd, real(fd, buf, count, offset));
}

ssize_t readv(int fd, const struct iovec *iov, int count)
{
    static const auto real = next<ssize_t (*)(int, const struct iovec *, int)>("readv");
    return pace(fd, real(fd, iov, count));
}

} // extern "C"
