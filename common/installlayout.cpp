#include "installlayout.h"

#include <QDir>
#include <QFileInfo>

QString sharedDataFolder(const QString &programFolder)
{
    return QDir::cleanPath(programFolder + QStringLiteral("/../share/velmora_viewer"));
}

bool keepsUserFileBeside(const QString &programFolder, const QString &fileName)
{
    const QFileInfo dir(programFolder);
    if (!dir.isDir() || !dir.isWritable() || QFileInfo(sharedDataFolder(programFolder)).isDir())
        return false;
    const QFileInfo file(QDir(programFolder).filePath(fileName));
    return !file.exists() || file.isWritable();
}

QString userFileFolder(const QString &programFolder, const QString &fileName, const QString &userFolder)
{
    if (keepsUserFileBeside(programFolder, fileName))
        return programFolder;
    QDir().mkpath(userFolder);
    return userFolder;
}
