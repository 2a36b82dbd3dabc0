#include "settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The keys and defaults are tested through the window (tst_mainwindowchrome).
class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void userFolderTakesOverTheOldFileOnce();
};

// An installed program cannot write beside itself: the user's folder keeps
// the settings, starting from those left beside the program.
void TestSettings::userFolderTakesOverTheOldFileOnce()
{
    QTemporaryDir program;
    QTemporaryDir home;
    const QString user = home.filePath(QStringLiteral("config/velmora_viewer"));
    Settings(program.path()).writeString(QStringLiteral("Setup"), QStringLiteral("Unit"), QStringLiteral("1"));
    QFile ini(Settings::filePath(program.path()));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("[Setup]\nUnit=1")); // on disk at once, in the group older versions read
    QFile::setPermissions(ini.fileName(), QFile::ReadOwner | QFile::ReadGroup);

    QCOMPARE(Settings::chooseFolder(program.path(), true, user), program.path());
    QCOMPARE(Settings::chooseFolder(program.path(), false, user), user);
    Settings taken(user);
    int unit = 0;
    QVERIFY(taken.readInt(QStringLiteral("Setup"), QStringLiteral("Unit"), unit));
    QCOMPARE(unit, 1);
    taken.writeString(QStringLiteral("Setup"), QStringLiteral("Unit"), QStringLiteral("0"));
    // The next start keeps what the user changed since.
    QCOMPARE(Settings::chooseFolder(program.path(), false, user), user);
    QVERIFY(Settings(user).readInt(QStringLiteral("Setup"), QStringLiteral("Unit"), unit));
    QCOMPARE(unit, 0);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
