#pragma once

#include <QString>

// The files an installed program shares: <prefix>/share/velmora_viewer for
// a program in <prefix>/bin (the translations live in its "translations").
QString sharedDataFolder(const QString &programFolder);
// Whether the user's file fileName (sysConfig.ini, FileList.db) may live
// beside the program: its folder and the file, if there, can be written,
// and the program does not run from an installed layout (one with its
// shared data folder), which keeps such files in the user's folders even
// when it could write beside itself, as root can in /usr/bin.
bool keepsUserFileBeside(const QString &programFolder, const QString &fileName);
// The folder where the user's file fileName lives: programFolder when the
// file may live beside the program (keepsUserFileBeside), else userFolder,
// made when it is missing.
QString userFileFolder(const QString &programFolder, const QString &fileName, const QString &userFolder);
