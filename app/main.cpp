#include "instancechannel.h"
#include "mainwindow.h"
#include "mapbridge.h"
#include "processend.h"
#include "velmoraversion.h"
#include "videoplayer.h"
#include "viewercommandline.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFont>
#include <QLoggingCategory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// From the window's close to the end of the process at most: the teardown
// joins the workers (the file list's readers, the players and their GPS
// pass, snapshot and drive readers), and one stuck in a read of a slow card
// or a FIFO must not keep a closed viewer alive. Settings are saved by then.
constexpr int kExitWaitMs = 1000;

QStringList rawArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

// The form names the Windows UI font; elsewhere a CJK font that has the
// Chinese and Japanese glyphs stands in for it.
void installFontSubstitutes()
{
    QFont::insertSubstitutions(QStringLiteral("微软雅黑"),
                               {QStringLiteral("Microsoft YaHei"), QStringLiteral("WenQuanYi Micro Hei"),
                                QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Droid Sans Fallback")});
}

// Every decoding thread would grow a malloc arena of its own and keep
// what its large blocks freed: two arenas, and large blocks mapped on their
// own, give that memory back.
void boundMallocArenas()
{
#ifdef __GLIBC__
    constexpr int kArenas = 2;
    constexpr int kMapFromBytes = 128 * 1024;
    mallopt(M_ARENA_MAX, kArenas);
    mallopt(M_MMAP_THRESHOLD, kMapFromBytes);
#endif
}

bool runsAsRoot()
{
#ifdef Q_OS_UNIX
    return ::geteuid() == 0;
#else
    return false;
#endif
}

void allowWebEngineWithoutSandbox()
{
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (flags.contains("--no-sandbox"))
        return;
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --no-sandbox").trimmed());
}

} // namespace

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

int main(int argc, char *argv[])
{
    boundMallocArenas(); // before any thread starts
    catchTermination();
    QCoreApplication::setApplicationName(QStringLiteral("velmora_viewer"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION_TEXT));
    // Help and version need no display.
    if (asksForHelpOrVersion(rawArguments(argc, argv))) {
        QCoreApplication app(argc, argv);
        QCommandLineParser parser;
        describeViewerCommandLine(parser);
        parser.process(app); // prints and ends the program
        return 0;
    }

    // The map's web engine refuses to run as root with its sandbox; a user
    // who starts the viewer so gets it without, and a warning.
    const bool root = runsAsRoot();
    if (root)
        allowWebEngineWithoutSandbox();

    avoidSoftwareOpenGl();
    // Before the application object, so that the bundled qt.conf is seen.
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    // The launcher's name: desktops match the window to it.
    QGuiApplication::setDesktopFileName(QStringLiteral(VELMORA_APP_ID));
    QCommandLineParser parser;
    describeViewerCommandLine(parser);
    parser.process(app);
    const ViewerOptions options = viewerOptions(parser, QDir::currentPath());
    applyLoggingDefaults(options.verbose);

    if (root)
        qCWarning(lcWindow) << "running as root: the map's web engine runs without its sandbox";

    InstanceChannel channel;
    if (channel.claim(options.files) == InstanceChannel::Role::HandedOver)
        return 0;

    // Process-wide set-up, once, before the window.
    initPlayback();
    installFontSubstitutes();
    chooseMapRenderer();

    int result = 0;
    {
        MainWindow window;
        window.setWindowFlags(Qt::FramelessWindowHint);
        window.placeAtStart();
        app.installEventFilter(&window);
        QObject::connect(&channel, &InstanceChannel::sig_FilesReceived, &window, &MainWindow::openFiles);
        onTermination(&window, [&window] { window.close(); });
        // Also while the window waits inside an open that never ends.
        QObject::connect(&app, &QGuiApplication::lastWindowClosed, [] { endWithin(0, kExitWaitMs); });
        channel.serve();
        window.show();
        if (!options.files.isEmpty())
            window.openFiles(options.files);
        result = app.exec();
        app.removeEventFilter(&window);
    }
    return result;
}
