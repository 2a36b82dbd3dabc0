#include "installlayout.h"

#include <QDir>
#include <QFileInfo>

QString sharedDataFolder(const QString &programFolder)
{
    return QDir::cleanPath(programFolder + QStringLiteral("/../share/velmora_viewer"));
}

bool isInstalledProgram(const QString &programFolder)
{
    return QFileInfo(sharedDataFolder(programFolder)).isDir();
}
