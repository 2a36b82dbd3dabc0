#pragma once

// Whole files for tests: written with their folder, read back.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

inline bool writeBytes(const QString &path, const QByteArray &bytes = QByteArray())
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(bytes) == bytes.size();
}

// Empty when the file cannot be read.
inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Descriptors this process holds open.
inline int openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
        .size();
}
