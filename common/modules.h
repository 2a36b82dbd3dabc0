#pragma once

#include <QFunctionPointer>
#include <QString>

// Parts of the program that are loaded on first use (the map's web engine,
// the sound's tempo filter), so that their libraries cost nothing at start.
// An installed program finds them in its library folder (found from the
// program's folder), a program in the build tree in the tree's "modules".
// A module file that another user could have written, or put there by
// writing in any folder from the root down to it, is refused: it would run
// as the user. Thread-safe.

// The file of module `name` ("velmora_mapview") for a program in programFolder.
QString moduleFile(const QString &programFolder, const QString &name);
// The function `symbol` of module `name`, loaded for good; null with *error
// set when the module is missing, refused or lacks it.
QFunctionPointer moduleFunction(const QString &name, const char *symbol, QString *error);
// The same for the library file at `path`.
QFunctionPointer libraryFunction(const QString &path, const char *symbol, QString *error);
