#include "droppedrecordings.h"

#include "pathkind.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

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
        if (mLooked >= mBounds.entries || int(found.paths.size()) >= mBounds.recordings) {
            found.cut = true;
            return false;
        }
        ++mLooked;
        return true;
    }
    void take(const QString &path) { found.paths.append(path); }

    // The folder's recordings, then its subfolders'; false when ended early.
    bool folder(const QString &path, int depth)
    {
        QStringList subfolders;
        {
            // Every name counts, what is skipped too: the bound is on the listing's work.
            QDirIterator entries(path, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
            while (entries.hasNext()) {
                if (!lookAt())
                    return false;
                entries.next();
                const QFileInfo entry = entries.fileInfo(); // its type from the listing
                if (entry.isSymLink() || entry.fileName().startsWith(QLatin1Char('.')))
                    continue;
                if (entry.isDir())
                    subfolders.append(entry.filePath());
                else if (entry.isFile() && exactSuffixes().contains(entry.suffix(), Qt::CaseInsensitive))
                    take(entry.filePath());
            }
        }
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
        walk.take(path);
    }
    return walk.found;
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
