#include "modules.h"

#include "filedescriptor.h"
#include "installlayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Owned by us or root, and writable by nobody else. A folder on the way may
// be a sticky one that all may write (/tmp): others can add names there but
// never rename or remove ours, and the next step is checked in turn.
bool trusted(const struct stat &info, bool onTheWay = false)
{
    const bool othersWrite = info.st_mode & (S_IWGRP | S_IWOTH);
    return (info.st_uid == 0 || info.st_uid == ::geteuid())
           && (!othersWrite || (onTheWay && (info.st_mode & S_ISVTX)));
}

// Opens the module file for loading when it and every folder from "/" down
// to it are trusted: each step opened below the last without following a
// link and checked on its descriptor, so nothing can be swapped in between.
// The descriptor, or -1 with *error set.
int openTrusted(const QString &path, QString *error)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    const auto refuse = [&](const QString &why) {
        *error = QStringLiteral("%1: %2").arg(path, why);
        return -1;
    };
    const QStringList steps = resolved.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (steps.isEmpty())
        return refuse(QStringLiteral("missing"));
    constexpr int kFolder = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    FileDescriptor folder(::open("/", kFolder));
    struct stat info {};
    for (int i = 0;; ++i) {
        if (folder.fd < 0 || ::fstat(folder.fd, &info) != 0)
            return refuse(qt_error_string(errno));
        const bool own = i + 1 >= steps.size(); // the module's own folder
        if (!trusted(info, !own))
            return refuse(QStringLiteral("a folder on its way is writable by others"));
        if (own)
            break;
        folder.reset(::openat(folder.fd, QFile::encodeName(steps.at(i)).constData(), kFolder));
    }
    FileDescriptor file(::openat(folder.fd, QFile::encodeName(steps.last()).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0)
        return refuse(qt_error_string(errno));
    if (!S_ISREG(info.st_mode) || !trusted(info))
        return refuse(QStringLiteral("not a regular file, or writable by others"));
    return file.release();
}

} // namespace

QString moduleFile(const QString &programFolder, const QString &name)
{
    const QString file = name + QStringLiteral(".so");
    if (QFileInfo(sharedDataFolder(programFolder)).isDir())
        return QDir::cleanPath(programFolder + QStringLiteral("/" VELMORA_MODULES_FROM_PROGRAM "/") + file);
    return QDir(QStringLiteral(VELMORA_BUILD_MODULES)).filePath(file);
}

QFunctionPointer moduleFunction(const QString &name, const char *symbol, QString *error)
{
    // Not QCoreApplication::applicationDirPath(): any thread may ask, and that caches unguarded.
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return libraryFunction(moduleFile(QFileInfo(program).absolutePath(), name), symbol, error);
}

QFunctionPointer libraryFunction(const QString &path, const char *symbol, QString *error)
{
    const FileDescriptor file(openTrusted(path, error));
    if (file.fd < 0)
        return nullptr;
    // The file checked, through its descriptor, not its name again. Kept
    // loaded (no dlclose, RTLD_NODELETE): its code may still run (a view)
    // after any handle is gone.
    const QByteArray opened = "/proc/self/fd/" + QByteArray::number(file.fd);
    void *library = ::dlopen(opened.constData(), RTLD_NOW | RTLD_NODELETE);
    if (!library) {
        *error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(::dlerror()));
        return nullptr;
    }
    const auto function = reinterpret_cast<QFunctionPointer>(::dlsym(library, symbol));
    if (!function)
        *error = QStringLiteral("%1: no %2").arg(path, QLatin1String(symbol));
    return function;
}
