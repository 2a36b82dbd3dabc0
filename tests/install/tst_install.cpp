// The program as installed. cmake --install into a temporary prefix puts
// every file where the desktop and the program look for it; the launcher and
// the metadata pass their validators; and the installed viewer, started from
// the prefix, finds its translations and map page, keeps the user's files in
// the user's folders, lists the files of its command line, takes the files of
// a later launch, and keeps its debug log quiet until asked.

#include "files.h"
#include "gpsfixture.h"
#include "runprocess.h"
#include "velmoraversion.h"
#include "waitfor.h"

#include <QDirIterator>
#include <QImage>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/stat.h>

using namespace fixture;

namespace {

const QString kAppId = QStringLiteral(VELMORA_APP_ID);
constexpr int kToolWaitMs = 120000;  // cmake --install, a validator, --version
constexpr int kViewerWaitMs = 90000; // a viewer with its web engine, on a busy machine
const char kMessagePattern[] = "%{type} %{category}: %{message}";

ProcessRun runProgram(const QString &program, const QStringList &args,
                      const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                      const QString &workDir = QString())
{
    return runProcess(program, args, env, workDir, kToolWaitMs);
}

// A viewer started from the prefix; its log is its standard error.
class Viewer
{
public:
    Viewer(const QString &program, const QStringList &args, const QProcessEnvironment &env, const QString &workDir)
    {
        mProcess.setProcessEnvironment(env);
        mProcess.setWorkingDirectory(workDir);
        mProcess.start(program, args);
    }
    ~Viewer() { stop(); }

    QString log()
    {
        mLog += QString::fromUtf8(mProcess.readAllStandardError());
        return mLog;
    }
    bool running() const { return mProcess.state() != QProcess::NotRunning; }
    // Until the log holds text; false when the time is up or the viewer ended.
    bool waitForLog(const QString &text)
    {
        waitFor([&] { return log().contains(text) || !running(); }, kViewerWaitMs);
        return log().contains(text);
    }
    // Closes its window as a desktop does at logout (SIGTERM); true when it
    // then ended by itself, with status 0.
    bool closeWindow()
    {
        mProcess.terminate();
        const bool ended = mProcess.waitForFinished(kViewerWaitMs);
        log();
        return ended && mProcess.exitStatus() == QProcess::NormalExit && mProcess.exitCode() == 0;
    }
    // Ends it as the desktop does at logout.
    void stop()
    {
        if (!running())
            return;
        mProcess.terminate();
        if (!mProcess.waitForFinished(20000)) {
            mProcess.kill();
            mProcess.waitForFinished();
        }
        log();
    }

private:
    QProcess mProcess;
    QString mLog;
};

// The paths FileList.db lists, in order; empty while it cannot be read.
QStringList listedFiles(const QString &database)
{
    const QString connection = QStringLiteral("installed-viewer-list");
    QStringList paths;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(database);
        // Never creates the file, and never holds a lock the viewer waits for.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("select path from FileList order by id"))) {
                while (query.next())
                    paths.append(query.value(0).toString());
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return paths;
}

// The key's value in a desktop entry's main group.
QString desktopValue(const QString &file, const QString &key)
{
    QFile entry(file);
    if (!entry.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QStringList lines = QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    }
    return QString();
}

QStringList debugLines(const QString &log, const QString &category)
{
    QStringList found;
    for (const QString &line : log.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("debug ") + category))
            found.append(line);
    }
    return found;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void filesAreWhereTheyBelong();
    void launcherPassesItsValidatorAndIsOffered();
    void metadataPassesItsValidator();
    void versionAndHelpWithoutADisplay();
    void viewerIsQuietByDefault();
    void laterLaunchHandsItsFilesToTheRunningViewer();
    void debianPackageNamesWhatItNeeds();

private:
    QString installed(const QString &relative) const { return mPrefix + QLatin1Char('/') + relative; }
    QString recording(const QString &name) const { return mDir.filePath(QStringLiteral("rec/") + name); }
    // A fresh home (configuration, data, cache and runtime folders) for one viewer session.
    QProcessEnvironment viewerEnvironment(const QString &home) const;

    QTemporaryDir mDir;
    QString mRoot;   // holds the prefix, as / holds /usr
    QString mPrefix;
};

void TestInstall::initTestCase()
{
    QVERIFY(mDir.isValid());
    mRoot = mDir.filePath(QStringLiteral("root"));
    mPrefix = mRoot + QStringLiteral("/usr");
    const ProcessRun install = runProgram(QStringLiteral(VELMORA_CMAKE),
                                          {QStringLiteral("--install"), QStringLiteral(VELMORA_BUILD_DIR),
                                           QStringLiteral("--prefix"), mPrefix});
    QVERIFY2(install.finished && install.exitCode == 0, qPrintable(describe(install)));

    QVERIFY(QDir().mkpath(recording(QString())));
    const AvSpec av = avSpec(20.0, 160, 120); // still playing when the next launch comes
    QString error;
    for (const char *name : {"one.mp4", "two.ts", "three.mov"})
        QVERIFY2(makeAvClip(recording(QLatin1String(name)), av, &error), qPrintable(error));
    QVERIFY(writeBytes(recording(QStringLiteral("junk.mp4")), QByteArray(4096, 'x')));
}

QProcessEnvironment TestInstall::viewerEnvironment(const QString &home) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString runtime = home + QStringLiteral("/run");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
    // As a user starts it: run as root, the viewer itself must get the web
    // engine going without its sandbox.
    env.remove(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"));
    env.remove(QStringLiteral("QT_LOGGING_RULES"));
    env.remove(QStringLiteral("QT_LOGGING_CONF"));
    env.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QLatin1String(kMessagePattern));
    return env;
}

// The programs, the translations the viewer loads, the launcher, the
// metadata and the icon at every size it is rendered at: nothing missing,
// nothing else.
void TestInstall::filesAreWhereTheyBelong()
{
    const QStringList fixed{
        QStringLiteral("bin/velmora_gps"),
        QStringLiteral("bin/velmora_viewer"),
        QStringLiteral(VELMORA_MODULES_INSTALL_DIR "/velmora_mapview.so"),
        QStringLiteral("share/applications/") + kAppId + QStringLiteral(".desktop"),
        QStringLiteral("share/icons/hicolor/scalable/apps/") + kAppId + QStringLiteral(".svg"),
        QStringLiteral("share/metainfo/") + kAppId + QStringLiteral(".metainfo.xml"),
        QStringLiteral("share/velmora_viewer/translations/ch.pm"),
        QStringLiteral("share/velmora_viewer/translations/en.pm"),
        QStringLiteral("share/velmora_viewer/translations/jp.pm"),
    };
    const QRegularExpression sizedIcon(QStringLiteral("^share/icons/hicolor/(\\d+)x(\\d+)/apps/") +
                                       QRegularExpression::escape(kAppId) + QStringLiteral("\\.png$"));
    QStringList found;
    QList<int> sizes;
    QDirIterator walk(mPrefix, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString relative = QDir(mPrefix).relativeFilePath(walk.next());
        const QRegularExpressionMatch icon = sizedIcon.match(relative);
        if (!icon.hasMatch()) {
            found.append(relative);
            continue;
        }
        const int size = icon.captured(1).toInt();
        QCOMPARE(icon.captured(2).toInt(), size);
        const QImage image(walk.filePath());
        QVERIFY2(!image.isNull(), qPrintable(relative));
        QCOMPARE(image.size(), QSize(size, size));
        sizes.append(size);
    }
    found.sort();
    QCOMPARE(found, fixed);
    // 48 is the size every icon theme must have; menus and software
    // centres ask for the small and the large ones.
    for (int size : {16, 32, 48, 64, 128, 256})
        QVERIFY2(sizes.contains(size), qPrintable(QString::number(size)));
    for (const char *program : {"bin/velmora_viewer", "bin/velmora_gps"})
        QVERIFY(QFileInfo(installed(QLatin1String(program))).isExecutable());
}

// The launcher starts the installed program by name with the files a file
// manager passes, and names a type of each kind of recording, so that
// "Open with" offers the viewer.
void TestInstall::launcherPassesItsValidatorAndIsOffered()
{
    const QString launcher = installed(QStringLiteral("share/applications/") + kAppId + QStringLiteral(".desktop"));
    const ProcessRun run = runProgram(QStringLiteral("desktop-file-validate"), {launcher});
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(describe(run)));
    // Warnings and hints too.
    QVERIFY2(run.out.trimmed().isEmpty() && run.err.trimmed().isEmpty(), qPrintable(describe(run)));

    const QStringList exec = desktopValue(launcher, QStringLiteral("Exec")).split(QLatin1Char(' '));
    QCOMPARE(exec.size(), 2);
    QVERIFY(QFileInfo(installed(QStringLiteral("bin/") + exec.at(0))).isExecutable());
    QCOMPARE(exec.at(1), QStringLiteral("%F"));
    QCOMPARE(desktopValue(launcher, QStringLiteral("Icon")), kAppId);

    const QStringList types = desktopValue(launcher, QStringLiteral("MimeType")).split(QLatin1Char(';'),
                                                                                       Qt::SkipEmptyParts);
    QVERIFY(QFile::copy(recording(QStringLiteral("one.mp4")), recording(QStringLiteral("CAM0001.MP4"))));
    QVERIFY(QFile::copy(recording(QStringLiteral("three.mov")), recording(QStringLiteral("CAM0002.MOV"))));
    QMimeDatabase mime;
    for (const char *name : {"one.mp4", "two.ts", "three.mov", "CAM0001.MP4", "CAM0002.MOV"}) {
        const QMimeType type = mime.mimeTypeForFile(recording(QLatin1String(name)));
        QStringList names = type.aliases() + type.allAncestors();
        names.prepend(type.name());
        bool named = false;
        for (const QString &candidate : names)
            named = named || types.contains(candidate);
        QVERIFY2(named, qPrintable(QStringLiteral("%1 is %2, the launcher names %3")
                                       .arg(QLatin1String(name), type.name(), types.join(QLatin1Char(';')))));
    }
}

void TestInstall::metadataPassesItsValidator()
{
    // The tree: the metadata, and the launcher and icon it points to.
    const ProcessRun run = runProgram(
        QStringLiteral("appstreamcli"),
        {QStringLiteral("validate-tree"), QStringLiteral("--no-net"), QStringLiteral("--strict"), mRoot});
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(describe(run)));
}

// As typed in a terminal without a graphical session, or over ssh: the
// version the menu shows as "Ver: V<version>", and help that names the options.
void TestInstall::versionAndHelpWithoutADisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    const QVector<QPair<QString, QStringList>> programs{
        {QStringLiteral("velmora_viewer"),
         {QStringLiteral("[FILE...]"), QStringLiteral("--verbose"), QStringLiteral("--version"), QStringLiteral("file list")}},
        {QStringLiteral("velmora_gps"),
         {QStringLiteral("FILE..."), QStringLiteral("--format"), QStringLiteral("--version"), QStringLiteral("Exit status")}}};
    for (const auto &[program, helpTexts] : programs) {
        const QString binary = installed(QStringLiteral("bin/") + program);
        const ProcessRun version = runProgram(binary, {QStringLiteral("--version")}, env);
        QVERIFY2(version.finished && version.exitCode == 0, qPrintable(describe(version)));
        QCOMPARE(version.out, program + QLatin1Char(' ') + QStringLiteral(VELMORA_VERSION_TEXT) + QLatin1Char('\n'));
        const ProcessRun help = runProgram(binary, {QStringLiteral("--help")}, env);
        QVERIFY2(help.finished && help.exitCode == 0, qPrintable(describe(help)));
        for (const QString &text : helpTexts)
            QVERIFY2(help.out.contains(text), qPrintable(text + QStringLiteral(" not in\n") + help.out));
    }
}

// Warnings still come, debug lines not. A FIFO named on the command line is
// never opened (a reader would wait in open() for a writer for good and keep
// a closed viewer alive); the window's close saves the settings and ends the
// process.
void TestInstall::viewerIsQuietByDefault()
{
#ifdef VELMORA_TSAN
    QSKIP("the web engine is not instrumented; the window tests run in the other builds");
#endif
    const QString home = mDir.filePath(QStringLiteral("quiet"));
    const QString fifo = mDir.filePath(QStringLiteral("pipe.mp4"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    Viewer viewer(installed(QStringLiteral("bin/velmora_viewer")),
                  {recording(QStringLiteral("one.mp4")), recording(QStringLiteral("junk.mp4")), fifo},
                  viewerEnvironment(home), recording(QString()));
    const QString database = home + QStringLiteral("/.local/share/velmora_viewer/FileList.db");
    QVERIFY2(waitFor([&] { return listedFiles(database).size() == 1 || !viewer.running(); }, kViewerWaitMs),
             qPrintable(viewer.log()));
    QCOMPARE(listedFiles(database), QStringList{recording(QStringLiteral("one.mp4"))});
    QVERIFY2(viewer.waitForLog(QStringLiteral("warning velmora.window: ") + fifo
                               + QStringLiteral(": not a regular file or folder; not opened")),
             qPrintable(viewer.log()));
    QVERIFY2(viewer.closeWindow(), qPrintable(viewer.log()));
    QVERIFY2(debugLines(viewer.log(), QStringLiteral("velmora.")).isEmpty(), qPrintable(viewer.log()));
    QVERIFY(QFileInfo::exists(home + QStringLiteral("/.config/velmora_viewer/sysConfig.ini")));
}

void TestInstall::laterLaunchHandsItsFilesToTheRunningViewer()
{
#ifdef VELMORA_TSAN
    QSKIP("the web engine is not instrumented; the window tests run in the other builds");
#endif
    const QString home = mDir.filePath(QStringLiteral("handover"));
    // The user's settings: English.
    const QString config = home + QStringLiteral("/.config/velmora_viewer");
    QVERIFY(writeBytes(config + QStringLiteral("/sysConfig.ini"), "[menu]\nlanguage=1\n"));

    // Some categories by the environment, as a user would pick them.
    QProcessEnvironment env = viewerEnvironment(home);
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("velmora.window.debug=true;velmora.map.debug=true"));
    Viewer first(installed(QStringLiteral("bin/velmora_viewer")), {QStringLiteral("one.mp4")}, env,
                 recording(QString()));
    for (const QString &line :
         {QStringLiteral("translation loaded: \"") + mPrefix + QStringLiteral("/share/velmora_viewer/translations/en.pm"),
          QStringLiteral("listening for later launches"), QStringLiteral("map page loaded: \"qrc:"),
          QStringLiteral("info.FilePath: \"") + recording(QStringLiteral("one.mp4")) + '"'}) {
        QVERIFY2(first.waitForLog(line), qPrintable(line + QStringLiteral(" not in\n") + first.log()));
    }

    // Relative names, from the folder the later launch started in.
    const ProcessRun later =
        runProgram(installed(QStringLiteral("bin/velmora_viewer")),
                   {QStringLiteral("--verbose"), QStringLiteral("two.ts"), QStringLiteral("three.mov")},
                   viewerEnvironment(home), recording(QString()));
    QVERIFY2(later.finished && later.exitCode == 0, qPrintable(describe(later)));
    QVERIFY2(!debugLines(later.err, QStringLiteral("velmora.window: files handed to the running viewer")).isEmpty(),
             qPrintable(describe(later)));

    const QString database = home + QStringLiteral("/.local/share/velmora_viewer/FileList.db");
    const QStringList all{recording(QStringLiteral("one.mp4")), recording(QStringLiteral("two.ts")),
                          recording(QStringLiteral("three.mov"))};
    QVERIFY2(waitFor([&] { return listedFiles(database) == all || !first.running(); }, kViewerWaitMs),
             qPrintable(listedFiles(database).join(QLatin1Char('\n')) + QStringLiteral("\n") + first.log()));
    // The first of them plays; the other is only listed.
    const QString two = QStringLiteral("info.FilePath: \"") + recording(QStringLiteral("two.ts")) + '"';
    QVERIFY2(first.waitForLog(two), qPrintable(first.log()));
    QVERIFY(first.running());
    first.stop();
    QVERIFY2(!first.log().contains(QStringLiteral("info.FilePath: \"") + recording(QStringLiteral("three.mov"))),
             qPrintable(first.log()));
    // Only the categories asked for.
    QVERIFY2(debugLines(first.log(), QStringLiteral("velmora.player")).isEmpty(), qPrintable(first.log()));

    // The user's files stay out of the program's folder, even for root.
    QVERIFY(!QFileInfo::exists(installed(QStringLiteral("bin/FileList.db"))));
    QVERIFY(!QFileInfo::exists(installed(QStringLiteral("bin/sysConfig.ini"))));
}

// What apt installs with the package: the libraries the programs link
// (found by shlibdeps), and the ones Qt loads at run time, which no linker
// sees: without the SQLite driver the file list stays empty, without the
// web engine's data the map page never loads.
void TestInstall::debianPackageNamesWhatItNeeds()
{
    const QString out = mDir.filePath(QStringLiteral("deb"));
    const ProcessRun pack =
        runProgram(QStringLiteral(VELMORA_CPACK),
                   {QStringLiteral("--config"), QStringLiteral(VELMORA_BUILD_DIR "/CPackConfig.cmake"),
                    QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), out});
    QVERIFY2(pack.finished && pack.exitCode == 0, qPrintable(describe(pack)));
    const QStringList debs = QDir(out).entryList({QStringLiteral("velmora-viewer_*.deb")}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    const QString deb = QDir(out).filePath(debs.first());

    const ProcessRun depends =
        runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QStringLiteral("Depends")});
    QVERIFY2(depends.finished && depends.exitCode == 0, qPrintable(describe(depends)));
    QStringList names;
    for (const QString &alternatives : depends.out.trimmed().split(QStringLiteral(", "), Qt::SkipEmptyParts))
        names.append(alternatives.section(QLatin1Char(' '), 0, 0));
    for (const QRegularExpression &needed :
         {QRegularExpression(QStringLiteral("^libqt5webenginewidgets5$")), QRegularExpression(QStringLiteral("^libqt5sql5$")),
          QRegularExpression(QStringLiteral("^libqt5sql5-sqlite$")), QRegularExpression(QStringLiteral("^libqt5webengine-data$")),
          QRegularExpression(QStringLiteral("^libqcustomplot")), QRegularExpression(QStringLiteral("^libavcodec\\d+$")),
          QRegularExpression(QStringLiteral("^libavfilter\\d+$")),
          QRegularExpression(QStringLiteral("^libswresample\\d+$")), QRegularExpression(QStringLiteral("^libsdl2-2")),
          QRegularExpression(QStringLiteral("^libssl\\d"))}) {
        QVERIFY2(!names.filter(needed).isEmpty(), qPrintable(needed.pattern() + QStringLiteral(" not in ") + depends.out));
    }

    // The same files as cmake --install, under /usr.
    const ProcessRun contents = runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), deb});
    QVERIFY2(contents.finished && contents.exitCode == 0, qPrintable(describe(contents)));
    for (const QString &file : {QStringLiteral("./usr/bin/velmora_viewer"), QStringLiteral("./usr/bin/velmora_gps"),
                                QStringLiteral("./usr/share/applications/") + kAppId + QStringLiteral(".desktop"),
                                QStringLiteral("./usr/share/velmora_viewer/translations/en.pm")}) {
        QVERIFY2(contents.out.contains(QLatin1Char(' ') + file + QLatin1Char('\n')), qPrintable(file));
    }
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
