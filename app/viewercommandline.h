#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;

// What the viewer's command line asks for.
struct ViewerOptions
{
    QStringList files;    // absolute paths, in the order given; no FIFO, device or socket
    bool verbose = false; // the whole debug log on stderr
};

// The viewer's options, its help and version texts.
void describeViewerCommandLine(QCommandLineParser &parser);
// Whether the raw arguments ask for --help or --version: those are answered
// before a window system is needed.
bool asksForHelpOrVersion(const QStringList &arguments);
// The options of a parsed command line; relative paths and file: URLs are
// taken from workingFolder, as the launching shell or file manager meant them.
// What names something other than a file or a folder is left out, with a
// warning on stderr; a missing file is kept, for the list to report.
ViewerOptions viewerOptions(const QCommandLineParser &parser, const QString &workingFolder);
// Debug lines of the velmora.* categories only with --verbose; warnings and
// errors always. QT_LOGGING_RULES still takes precedence.
void applyLoggingDefaults(bool verbose);
