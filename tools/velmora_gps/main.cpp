// velmora_gps: prints the GPS track of dash-camera recordings as JSON, CSV or GPX.

#include "trackexport.h"
#include "gpspass.h"
#include "recordinglog.h"
#include "velmoraversion.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStringList>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUnreadable = 1;
constexpr int kExitWriteFailed = 1; // the output is lost: as bad as an unread file
constexpr int kExitUsage = 2;

const char kUsage[] = "usage: velmora_gps [--format csv|gpx|json] [--time-zone camera|utc|+hh:mm] FILE...\n";
const char kHelp[] =
    "Prints the GPS track that dash-camera recordings (MP4, MPEG-TS, QuickTime) carry,\n"
    "read and authenticated as the viewer does.\n"
    "\n"
    "  -f, --format json  one JSON object per file and line (default); records only\n"
    "                     for an authenticated track\n"
    "  -f, --format csv   file,second,time,latitude,longitude,speed_kmh,heading,\n"
    "                     local_time: the authenticated records with a fix\n"
    "  -f, --format gpx   GPX 1.1, one track segment per authenticated file\n"
    "  -z, --time-zone Z  the clock of local_time: camera (default: nine hours on\n"
    "                     for format version 1, else UTC), utc, or an offset such\n"
    "                     as +05:30 (held to -12:00..+14:00, in quarter hours)\n"
    "  -h, --help         this text\n"
    "  -v, --version      the version\n"
    "\n"
    "Exit status: 0 all files read and written, 1 a file unreadable or the output\n"
    "lost, 2 bad usage.\n";
const char kVersionLine[] = "velmora_gps " VELMORA_VERSION_TEXT "\n";

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

// Standard output that keeps its first failure: a full disk or a reader that
// went away must end the run with an error, never pass for success.
class Output
{
public:
    // False from the first failed write on; later text is dropped.
    bool write(const QString &text)
    {
        if (!failed()) {
            const QByteArray bytes = text.toUtf8();
            if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()))
                fail();
        }
        return !failed();
    }

    bool flush()
    {
        if (!failed() && std::fflush(stdout) != 0)
            fail();
        return !failed();
    }

    // Buffered bytes may meet their error only here.
    bool close()
    {
        flush();
        if (std::fclose(stdout) != 0 && !failed())
            fail();
        return !failed();
    }

    bool failed() const { return !mError.isEmpty(); }
    QString error() const { return mError; }

private:
    void fail() { mError = QString::fromLocal8Bit(std::strerror(errno)); }

    QString mError; // why the first write failed; empty while all went out
};

// The exit status once the output is closed, reporting a lost output.
int finish(Output &out, QTextStream &err, int status)
{
    if (out.close())
        return status;
    err << "velmora_gps: cannot write the output: " << out.error() << "\n";
    return kExitWriteFailed;
}

} // namespace

int main(int argc, char **argv)
{
#ifdef SIGPIPE
    // A closed pipe is a write error reported like any other, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    // The pass logs every box it meets; a command-line tool stays quiet.
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    installFfmpegLogHandler();

    Output out;
    QTextStream err(stderr);

    QString format = QStringLiteral("json");
    QString zone = QStringLiteral("camera");
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
        } else if (arg == QLatin1String("--time-zone") || arg == QLatin1String("-z")) {
            if (++i >= args.size()) {
                err << kUsage;
                return kExitUsage;
            }
            zone = args.at(i);
        } else if (arg.startsWith(QLatin1String("--time-zone="))) {
            zone = arg.mid(int(std::strlen("--time-zone=")));
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out.write(QLatin1String(kUsage) + QLatin1Char('\n') + QLatin1String(kHelp));
            return finish(out, err, kExitOk);
        } else if (arg == QLatin1String("--version") || arg == QLatin1String("-v")) {
            out.write(QLatin1String(kVersionLine));
            return finish(out, err, kExitOk);
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
    const std::optional<TimeOffset> offset = TimeOffset::fromText(zone);
    if (!offset) {
        err << "velmora_gps: unknown time zone " << zone << "\n" << kUsage;
        return kExitUsage;
    }
    if (files.isEmpty()) {
        err << kUsage;
        return kExitUsage;
    }

    if (format == QLatin1String("csv"))
        out.write(csvHeader());
    else if (format == QLatin1String("gpx"))
        out.write(gpxHeader());

    int status = kExitOk;
    auto track = std::make_unique<GpsTrack>();
    for (const QString &file : files) {
        if (out.failed())
            break; // nobody gets to read the rest
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
            out.write(trackToJson(exported) + QLatin1Char('\n'));
        } else {
            if (!track->valid)
                err << file << ": no authenticated GPS track\n";
            out.write(format == QLatin1String("csv") ? trackToCsvRows(exported, *offset) : trackToGpx(exported));
        }
        out.flush();
    }
    if (format == QLatin1String("gpx"))
        out.write(gpxFooter());
    return finish(out, err, status);
}
