#include "settings.h"

#include "installlayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

// The window's category: the settings are the window's.
Q_LOGGING_CATEGORY(lcWindow, "velmora.window")

namespace {

const char kFileName[] = "sysConfig.ini";

} // namespace

Settings::Settings(const QString &folder)
    : mFile(filePath(folder.isEmpty() ? defaultFolder() : folder), QSettings::IniFormat)
{
    qCDebug(lcWindow) << "2222:::::::" << mFile.fileName();
}

QString Settings::defaultFolder()
{
    return chooseFolder(QCoreApplication::applicationDirPath(),
                        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

QString Settings::chooseFolder(const QString &programFolder, const QString &userFolder)
{
    if (userFileFolder(programFolder, QLatin1String(kFileName), userFolder) == programFolder)
        return programFolder;
    const QString old = filePath(programFolder);
    const QString taken = filePath(userFolder);
    // A copy of a read-only file would be read-only too.
    if (QFileInfo::exists(old) && !QFileInfo::exists(taken) && QFile::copy(old, taken))
        QFile::setPermissions(taken, QFile::permissions(taken) | QFile::WriteOwner);
    return userFolder;
}

QString Settings::filePath(const QString &folder)
{
    return folder + QStringLiteral("//") + QLatin1String(kFileName);
}

bool Settings::readInt(const QString &group, const QString &key, int &value) const
{
    const QString name = QStringLiteral("%1/%2").arg(group, key);
    if (!mFile.contains(name)) {
        qCDebug(lcWindow) << "not found\r\n";
        return false;
    }
    value = mFile.value(name).toInt();
    return true;
}

bool Settings::readString(const QString &group, const QString &key, QString &value) const
{
    const QString name = QStringLiteral("%1/%2").arg(group, key);
    if (!mFile.contains(name)) {
        qCDebug(lcWindow) << "not found\r\n";
        return false;
    }
    value = mFile.value(name).toString();
    return true;
}

void Settings::writeString(const QString &group, const QString &key, const QString &value)
{
    mFile.beginGroup(group);
    mFile.setValue(key, value);
    mFile.endGroup();
    mFile.sync();
}

int languageFromSetting(int stored)
{
    return stored < Chinese || stored > Japanese ? English : stored;
}

QString translationFile(int language)
{
    switch (languageFromSetting(language)) {
    case Chinese:
        return QStringLiteral("ch.pm");
    case Japanese:
        return QStringLiteral("jp.pm");
    default:
        return QStringLiteral("en.pm");
    }
}

QString translationsFolder()
{
    const QDir program(QCoreApplication::applicationDirPath());
    const QString beside = program.filePath(QStringLiteral("translations"));
    if (QFileInfo(beside).isDir())
        return beside;
    return sharedDataFolder(program.path()) + QStringLiteral("/translations");
}
