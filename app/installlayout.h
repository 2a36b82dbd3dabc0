#pragma once

#include <QString>

// The files an installed program shares: <prefix>/share/velmora_viewer for
// a program in <prefix>/bin (the translations live in its "translations").
QString sharedDataFolder(const QString &programFolder);
// Whether the program runs from an installed layout (its shared data folder
// exists). Such a program keeps the user's files (sysConfig.ini,
// FileList.db) in the user's folders even when it could write beside
// itself, as root can in /usr/bin.
bool isInstalledProgram(const QString &programFolder);
