#pragma once

#include <QCoreApplication>
#include <QList>
#include <QStringList>
#include <QUrl>

#include <atomic>

// What one addition to the file list (a drop, a launch's files, the add
// dialog's choice) lists.
struct DroppedRecordings
{
    QStringList paths; // in the order named; a folder's recordings where it was named, by name (naturalLess)
    int start = -1;    // index in paths of the recording to start (-1: none)
    bool cut = false;  // a bound ended a folder's walk before its end
};

// What one addition came to, for the status line.
struct AdditionTally
{
    Q_DECLARE_TR_FUNCTIONS(FormFileList)

public:
    int added = 0;      // recordings listed
    int unplayable = 0; // read and refused: no recording, no pictures, gone
    int known = 0;      // listed already, or on their way (named twice)
    bool cut = false;   // a bound ended a folder's walk
    // "12 recordings added to the list (1 could not be played, 2 already
    // listed)", in the language loaded.
    QString text() const;
};

// How the files named are taken; folders are walked alike and only listed.
enum class NamedBy {
    Drop,   // a file only with a recording's suffix, compared exactly ("mp4" and "MP4", not "Mp4"); the last starts
    Launch, // a file whatever its suffix (a file manager chose it by its type); the first starts
    Dialog, // a file whatever its suffix; a lone one starts, of several none
};

// One addition's walk. A camera card is a few folders deep and holds a few
// thousand clips; more is a disk (or a loop of bind mounts), not a card,
// and is cut there, with a word to the user.
struct WalkBounds
{
    int depth = 16;           // folders below a named one
    int entries = 200000;     // names read, all folders together: about a second of a local disk's listing
    int recordings = 10000;   // paths taken: each becomes a read of its file and a row
};

// The named files and the recordings of the named folders with all their
// subfolders (any letter case: .mov .wav .mp4 .ts): a folder's recordings
// by name, then its subfolders by name. Links are neither listed
// nor followed, hidden names are skipped, a folder named twice is walked
// once. It reads folders, so it runs on a worker; stop ends it early with
// what was found so far.
DroppedRecordings collectRecordings(const QStringList &named, NamedBy by, const std::atomic<bool> *stop = nullptr,
                                    const WalkBounds &bounds = WalkBounds());
// The local paths of dropped URLs, in order; others are left out.
QStringList droppedPaths(const QList<QUrl> &urls);
// Names in the order a person reads them, the same in every locale: digits
// compare as numbers ("clip2" before "clip10", "180000" before "180021"),
// the rest without regard to case; leading zeros, then case, decide last.
bool naturalLess(const QString &a, const QString &b);
