#include "wholefile.h"

#include "filedescriptor.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kNameTries = 16; // temporary names taken already before giving up

bool fail(QString *error, const QString &why)
{
    *error = why;
    return false;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

} // namespace

bool writeWholeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    const QFileInfo info(path);
    const QByteArray name = QFile::encodeName(info.fileName());
    if (name.isEmpty())
        return fail(error, qt_error_string(ENOENT));
    // The folder once: every step below happens in the same one.
    const FileDescriptor folder(::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat folderInfo {};
    if (folder.fd < 0 || ::fstat(folder.fd, &folderInfo) != 0)
        return fail(error, qt_error_string(errno));

    mode_t mode = 0666; // a new file: as the umask says
    bool keepMode = false;
    struct stat entry {};
    if (::fstatat(folder.fd, name.constData(), &entry, AT_SYMLINK_NOFOLLOW) == 0) {
        if (entry.st_uid != ::geteuid() && (folderInfo.st_mode & (S_IWGRP | S_IWOTH)))
            return fail(error, QCoreApplication::translate("WholeFile", "another user's file, in a folder others may write"));
        if (S_ISDIR(entry.st_mode))
            return fail(error, qt_error_string(EISDIR));
        if (!S_ISREG(entry.st_mode) && !S_ISLNK(entry.st_mode))
            return fail(error, QCoreApplication::translate("WholeFile", "not a regular file"));
        if (S_ISREG(entry.st_mode)) {
            // A file the user may not write stays as it is, as QSaveFile kept it.
            if (::faccessat(folder.fd, name.constData(), W_OK, AT_EACCESS) != 0)
                return fail(error, qt_error_string(errno));
            mode = entry.st_mode & 07777 & ~mode_t(S_ISUID | S_ISGID);
            keepMode = true;
        }
    } else if (errno != ENOENT) {
        return fail(error, qt_error_string(errno));
    }

    QByteArray temporary;
    FileDescriptor file;
    for (int tries = 0; file.fd < 0 && tries < kNameTries; ++tries) {
        temporary = '.' + name + '.' + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        // Made here and now, or refused: nothing of that name is opened.
        file.fd = ::openat(folder.fd, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           mode & 0666);
        if (file.fd < 0 && errno != EEXIST)
            return fail(error, qt_error_string(errno));
    }
    if (file.fd < 0)
        return fail(error, qt_error_string(EEXIST));
    const bool written = writeAll(file.fd, bytes) && (!keepMode || ::fchmod(file.fd, mode) == 0)
                         && ::fsync(file.fd) == 0;
    const int writeError = errno;
    const bool closed = ::close(file.release()) == 0;
    if (!written || !closed || ::renameat(folder.fd, temporary.constData(), folder.fd, name.constData()) != 0) {
        const int why = !written ? writeError : errno;
        ::unlinkat(folder.fd, temporary.constData(), 0);
        return fail(error, qt_error_string(why));
    }
    ::fsync(folder.fd); // the new name lasts a power cut too
    return true;
}

FileRead readRegularFile(const QString &path, qint64 maxBytes, QByteArray *bytes, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat entry {};
    if (::lstat(name.constData(), &entry) != 0) {
        if (errno == ENOENT)
            return FileRead::Missing;
        fail(error, qt_error_string(errno));
        return FileRead::Refused;
    }
    if (!S_ISREG(entry.st_mode)) {
        fail(error, QCoreApplication::translate("WholeFile", "not a regular file"));
        return FileRead::Refused;
    }
    // Swapped for a link or a FIFO since: the open refuses the one and does not wait on the other.
    const FileDescriptor file(::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    if (file.fd < 0 || ::fstat(file.fd, &opened) != 0) {
        fail(error, qt_error_string(errno));
        return FileRead::Refused;
    }
    if (!S_ISREG(opened.st_mode)) {
        fail(error, QCoreApplication::translate("WholeFile", "not a regular file"));
        return FileRead::Refused;
    }
    if (opened.st_size > maxBytes) {
        fail(error, QCoreApplication::translate("WholeFile", "larger than %1 bytes").arg(maxBytes));
        return FileRead::Refused;
    }
    // Read to the bound, not to the size seen: the file may grow meanwhile.
    Q_ASSERT(maxBytes >= 0 && maxBytes < std::numeric_limits<int>::max());
    bytes->resize(int(maxBytes) + 1);
    qint64 got = 0;
    while (got < bytes->size()) {
        const ssize_t read = ::read(file.fd, bytes->data() + got, size_t(bytes->size() - got));
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0) {
            fail(error, qt_error_string(errno));
            return FileRead::Refused;
        }
        if (read == 0)
            break;
        got += read;
    }
    if (got > maxBytes) {
        fail(error, QCoreApplication::translate("WholeFile", "larger than %1 bytes").arg(maxBytes));
        return FileRead::Refused;
    }
    bytes->resize(int(got));
    return FileRead::Read;
}
