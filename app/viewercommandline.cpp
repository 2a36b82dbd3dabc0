#include "viewercommandline.h"

#include "pathkind.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QUrl>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

const char kVerbose[] = "verbose";

} // namespace

void describeViewerCommandLine(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Plays dash-camera recordings (MP4, MPEG-TS, QuickTime) with their GPS track: route on a map,\n"
        "speed, heading, position, date and time.\n"
        "The files named are added to the file list and the first one plays. When a viewer is already\n"
        "running, the files go to its window and this launch ends."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(QLatin1String(kVerbose),
                                        QStringLiteral("Print the debug log (every open, every state change) "
                                                       "to the terminal. Off by default; QT_LOGGING_RULES "
                                                       "also turns parts of it on.")));
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Recordings to open."),
                                 QStringLiteral("[FILE...]"));
}

bool asksForHelpOrVersion(const QStringList &arguments)
{
    QCommandLineParser parser;
    describeViewerCommandLine(parser);
    // Unknown options (the window system's, such as -platform) are left for later.
    parser.parse(arguments);
    return parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")) ||
           parser.isSet(QStringLiteral("version"));
}

ViewerOptions viewerOptions(const QCommandLineParser &parser, const QString &workingFolder)
{
    ViewerOptions options;
    options.verbose = parser.isSet(QLatin1String(kVerbose));
    const QDir folder(workingFolder);
    for (const QString &argument : parser.positionalArguments()) {
        const QUrl url(argument);
        const QString path = QDir::cleanPath(folder.absoluteFilePath(url.isLocalFile() ? url.toLocalFile() : argument));
        // Refused before any read: a reader would wait in its open() for good.
        if (pathKind(path) == PathKind::Other) {
            qCWarning(lcWindow).noquote() << path + QStringLiteral(": not a regular file or folder; not opened");
            continue;
        }
        options.files.append(path);
    }
    return options;
}

void applyLoggingDefaults(bool verbose)
{
    QLoggingCategory::setFilterRules(verbose ? QStringLiteral("velmora.*.debug=true")
                                             : QStringLiteral("velmora.*.debug=false"));
}
