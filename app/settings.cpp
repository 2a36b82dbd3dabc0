#include "settings.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSettings>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace settings {

QString filePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("//") + QStringLiteral("sysConfig.ini");
}

namespace {

QSettings &store()
{
    static QSettings file(filePath(), QSettings::IniFormat);
    return file;
}

} // namespace

bool readInt(const QString &group, const QString &key, int &value)
{
    const QString name = QStringLiteral("%1/%2").arg(group, key);
    if (!store().contains(name)) {
        qCDebug(lcWindow) << "not found\r\n";
        return false;
    }
    value = store().value(name).toInt();
    return true;
}

bool readString(const QString &group, const QString &key, QString &value)
{
    const QString name = QStringLiteral("%1/%2").arg(group, key);
    if (!store().contains(name)) {
        qCDebug(lcWindow) << "not found\r\n";
        return false;
    }
    value = store().value(name).toString();
    return true;
}

void writeString(const QString &group, const QString &key, const QString &value)
{
    store().beginGroup(group);
    store().setValue(key, value);
    store().endGroup();
}

} // namespace settings
