#pragma once

#include <QString>

// What a path names on this machine, by stat (a link is followed, as a
// user who names it means it). Only regular files and folders are ever
// read: a FIFO holds its reader in open() until someone writes to it, a
// device or a socket never ends.
enum class PathKind {
    Missing, // nothing there, or not to be looked at
    File,    // a regular file
    Folder,
    Other,   // a FIFO, a device, a socket
};

PathKind pathKind(const QString &path);
// A regular file or a folder.
inline bool isReadablePath(const QString &path)
{
    const PathKind kind = pathKind(path);
    return kind == PathKind::File || kind == PathKind::Folder;
}
