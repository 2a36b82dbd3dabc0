#pragma once

#include <QByteArray>
#include <QString>

// Writes bytes to path whole or not at all: into a new file of a temporary
// name beside it, then renamed over path. The rename replaces whatever
// entry is there and never follows it, so a link in its place is replaced,
// not written through. A folder, FIFO, device or socket in its place is
// refused, and so is an entry of another user in a folder others may write
// (/tmp): a name planted there is theirs. A regular file keeps its mode;
// one the user may not write is refused.
// False with *error saying why.
bool writeWholeFile(const QString &path, const QByteArray &bytes, QString *error);

enum class FileRead {
    Read,    // *bytes holds the whole file
    Missing, // nothing of that name
    Refused, // a link, FIFO, folder, device, a file over the bound, or unreadable: *error says which
};
// Reads path whole when it is a regular file of at most maxBytes (under
// 2 GiB): checked before it is opened and again on the open descriptor, so
// that neither a link nor a FIFO (whose open would block) is ever read.
FileRead readRegularFile(const QString &path, qint64 maxBytes, QByteArray *bytes, QString *error);
