#pragma once

#include <QString>

// The settings file beside the program, "sysConfig.ini" (INI format).
// Reads leave the caller's default when the key is missing.
namespace settings {

QString filePath();
bool readInt(const QString &group, const QString &key, int &value);
bool readString(const QString &group, const QString &key, QString &value);
void writeString(const QString &group, const QString &key, const QString &value);

} // namespace settings
