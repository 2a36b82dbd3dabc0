#pragma once

#include <QString>

#include <cstdio>

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

// A regular file opened for reading ("rb"), or nullptr with errno set
// (EINVAL for anything else). The check is made on the open file, so what is
// read is what was checked, and a FIFO put in its place cannot hold the open.
std::FILE *openRegularFile(const QString &path);
