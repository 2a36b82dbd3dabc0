#pragma once

#include <QByteArray>
#include <QString>

// Writes bytes to path whole or not at all: into a new file of a temporary
// name beside it, then renamed over path. The rename replaces whatever
// entry is there and never follows it, so a link in its place is replaced,
// not written through. A folder, FIFO, device or socket in its place is
// refused, and so is an entry of another user in a folder others may write
// (/tmp): a name planted there is theirs. A regular file keeps its mode.
// False with *error saying why.
bool writeWholeFile(const QString &path, const QByteArray &bytes, QString *error);
