#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

// What a drop of files and folders adds to the file list.
struct DroppedRecordings
{
    QStringList paths; // in the order of the dropped URLs; a folder's recordings in its walk order
    int start = -1;    // index in paths of the recording to start: the last dropped file (-1: none)
};

// The suffixes of dropped files are compared exactly ("mp4" and "MP4" are
// taken, "Mp4" is not); folders are walked with all subfolders, symbolic
// links skipped, and their recordings are only listed.
DroppedRecordings collectDroppedRecordings(const QList<QUrl> &urls);
