#include "files.h"
#include "installlayout.h"
#include "modules.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QString kFileName = QStringLiteral("FileList.db");

} // namespace

class TestInstallLayout : public QObject
{
    Q_OBJECT

private slots:
    void sharedDataFolderOfAPrefix();
    void keepsUserFileBeside_data();
    void keepsUserFileBeside();
    void userFileFolderIsMadeOnlyWhenTaken();
    void modulesAreFoundAndOnlyTrustedOnesLoad();
};

void TestInstallLayout::sharedDataFolderOfAPrefix()
{
    QCOMPARE(sharedDataFolder(QStringLiteral("/usr/bin")), QStringLiteral("/usr/share/velmora_viewer"));
    QCOMPARE(sharedDataFolder(QStringLiteral("/opt/velmora/bin/")), QStringLiteral("/opt/velmora/share/velmora_viewer"));
}

void TestInstallLayout::keepsUserFileBeside_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<bool>("fileThere");
    QTest::addColumn<bool>("beside");
    QTest::newRow("own folder") << QStringLiteral("plain") << false << true;
    QTest::newRow("own folder, file there") << QStringLiteral("plain") << true << true;
    // Root could write in <prefix>/bin, and still keeps its files apart.
    QTest::newRow("installed") << QStringLiteral("installed") << false << false;
    QTest::newRow("installed, file there") << QStringLiteral("installed") << true << false;
    QTest::newRow("no such folder") << QStringLiteral("missing") << false << false;
    QTest::newRow("a file, not a folder") << QStringLiteral("file") << false << false;
    QTest::newRow("read-only folder") << QStringLiteral("read-only folder") << false << false;
    QTest::newRow("read-only file") << QStringLiteral("read-only file") << true << false;
}

void TestInstallLayout::keepsUserFileBeside()
{
    QFETCH(QString, layout);
    QFETCH(bool, fileThere);
    QFETCH(bool, beside);
    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    const QString program = prefix.filePath(QStringLiteral("bin"));
    if (layout == QLatin1String("file"))
        QVERIFY(writeBytes(program));
    else if (layout != QLatin1String("missing"))
        QVERIFY(QDir().mkpath(program));
    if (layout == QLatin1String("installed"))
        QVERIFY(QDir().mkpath(prefix.filePath(QStringLiteral("share/velmora_viewer"))));
    const QString file = QDir(program).filePath(kFileName);
    if (fileThere)
        QVERIFY(writeBytes(file));
    const QString locked = layout == QLatin1String("read-only folder") ? program
                           : layout == QLatin1String("read-only file") ? file
                                                                       : QString();
    if (!locked.isEmpty()) {
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
        if (QFileInfo(locked).isWritable()) {
            QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("this user writes whatever the permissions say (root)");
        }
    }
    const bool result = ::keepsUserFileBeside(program, kFileName);
    if (!locked.isEmpty()) // or the temporary folder cannot be removed
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(result, beside);
}

void TestInstallLayout::userFileFolderIsMadeOnlyWhenTaken()
{
    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    const QString program = prefix.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(program));
    const QString user = prefix.filePath(QStringLiteral("home/.local/share/velmora_viewer"));
    QCOMPARE(userFileFolder(program, kFileName, user), program);
    QVERIFY(!QFileInfo::exists(user));
    QVERIFY(QDir().mkpath(prefix.filePath(QStringLiteral("share/velmora_viewer"))));
    QCOMPARE(userFileFolder(program, kFileName, user), user);
    QVERIFY(QFileInfo(user).isDir());
}

// A module someone else could have replaced would run as the user.
void TestInstallLayout::modulesAreFoundAndOnlyTrustedOnesLoad()
{
    QTemporaryDir prefix;
    QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    const QString bin = prefix.filePath(QStringLiteral("bin"));
    QVERIFY(moduleFile(bin, QStringLiteral("velmora_mapview")).endsWith(QLatin1String("/modules/velmora_mapview.so")));
    QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share/velmora_viewer")));
    const QString installed = moduleFile(bin, QStringLiteral("velmora_mapview"));
    QVERIFY2(installed.startsWith(prefix.path() + QLatin1Char('/')) && installed.endsWith(QLatin1String("/velmora_viewer/velmora_mapview.so")),
             qPrintable(installed));

    const QString folder = prefix.filePath(QStringLiteral("lib"));
    QVERIFY(QDir().mkpath(folder));
    const QString module = folder + QStringLiteral("/probe.so");
    QVERIFY(QFile::copy(QStringLiteral(VELMORA_MODULE_PROBE), module));
    const QFile::Permissions mine = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(module, mine | QFile::WriteOther));
    QString error;
    QVERIFY(!libraryFunction(module, "velmora_module_probe", &error));
    QVERIFY2(error.contains(QLatin1String("writable by others")), qPrintable(error));
    QVERIFY(QFile::setPermissions(module, mine));
    QVERIFY(QFile::setPermissions(folder, mine | QFile::WriteGroup));
    QVERIFY(!libraryFunction(module, "velmora_module_probe", &error));
    QVERIFY(QFile::setPermissions(folder, mine));
    // Further up: whoever may write there can put another folder in its place,
    // unless the folder is sticky (as /tmp), where only we may move ours.
    const QByteArray above = QFile::encodeName(prefix.path());
    QVERIFY(::chmod(above.constData(), 0777) == 0);
    QVERIFY(!libraryFunction(module, "velmora_module_probe", &error));
    QVERIFY2(error.contains(QLatin1String("writable by others")), qPrintable(error));
    QVERIFY(::chmod(above.constData(), 01777) == 0);
    QVERIFY2(libraryFunction(module, "velmora_module_probe", &error), qPrintable(error));
    QVERIFY(::chmod(above.constData(), 0700) == 0);
    QVERIFY(!libraryFunction(folder + QStringLiteral("/missing.so"), "velmora_module_probe", &error));

    error.clear();
    const auto probe = reinterpret_cast<int (*)()>(libraryFunction(module, "velmora_module_probe", &error));
    QVERIFY2(probe, qPrintable(error));
    QCOMPARE(probe(), 42);
    QVERIFY(!libraryFunction(module, "velmora_no_such_function", &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestInstallLayout)
#include "tst_installlayout.moc"
