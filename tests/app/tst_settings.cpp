#include "settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void missingKeysKeepTheDefault();
    void writtenValuesComeBack();
    void storedLanguage_data();
    void storedLanguage();
    void userFolderTakesOverTheOldFileOnce();
};

void TestSettings::missingKeysKeepTheDefault()
{
    QTemporaryDir dir;
    const Settings settings(dir.path());
    int value = 7;
    QString text = QStringLiteral("keep");
    QVERIFY(!settings.readInt(QStringLiteral("Setup"), QStringLiteral("volume"), value));
    QVERIFY(!settings.readString(QStringLiteral("Setup"), QStringLiteral("FileBasePath"), text));
    QCOMPARE(value, 7);
    QCOMPARE(text, QStringLiteral("keep"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("sysConfig.ini")))); // reading writes nothing
}

void TestSettings::writtenValuesComeBack()
{
    QTemporaryDir dir;
    Settings(dir.path()).writeString(QStringLiteral("Setup"), QStringLiteral("FileBasePath"), QStringLiteral("/media/card/"));
    Settings(dir.path()).writeString(QStringLiteral("menu"), QStringLiteral("language"), QStringLiteral("0"));
    // On disk at once, in the groups other programs and older versions read.
    QFile file(dir.filePath(QStringLiteral("sysConfig.ini")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ini = file.readAll();
    QVERIFY(ini.contains("[Setup]\nFileBasePath=/media/card/"));
    QVERIFY(ini.contains("[menu]\nlanguage=0"));
    const Settings again(dir.path());
    int language = 2;
    QString base;
    QVERIFY(again.readInt(QStringLiteral("menu"), QStringLiteral("language"), language));
    QVERIFY(again.readString(QStringLiteral("Setup"), QStringLiteral("FileBasePath"), base));
    QCOMPARE(language, 0); // a stored 0 is a value, not a missing key
    QCOMPARE(base, QStringLiteral("/media/card/"));
}

void TestSettings::storedLanguage_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("file");
    QTest::newRow("Chinese") << 0 << 0 << QStringLiteral("ch.pm");
    QTest::newRow("Japanese") << 2 << 2 << QStringLiteral("jp.pm");
    QTest::newRow("beyond the table") << 5 << 1 << QStringLiteral("en.pm");
    QTest::newRow("negative") << -1 << 1 << QStringLiteral("en.pm");
}

void TestSettings::storedLanguage()
{
    QFETCH(int, stored);
    QFETCH(int, language);
    QFETCH(QString, file);
    QCOMPARE(languageFromSetting(stored), language);
    QCOMPARE(translationFile(languageFromSetting(stored)), file);
}

// An installed program cannot write beside itself: the user's folder keeps
// the settings, starting from those left beside the program.
void TestSettings::userFolderTakesOverTheOldFileOnce()
{
    QTemporaryDir program;
    QTemporaryDir home;
    const QString user = home.filePath(QStringLiteral("config/velmora_viewer"));
    Settings(program.path()).writeString(QStringLiteral("Setup"), QStringLiteral("Unit"), QStringLiteral("1"));
    QFile::setPermissions(Settings::filePath(program.path()), QFile::ReadOwner | QFile::ReadGroup);

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
