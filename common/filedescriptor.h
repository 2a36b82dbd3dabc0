#pragma once

#include <unistd.h>

// A POSIX file descriptor, closed when it goes out of scope; -1 holds none.
struct FileDescriptor
{
    int fd = -1;

    FileDescriptor() = default;
    explicit FileDescriptor(int owned)
        : fd(owned)
    {
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor() { reset(); }

    // Hands the descriptor over to the caller, who closes it.
    int release()
    {
        const int owned = fd;
        fd = -1;
        return owned;
    }
    // Closes the one held and takes owned.
    void reset(int owned = -1)
    {
        if (fd >= 0)
            ::close(fd);
        fd = owned;
    }
};
