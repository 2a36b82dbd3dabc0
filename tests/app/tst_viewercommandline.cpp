// The viewer's command line: which arguments are answered without a window
// system, and the paths a launch hands on, whatever folder it started in.

#include "viewercommandline.h"

#include <QCommandLineParser>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TestViewerCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void helpOrVersion_data();
    void helpOrVersion();
    void filesBecomeAbsolutePaths_data();
    void filesBecomeAbsolutePaths();
    void onlyFilesAndFoldersAreTaken();
};

void TestViewerCommandLine::helpOrVersion_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("answered");

    const QString program = QStringLiteral("velmora_viewer");
    QTest::newRow("nothing") << QStringList{program} << false;
    QTest::newRow("files") << QStringList{program, QStringLiteral("a.mp4")} << false;
    QTest::newRow("--version") << QStringList{program, QStringLiteral("--version")} << true;
    QTest::newRow("-v") << QStringList{program, QStringLiteral("-v")} << true;
    QTest::newRow("--help") << QStringList{program, QStringLiteral("--help")} << true;
    QTest::newRow("-h") << QStringList{program, QStringLiteral("-h")} << true;
    QTest::newRow("--help-all") << QStringList{program, QStringLiteral("--help-all")} << true;
    // Options of the window system are not known yet; they must not hide a question.
    QTest::newRow("after -platform") << QStringList{program, QStringLiteral("-platform"), QStringLiteral("offscreen"),
                                                    QStringLiteral("--version")}
                                     << true;
    QTest::newRow("after files") << QStringList{program, QStringLiteral("a.mp4"), QStringLiteral("--help")} << true;
    // A file of that name, not a question.
    QTest::newRow("after --") << QStringList{program, QStringLiteral("--"), QStringLiteral("--version")} << false;
    QTest::newRow("--verbose") << QStringList{program, QStringLiteral("--verbose"), QStringLiteral("a.mp4")}
                               << false;
}

void TestViewerCommandLine::helpOrVersion()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, answered);
    QCOMPARE(asksForHelpOrVersion(arguments), answered);
}

void TestViewerCommandLine::filesBecomeAbsolutePaths_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("verbose");

    const QString program = QStringLiteral("velmora_viewer");
    QTest::newRow("none") << QStringList{program} << QStringList() << false;
    QTest::newRow("relative") << QStringList{program, QStringLiteral("a.mp4"), QStringLiteral("sub/../b c.TS")}
                              << QStringList{QStringLiteral("/home/u/cam/a.mp4"), QStringLiteral("/home/u/cam/b c.TS")}
                              << false;
    QTest::newRow("absolute, order kept") << QStringList{program, QStringLiteral("/z.mov"), QStringLiteral("/a.mp4")}
                                          << QStringList{QStringLiteral("/z.mov"), QStringLiteral("/a.mp4")} << false;
    QTest::newRow("file URL") << QStringList{program, QStringLiteral("file:///media/card/DCIM/%E8%B5%B0%20A.MP4")}
                              << QStringList{QStringLiteral("/media/card/DCIM/走 A.MP4")} << false;
    // A colon in a name does not make it a URL.
    QTest::newRow("colon in name") << QStringList{program, QStringLiteral("08:15.mp4")}
                                   << QStringList{QStringLiteral("/home/u/cam/08:15.mp4")} << false;
    QTest::newRow("verbose") << QStringList{program, QStringLiteral("--verbose"), QStringLiteral("a.mp4")}
                             << QStringList{QStringLiteral("/home/u/cam/a.mp4")} << true;
    QTest::newRow("dash file after --") << QStringList{program, QStringLiteral("--"), QStringLiteral("-x.mp4")}
                                        << QStringList{QStringLiteral("/home/u/cam/-x.mp4")} << false;
}

void TestViewerCommandLine::filesBecomeAbsolutePaths()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, files);
    QFETCH(bool, verbose);
    QCommandLineParser parser;
    describeViewerCommandLine(parser);
    QVERIFY2(parser.parse(arguments), qPrintable(parser.errorText()));
    const ViewerOptions options = viewerOptions(parser, QStringLiteral("/home/u/cam"));
    QCOMPARE(options.files, files);
    QCOMPARE(options.verbose, verbose);
}

// A FIFO or a device would hold a reader in open() for good: refused with
// a warning; a folder is taken, a missing file left for the list to report.
void TestViewerCommandLine::onlyFilesAndFoldersAreTaken()
{
    QTemporaryDir dir;
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe.mp4"))).constData(), 0600), 0);
    QCommandLineParser parser;
    describeViewerCommandLine(parser);
    QVERIFY(parser.parse({QStringLiteral("velmora_viewer"), QStringLiteral("pipe.mp4"), QStringLiteral("/dev/null"),
                          QStringLiteral("."), QStringLiteral("gone.mp4")}));
    for (const QString &refused : {dir.filePath(QStringLiteral("pipe.mp4")), QStringLiteral("/dev/null")})
        QTest::ignoreMessage(QtWarningMsg, qPrintable(refused + QStringLiteral(": not a regular file or folder; not opened")));
    QCOMPARE(viewerOptions(parser, dir.path()).files, (QStringList{dir.path(), dir.filePath(QStringLiteral("gone.mp4"))}));
}

QTEST_GUILESS_MAIN(TestViewerCommandLine)
#include "tst_viewercommandline.moc"
