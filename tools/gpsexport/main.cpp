// velmora_gps: prints the GPS track of dash-camera recordings as JSON, CSV or GPX.

#include "gpsexport.h"
#include "gpspass.h"
#include "recordinglog.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStringList>
#include <QTextStream>

#include <cstring>
#include <memory>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUnreadable = 1;
constexpr int kExitUsage = 2;

const char kUsage[] = "usage: velmora_gps [--format csv|gpx|json] FILE...\n";

// Why a file cannot be read at all, or an empty text when it opens.
QString openProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("No such file or directory");
    if (info.isDir())
        return QStringLiteral("Is a directory");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    return QString();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The pass logs every box it meets; a command-line tool stays quiet.
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    installFfmpegLogHandler();

    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setCodec("UTF-8");

    QString format = QStringLiteral("json");
    QStringList files;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--format") || arg == QLatin1String("-f")) {
            if (++i >= args.size()) {
                err << kUsage;
                return kExitUsage;
            }
            format = args.at(i);
        } else if (arg.startsWith(QLatin1String("--format="))) {
            format = arg.mid(int(std::strlen("--format=")));
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out << kUsage;
            return kExitOk;
        } else if (arg == QLatin1String("--")) {
            files += args.mid(i + 1);
            break;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            err << "velmora_gps: unknown option " << arg << "\n" << kUsage;
            return kExitUsage;
        } else {
            files.append(arg);
        }
    }
    if (format != QLatin1String("json") && format != QLatin1String("csv") && format != QLatin1String("gpx")) {
        err << "velmora_gps: unknown format " << format << "\n" << kUsage;
        return kExitUsage;
    }
    if (files.isEmpty()) {
        err << kUsage;
        return kExitUsage;
    }

    if (format == QLatin1String("csv"))
        out << csvHeader();
    else if (format == QLatin1String("gpx"))
        out << gpxHeader();

    int status = kExitOk;
    auto track = std::make_unique<GpsTrack>();
    for (const QString &file : files) {
        QString problem = openProblem(file);
        qint16 gpsVersion = 0;
        if (problem.isEmpty()) {
            const GpsPassResult result = runGpsPass(file, *track, gpsVersion);
            if (result.status != GpsPassResult::Ok)
                problem = QStringLiteral("not a readable recording (%1)").arg(result.error);
        }
        if (!problem.isEmpty()) {
            err << file << ": " << problem << "\n";
            status = kExitUnreadable;
            continue;
        }

        const ExportedTrack exported{file, track.get(), gpsVersion};
        if (format == QLatin1String("json")) {
            out << trackToJson(exported) << "\n";
        } else {
            if (!track->valid)
                err << file << ": no authenticated GPS track\n";
            out << (format == QLatin1String("csv") ? trackToCsvRows(exported) : trackToGpx(exported));
        }
        out.flush();
    }
    if (format == QLatin1String("gpx"))
        out << gpxFooter();
    return status;
}
