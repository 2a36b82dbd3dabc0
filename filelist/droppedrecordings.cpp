#include "droppedrecordings.h"

#include <QDirIterator>
#include <QFileInfo>

namespace {

const QStringList &recordingSuffixes()
{
    static const QStringList suffixes{QStringLiteral("mov"), QStringLiteral("wav"), QStringLiteral("mp4"),
                                      QStringLiteral("ts"),  QStringLiteral("MOV"), QStringLiteral("WAV"),
                                      QStringLiteral("MP4"), QStringLiteral("TS")};
    return suffixes;
}

} // namespace

DroppedRecordings collectDroppedRecordings(const QList<QUrl> &urls)
{
    DroppedRecordings found;
    for (const QUrl &url : urls) {
        const QString path = url.toLocalFile();
        if (path.isEmpty())
            continue;
        const QFileInfo info(path);
        if (info.isFile()) {
            if (recordingSuffixes().contains(info.suffix(), Qt::CaseSensitive)) {
                found.start = found.paths.size();
                found.paths.append(info.absoluteFilePath());
            }
        } else if (info.isDir()) {
            QDir dir(path);
            dir.setNameFilters({QStringLiteral("*.mov"), QStringLiteral("*.wav"), QStringLiteral("*.mp4"),
                                QStringLiteral("*.ts")});
            // Name filters match without regard to case; links are neither listed nor followed.
            dir.setFilter(QDir::Files | QDir::NoSymLinks);
            QDirIterator walk(dir, QDirIterator::Subdirectories);
            while (walk.hasNext())
                found.paths.append(walk.next());
        }
    }
    return found;
}
