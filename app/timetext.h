#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// Whole seconds as "hh:mm:ss", each field cut to two digits (an hour count
// of 100 or more shows only its last two digits). Negative counts show 0.
QString timeText(qint64 seconds);

// What a drop of files and folders adds to the file list.
struct DroppedRecordings
{
    QStringList started; // dropped files with a recording suffix, in order: each is started
    QStringList listed;  // recordings found in dropped folders: only listed
};

// The suffixes are compared exactly ("mp4" and "MP4" are taken, "Mp4" is
// not); folders are walked with all subfolders, symbolic links skipped.
DroppedRecordings collectDroppedRecordings(const QList<QUrl> &urls);
