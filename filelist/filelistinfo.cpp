#include "filelistinfo.h"

#include "pathkind.h"
#include "recordingprobe.h"

#include <QFileInfo>
#include <QLocale>

Q_LOGGING_CATEGORY(lcFileList, "velmora.filelist")

namespace {

QString lastTwoDigits(qint64 value)
{
    return QStringLiteral("00%1").arg(value).right(2);
}

} // namespace

void registerFileListInfo()
{
    qRegisterMetaType<FileListInfo>("FileListInfo");
}

QString durationText(qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    const qint64 hours = seconds / 3600;
    const QString minutesAndSeconds =
        QStringLiteral("%1:%2").arg(lastTwoDigits(seconds / 60 % 60), lastTwoDigits(seconds % 60));
    if (hours == 0)
        return minutesAndSeconds;
    // Every digit of the hours: a long recording must not pass for a short one.
    return QStringLiteral("%1:").arg(hours, 2, 10, QLatin1Char('0')) + minutesAndSeconds;
}

QString sizeText(qint64 bytes)
{
    return QString::number(double(bytes) / 1024 / 1024, 'f', 1);
}

QString dateText(const QDateTime &time)
{
    // Qt 5 formats in the system locale, which may write other digits and is
    // made on first use without a lock: the prober's threads get here first.
    return QLocale::c().toString(time.toLocalTime(), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

bool readFileListInfo(const QString &path, FileListInfo &info)
{
    info.path = path;
    const QFileInfo file(path);
    info.name = file.fileName();
    // Looked at here, just before the read, whatever named it (a dialog
    // offers FIFOs too): only a regular file is opened.
    switch (pathKind(path)) {
    case PathKind::File:
        break;
    case PathKind::Missing:
        info.problem = ProbeProblem::Missing;
        return false;
    case PathKind::Folder:
    case PathKind::Other:
        info.problem = ProbeProblem::NotARecording;
        return false;
    }
    // Most Linux file systems keep no birth time; the last change stands in.
    const QDateTime born = file.birthTime();
    info.date = dateText(born.isValid() ? born : file.lastModified());
    info.size = sizeText(file.size());
    VideoInfo video;
    if (!probeRecording(path, video)) {
        info.problem = video.problem;
        return false;
    }
    const qint64 seconds = video.duration / 1000000;
    info.duration = durationText(seconds);
    info.durationInt = int(seconds);
    info.resolution = QStringLiteral("%1x%2").arg(video.width).arg(video.height);
    return true;
}
