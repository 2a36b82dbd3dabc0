#include "settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

// The keys and defaults are tested through the window (tst_mainwindowchrome).
class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void userFolderTakesOverTheOldFileOnce();
};

// An installed program keeps its settings in the user's folder, starting
// from those left beside the program.
void TestSettings::userFolderTakesOverTheOldFileOnce()
{
    QTemporaryDir prefix;
    const QString program = prefix.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(program));
    const QString user = prefix.filePath(QStringLiteral("home/config/velmora_viewer"));
    Settings(program).writeString(QStringLiteral("Setup"), QStringLiteral("Unit"), QStringLiteral("1"));
    QFile ini(Settings::filePath(program));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("[Setup]\nUnit=1")); // on disk at once, in the group older versions read

    // Not installed: the file stays beside the program, nothing is copied.
    QCOMPARE(Settings::chooseFolder(program, user), program);
    QVERIFY(!QFileInfo::exists(user));

    QFile::setPermissions(ini.fileName(), QFile::ReadOwner | QFile::ReadGroup);
    QVERIFY(QDir().mkpath(prefix.filePath(QStringLiteral("share/velmora_viewer"))));
    QCOMPARE(Settings::chooseFolder(program, user), user);
    Settings taken(user);
    int unit = 0;
    QVERIFY(taken.readInt(QStringLiteral("Setup"), QStringLiteral("Unit"), unit));
    QCOMPARE(unit, 1);
    QVERIFY(QFileInfo(Settings::filePath(user)).permissions() & QFile::WriteOwner);
    taken.writeString(QStringLiteral("Setup"), QStringLiteral("Unit"), QStringLiteral("0"));
    // The next start keeps what the user changed since.
    QCOMPARE(Settings::chooseFolder(program, user), user);
    QVERIFY(Settings(user).readInt(QStringLiteral("Setup"), QStringLiteral("Unit"), unit));
    QCOMPARE(unit, 0);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
