#include "pathkind.h"

#include <QFile>

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
