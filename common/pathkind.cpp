#include "pathkind.h"

#include <QFile>

#include "filedescriptor.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

PathKind pathKind(const QString &path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return PathKind::Missing;
    if (S_ISREG(info.st_mode))
        return PathKind::File;
    return S_ISDIR(info.st_mode) ? PathKind::Folder : PathKind::Other;
}

std::FILE *openRegularFile(const QString &path)
{
    // O_NONBLOCK: opening a FIFO returns at once instead of waiting for a writer.
    FileDescriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.fd < 0)
        return nullptr;
    struct stat info {};
    if (::fstat(file.fd, &info) != 0)
        return nullptr;
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        return nullptr;
    }
    const int flags = ::fcntl(file.fd, F_GETFL);
    if (flags < 0 || ::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return nullptr;
    std::FILE *stream = ::fdopen(file.fd, "rb");
    if (stream)
        file.release();
    return stream;
}
