#pragma once

#include "recordingprobe.h"

#include <QDateTime>
#include <QLoggingCategory>
#include <QMetaType>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcFileList)

// One recording of the file list: a row of the FileList table and the
// argument of the panel's signals. A plain copyable value.
struct FileListInfo
{
    int num = 0;         // row of the entry when it was added; not renumbered after deletions
    QString name;        // file name with suffix
    QString path;        // full path as added, slash-separated
    QString date;        // creation time, local, "yyyy-MM-dd hh:mm:ss"
    QString duration;    // "mm:ss", or "hh:mm:ss" from an hour on (see durationText)
    QString resolution;  // "1920x1080"
    QString size;        // MiB with one decimal, no unit
    int durationInt = 0; // s, truncated
    ProbeProblem problem = ProbeProblem::None; // why it cannot be played; not stored
};

Q_DECLARE_METATYPE(FileListInfo)

// Makes FileListInfo usable in queued connections; cheap to call again.
void registerFileListInfo();

// "mm:ss" below an hour, "hh:mm:ss" from an hour on, the hours with every
// digit (65 s -> 01:05, 3725 s -> 01:02:05, 360000 s -> 100:00:00).
QString durationText(qint64 seconds);
// Bytes as MiB with one decimal: 47500000 -> "45.3".
QString sizeText(qint64 bytes);
// Local time as "yyyy-MM-dd hh:mm:ss".
QString dateText(const QDateTime &time);

// Reads everything the list shows of a recording: file facts, then its
// length and picture size from the container. False (and info only partly
// filled) when it has no path or cannot be played. Thread-safe; it reads
// the file, so the GUI thread never calls it.
bool readFileListInfo(const QString &path, FileListInfo &info);
