#include "outputactions.h"

#include "trackexport.h"
#include "picturegrab.h"
#include "statustoast.h"
#include "telemetryformat.h"
#include "velmoraversion.h"
#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QWidget>

#include <cmath>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

constexpr int kMaxPending = 8;        // snapshots and exports waiting at once; more are refused
constexpr int kMaxNameCounter = 999;  // "_2" .. "_999" after a name already taken
constexpr qint64 kUsPerMs = 1000;

const char kGpxFilter[] = "GPX (*.gpx)";
const char kCsvFilter[] = "CSV (*.csv)";

// "hh<sep>mm<sep>ss.mmm" of a position in µs.
QString positionText(qint64 positionUs, QChar separator)
{
    const qint64 ms = qMax<qint64>(0, positionUs) / kUsPerMs;
    const QLatin1Char zero('0');
    return QStringLiteral("%1%2%3%2%4.%5")
        .arg(ms / 3600000, 2, 10, zero)
        .arg(separator)
        .arg(ms / 60000 % 60, 2, 10, zero)
        .arg(ms / 1000 % 60, 2, 10, zero)
        .arg(ms % 1000, 3, 10, zero);
}

// A folder the user may write in, on a file system that takes writes
// (access(2) says no for a read-only mount, to root as well).
bool isWritableFolder(const QString &folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

// The PNG's text fields: the recording, the position in it and, when the
// track has a fix at that second, what the panel shows of it.
QMap<QString, QString> snapshotTexts(const QString &recording, qint64 positionUs, const TelemetrySecond &shown)
{
    QMap<QString, QString> texts;
    texts.insert(QStringLiteral("Software"), QStringLiteral("Velmora_viewer " VELMORA_VERSION));
    texts.insert(QStringLiteral("Recording"), QFileInfo(recording).fileName());
    texts.insert(QStringLiteral("Position"), positionText(positionUs, QLatin1Char(':')));
    if (!shown.hasRecord)
        return texts;
    texts.insert(QStringLiteral("Latitude"), QString::number(shown.mapLatitude, 'f', 6));
    texts.insert(QStringLiteral("Longitude"), QString::number(shown.mapLongitude, 'f', 6));
    texts.insert(QStringLiteral("SpeedKmh"), QString::number(double(shown.speedKmh), 'f', 2));
    texts.insert(QStringLiteral("Speed"), shown.speedText + (shown.mph ? QStringLiteral(" MPH") : QStringLiteral(" km/h")));
    if (std::isfinite(shown.heading))
        texts.insert(QStringLiteral("Heading"), QString::number(double(shown.heading), 'f', 1));
    if (shown.dateTime.isValid())
        texts.insert(QStringLiteral("DateTime"), isoDateTimeWithOffset(shown.dateTime));
    return texts;
}

// Writes image as a new PNG in the first folder that takes it, under
// baseName or, when taken, baseName_2, _3, ...: never over a file. The
// path written, or an empty text (*error says why).
QString writeNewPng(const QImage &image, const QStringList &folders, const QString &baseName, QString *error)
{
    for (const QString &folder : folders) {
        if (folder.isEmpty() || !QDir().mkpath(folder))
            continue;
        for (int counter = 1; counter <= kMaxNameCounter; ++counter) {
            const QString name = counter == 1 ? baseName : QStringLiteral("%1_%2").arg(baseName).arg(counter);
            const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
            QFile file(path);
            // NewOnly: made here and now, or refused; a file of that name is never touched.
            if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
                const QFileInfo taken(path);
                if (taken.exists() || taken.isSymLink()) // a link to nothing is taken too
                    continue;
                *error = file.errorString();
                break; // this folder takes nothing: the next one
            }
            QImageWriter writer(&file, "png");
            if (writer.write(image) && file.flush()) {
                file.close();
                if (file.error() == QFileDevice::NoError)
                    return path;
            }
            *error = writer.error() != QImageWriter::UnknownError ? writer.errorString() : file.errorString();
            file.remove(); // a partial picture is no picture
            break;
        }
    }
    return QString();
}

} // namespace

OutputActions::OutputActions(Sources sources, QObject *parent)
    : QObject(parent)
    , mSources(std::move(sources))
    , mFolderWritable(isWritableFolder)
    , mPicturesFolder(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation))
    , mStop(std::make_shared<std::atomic<bool>>(false))
{
}

OutputActions::~OutputActions()
{
    mStop->store(true);
    mWork.stop();
}

QString OutputActions::snapshotFolder(const QString &recording, const QString &picturesFolder,
                                      const std::function<bool(const QString &)> &writable)
{
    const QString beside = QFileInfo(recording).absolutePath();
    return writable(beside) ? beside : picturesFolder;
}

qint64 OutputActions::shownPictureUs(const QImage &shown, double clockSeconds)
{
    if (shown.isNull())
        return -1;
    bool ok = false;
    const double pts = shown.text(QStringLiteral("pts")).toDouble(&ok);
    const double seconds = ok && std::isfinite(pts) ? pts : clockSeconds;
    return std::isfinite(seconds) ? qMax<qint64>(0, qRound64(seconds * 1e6)) : -1;
}

QString OutputActions::snapshotBaseName(const QString &recording, qint64 positionUs)
{
    return QFileInfo(recording).completeBaseName() + QLatin1Char('_') + positionText(positionUs, QLatin1Char('-'));
}

void OutputActions::snapshot()
{
    const QString recording = mSources.recordingPath();
    const qint64 positionUs = mSources.positionUs();
    if (recording.isEmpty() || positionUs < 0) {
        report(tr("No picture to save"), QString());
        return;
    }
    const TelemetrySecond shown = mSources.shownAt(TelemetryTimeline::currentSecond(double(positionUs) / 1e6));
    const QMap<QString, QString> texts = snapshotTexts(recording, positionUs, shown);
    // Beside the recording first; the pictures folder also when that fails after all.
    QStringList folders{snapshotFolder(recording, mPicturesFolder, mFolderWritable)};
    if (folders.first() != mPicturesFolder)
        folders << mPicturesFolder;
    const QString baseName = snapshotBaseName(recording, positionUs);
    const std::shared_ptr<std::atomic<bool>> stop = mStop;

    post([this, recording, positionUs, texts, folders, baseName, stop] {
        QString error;
        QImage image = grabPicture(recording, positionUs, &error, stop.get());
        QString written;
        if (image.isNull()) {
            qCWarning(lcWindow).noquote() << "no picture of" << recording << "at" << positionUs << "µs:" << error;
        } else {
            for (auto text = texts.begin(); text != texts.end(); ++text)
                image.setText(text.key(), text.value());
            written = writeNewPng(image, folders, baseName, &error);
            if (written.isEmpty())
                qCWarning(lcWindow).noquote() << "picture not saved:" << error;
        }
        const QString text = !written.isEmpty() ? tr("Picture saved to %1").arg(QDir::toNativeSeparators(written))
                             : image.isNull()   ? tr("The picture could not be read from the recording")
                                                : tr("The picture could not be saved: %1").arg(error);
        QMetaObject::invokeMethod(this, [this, text, written] { finish(text, written); }, Qt::QueuedConnection);
    });
}

std::vector<TrackSource> OutputActions::exportableTracks() const
{
    std::vector<TrackSource> usable;
    for (const TrackSource &source : mSources.tracks()) {
        if (hasExportedPoints(ExportedTrack{source.file, source.track.get(), source.gpsVersion}))
            usable.push_back(source);
    }
    return usable;
}

void OutputActions::exportTrack()
{
    const std::vector<TrackSource> tracks = exportableTracks();
    if (tracks.empty()) {
        report(tr("No GPS track to export"), QString());
        return;
    }
    const QFileInfo first(tracks.front().file);
    QFileDialog dialog(mSources.window(), tr("Export track"),
                       first.absoluteDir().filePath(first.completeBaseName() + QStringLiteral(".gpx")));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QLatin1String(kGpxFilter), QLatin1String(kCsvFilter)});
    // The dialog adds the suffix of the chosen type before it asks about replacing a file.
    dialog.setDefaultSuffix(QStringLiteral("gpx"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
        dialog.setDefaultSuffix(filter == QLatin1String(kCsvFilter) ? QStringLiteral("csv") : QStringLiteral("gpx"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QString file = dialog.selectedFiles().first();
    Format format = dialog.selectedNameFilter() == QLatin1String(kCsvFilter) ? Format::Csv : Format::Gpx;
    // A name typed with the other type's suffix is of that type.
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == QLatin1String("gpx"))
        format = Format::Gpx;
    else if (suffix == QLatin1String("csv"))
        format = Format::Csv;
    else
        file += format == Format::Csv ? QStringLiteral(".csv") : QStringLiteral(".gpx");
    exportTo(file, format);
}

void OutputActions::exportTo(const QString &file, Format format)
{
    const std::vector<TrackSource> tracks = exportableTracks();
    if (tracks.empty()) {
        report(tr("No GPS track to export"), QString());
        return;
    }
    const TimeOffset offset = mSources.timeOffset();
    post([this, file, format, tracks, offset] {
        // The writer of velmora_gps; the tracks are finished and shared, never written again.
        QString text = format == Format::Gpx ? gpxHeader() : csvHeader();
        for (const TrackSource &source : tracks) {
            const ExportedTrack exported{QFileInfo(source.file).fileName(), source.track.get(), source.gpsVersion};
            text += format == Format::Gpx ? trackToGpx(exported) : trackToCsvRows(exported, offset);
        }
        if (format == Format::Gpx)
            text += gpxFooter();
        QString error;
        const bool ok = writeWholeFile(file, text.toUtf8(), &error);
        if (!ok)
            qCWarning(lcWindow).noquote() << "track not exported to" << file << ":" << error;
        const QString message = ok ? tr("Track exported to %1").arg(QDir::toNativeSeparators(file))
                                   : tr("The track could not be exported: %1").arg(error);
        const QString written = ok ? file : QString();
        QMetaObject::invokeMethod(this, [this, message, written] { finish(message, written); }, Qt::QueuedConnection);
    });
}

bool OutputActions::post(std::function<void()> work)
{
    if (mPending >= kMaxPending) {
        report(tr("Busy: try again in a moment"), QString());
        return false;
    }
    ++mPending;
    mWork.post(std::move(work));
    return true;
}

void OutputActions::finish(const QString &text, const QString &file)
{
    --mPending;
    report(text, file);
}

void OutputActions::report(const QString &text, const QString &file)
{
    qCDebug(lcWindow).noquote() << text;
    QWidget *over = mSources.picture ? mSources.picture() : mSources.window ? mSources.window() : nullptr;
    if (over) {
        if (!mToast)
            mToast = new StatusToast(over);
        mToast->showText(text);
    }
    emit sig_Reported(text, file);
}

void OutputActions::tell(const QString &text)
{
    report(text, QString());
}
