#include "droppedrecordings.h"

#include "pathkind.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

const QStringList &exactSuffixes()
{
    static const QStringList suffixes{QStringLiteral("mov"), QStringLiteral("wav"), QStringLiteral("mp4"),
                                      QStringLiteral("ts"),  QStringLiteral("MOV"), QStringLiteral("WAV"),
                                      QStringLiteral("MP4"), QStringLiteral("TS")};
    return suffixes;
}

class Walk
{
public:
    Walk(const std::atomic<bool> *stop, const WalkBounds &bounds)
        : mStop(stop)
        , mBounds(bounds)
    {
    }

    // False once a bound or stop ends the addition.
    bool lookAt()
    {
        if (mStop && mStop->load())
            return false;
        if (mLooked >= mBounds.entries) {
            found.cut = true;
            return false;
        }
        ++mLooked;
        return true;
    }
    bool take(const QString &path)
    {
        if (found.paths.size() >= mBounds.recordings) {
            found.cut = true;
            return false;
        }
        found.paths.append(path);
        return true;
    }

    // The folder's recordings, then its subfolders', each by name; false
    // when ended early.
    bool folder(const QString &path, int depth)
    {
        QStringList files;
        QStringList subfolders;
        bool ended = false;
        {
            // Every name counts, what is skipped too: the bound is on the listing's work.
            QDirIterator entries(path, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
            while (entries.hasNext() && !ended) {
                ended = !lookAt();
                if (ended)
                    break;
                entries.next();
                const QFileInfo entry = entries.fileInfo(); // its type from the listing
                if (entry.isSymLink() || entry.fileName().startsWith(QLatin1Char('.')))
                    continue;
                if (entry.isDir())
                    subfolders.append(entry.filePath());
                else if (entry.isFile() && exactSuffixes().contains(entry.suffix(), Qt::CaseInsensitive))
                    files.append(entry.filePath());
            }
        }
        // The disk's order is no order: a camera's one-minute clips must play as one drive.
        std::sort(files.begin(), files.end(), naturalLess);
        for (const QString &file : files) {
            if (!take(file))
                return false;
        }
        if (ended)
            return false;
        std::sort(subfolders.begin(), subfolders.end(), naturalLess);
        for (const QString &subfolder : subfolders) {
            if (depth >= mBounds.depth) {
                found.cut = true;
                break;
            }
            if (!folder(subfolder, depth + 1))
                return false;
        }
        return true;
    }

    DroppedRecordings found;

private:
    const std::atomic<bool> *mStop;
    const WalkBounds mBounds;
    int mLooked = 0;
};

} // namespace

DroppedRecordings collectRecordings(const QStringList &named, NamedBy by, const std::atomic<bool> *stop,
                                    const WalkBounds &bounds)
{
    Walk walk(stop, bounds);
    QSet<QString> walked;
    for (const QString &path : named) {
        if (!walk.lookAt())
            break;
        const PathKind kind = pathKind(path);
        if (kind == PathKind::Folder) {
            const QString key = QDir::cleanPath(path);
            if (!walked.contains(key)) {
                walked.insert(key);
                if (!walk.folder(key, 0))
                    break;
            }
            continue;
        }
        // Otherwise the reader says why a file it cannot open is no recording.
        if (by == NamedBy::Drop
            && (kind != PathKind::File || !exactSuffixes().contains(QFileInfo(path).suffix(), Qt::CaseSensitive)))
            continue;
        const bool starts = by == NamedBy::Drop     ? true
                            : by == NamedBy::Launch ? walk.found.start < 0
                                                    : named.size() == 1;
        if (starts)
            walk.found.start = walk.found.paths.size();
        if (!walk.take(path))
            break;
    }
    return walk.found;
}

bool naturalLess(const QString &a, const QString &b)
{
    const auto digit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    int i = 0;
    int j = 0;
    int tie = 0; // when nothing else differs: the first difference in leading zeros or in case
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            int from = i;
            int fromB = j;
            while (from < a.size() && a[from] == QLatin1Char('0'))
                ++from;
            while (fromB < b.size() && b[fromB] == QLatin1Char('0'))
                ++fromB;
            int to = from;
            int toB = fromB;
            while (to < a.size() && digit(a[to]))
                ++to;
            while (toB < b.size() && digit(b[toB]))
                ++toB;
            // Without leading zeros, a longer number is the larger one.
            if (to - from != toB - fromB)
                return to - from < toB - fromB;
            const int order = a.midRef(from, to - from).compare(b.midRef(fromB, toB - fromB));
            if (order != 0)
                return order < 0;
            if (tie == 0)
                tie = (from - i) - (fromB - j);
            i = to;
            j = toB;
            continue;
        }
        const QChar x = a[i].toCaseFolded();
        const QChar y = b[j].toCaseFolded();
        if (x != y)
            return x < y;
        if (tie == 0 && a[i] != b[j])
            tie = a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return tie < 0;
}

QString AdditionTally::text() const
{
    QString line = added > 0 ? tr("%n recording(s) added to the list", nullptr, added)
                             : tr("No recording added to the list");
    QStringList skipped;
    if (unplayable > 0)
        skipped.append(tr("%n could not be played", nullptr, unplayable));
    if (known > 0)
        skipped.append(tr("%n already listed", nullptr, known));
    if (!skipped.isEmpty())
        line = tr("%1 (%2)").arg(line, skipped.join(tr(", ")));
    if (cut)
        line = tr("%1. %2").arg(line, tr("Not all of the folder was added: it holds too many files, or folders too deep"));
    return line;
}

QStringList droppedPaths(const QList<QUrl> &urls)
{
    QStringList paths;
    for (const QUrl &url : urls) {
        const QString path = url.toLocalFile();
        if (!path.isEmpty())
            paths.append(QFileInfo(path).absoluteFilePath());
    }
    return paths;
}
