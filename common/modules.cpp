#include "modules.h"

#include "installlayout.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <unistd.h>

namespace {

// Owned by us or root, and writable by nobody else.
bool trusted(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    const uint owner = info.ownerId();
    return (owner == 0 || owner == ::geteuid())
        && !(info.permissions() & (QFileDevice::WriteGroup | QFileDevice::WriteOther));
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
    if (!trusted(path) || !trusted(QFileInfo(path).absolutePath())) {
        *error = QStringLiteral("%1: missing, or writable by others").arg(path);
        return nullptr;
    }
    QLibrary library(path);
    // Its code may still run (a view, a filter) after any handle is gone.
    library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!library.load()) {
        *error = library.errorString();
        return nullptr;
    }
    const QFunctionPointer function = library.resolve(symbol);
    if (!function)
        *error = library.errorString();
    return function;
}
