#include "settings.h"

#include "installlayout.h"
#include "wholefile.h"

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
constexpr qint64 kMaxFileBytes = 1 << 20; // far above what the program writes (under 1 KiB)

} // namespace

Settings::Settings(const QString &folder)
    : mPath(filePath(folder.isEmpty() ? defaultFolder() : folder))
{
    qCDebug(lcWindow) << "2222:::::::" << mPath;
    QString error;
    mWritten = loadCopy(&error);
    if (!mWritten)
        qCWarning(lcWindow).noquote() << "settings set aside, defaults used:" << mPath << ":" << error;
    mFile = std::make_unique<QSettings>(mCopyFolder.isValid() ? mCopyFolder.filePath(QLatin1String(kFileName)) : QString(),
                                        QSettings::IniFormat);
}

Settings::~Settings() = default;

QString Settings::defaultFolder()
{
    return chooseFolder(QCoreApplication::applicationDirPath(),
                        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

QString Settings::chooseFolder(const QString &programFolder, const QString &userFolder)
{
    if (userFileFolder(programFolder, QLatin1String(kFileName), userFolder) == programFolder)
        return programFolder;
    const QFileInfo taken(filePath(userFolder));
    if (taken.exists() || taken.isSymLink())
        return userFolder;
    // Only a regular file is taken over, whatever mode it had: the copy is the user's to write.
    QByteArray bytes;
    QString error;
    const QString old = filePath(programFolder);
    const FileRead read = readRegularFile(old, kMaxFileBytes, &bytes, &error);
    if (read == FileRead::Refused)
        qCWarning(lcWindow).noquote() << "settings beside the program set aside:" << old << ":" << error;
    else if (read == FileRead::Read && !writeWholeFile(taken.filePath(), bytes, &error))
        qCWarning(lcWindow).noquote() << "settings not taken over:" << taken.filePath() << ":" << error;
    return userFolder;
}

QString Settings::filePath(const QString &folder)
{
    return folder + QStringLiteral("//") + QLatin1String(kFileName);
}

bool Settings::readInt(const QString &group, const QString &key, int &value) const
{
    const QString name = QStringLiteral("%1/%2").arg(group, key);
    if (!mFile->contains(name)) {
        qCDebug(lcWindow) << "not found\r\n";
        return false;
    }
    value = mFile->value(name).toInt();
    return true;
}

bool Settings::readString(const QString &group, const QString &key, QString &value) const
{
    const QString name = QStringLiteral("%1/%2").arg(group, key);
    if (!mFile->contains(name)) {
        qCDebug(lcWindow) << "not found\r\n";
        return false;
    }
    value = mFile->value(name).toString();
    return true;
}

void Settings::writeString(const QString &group, const QString &key, const QString &value)
{
    mFile->beginGroup(group);
    mFile->setValue(key, value);
    mFile->endGroup();
    if (!mWritten)
        return; // kept for this run only
    // Changes another viewer made since are merged by QSettings, as before.
    QString error;
    if (!loadCopy(&error)) {
        qCWarning(lcWindow).noquote() << "settings not saved:" << mPath << ":" << error;
        return;
    }
    mFile->sync();
    QFile copy(mFile->fileName());
    if (mFile->status() != QSettings::NoError || !copy.open(QIODevice::ReadOnly))
        qCWarning(lcWindow).noquote() << "settings not saved: the private copy cannot be written";
    else if (!writeWholeFile(mPath, copy.readAll(), &error))
        qCWarning(lcWindow).noquote() << "settings not saved:" << mPath << ":" << error;
}

bool Settings::loadCopy(QString *error)
{
    QByteArray bytes;
    if (readRegularFile(mPath, kMaxFileBytes, &bytes, error) == FileRead::Refused)
        return false;
    if (!mCopyFolder.isValid()) {
        *error = mCopyFolder.errorString();
        return false;
    }
    QFile copy(mCopyFolder.filePath(QLatin1String(kFileName)));
    if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size()) {
        *error = copy.errorString();
        return false;
    }
    return true;
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
