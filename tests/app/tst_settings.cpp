#include "settings.h"
#include "watchdog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

// The keys and defaults are tested through the window (tst_mainwindowchrome).
class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void userFolderTakesOverTheOldFileOnce();
    void onlyARegularFileIsReadOrWritten();
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

// A file QSettings wrote reads as ever. A link, a FIFO or an oversized file
// in its place is set aside: the defaults are read, a change lasts the run
// and is written neither there nor through it, and a FIFO never holds up
// the start, beside the program or taken over from there.
void TestSettings::onlyARegularFileIsReadOrWritten()
{
    QTemporaryDir dir;
    const QString written = dir.filePath(QStringLiteral("written"));
    QVERIFY(QDir().mkpath(written));
    {
        QSettings earlier(Settings::filePath(written), QSettings::IniFormat);
        earlier.setValue(QStringLiteral("menu/language"), 1);
        earlier.setValue(QStringLiteral("Setup/FileBasePath"), QStringLiteral("/media/カード 1"));
    }
    int value = -1;
    QString text;
    Settings earlier(written);
    QVERIFY(earlier.readInt(QStringLiteral("menu"), QStringLiteral("language"), value));
    QCOMPARE(value, 1);
    QVERIFY(earlier.readString(QStringLiteral("Setup"), QStringLiteral("FileBasePath"), text));
    QCOMPARE(text, QStringLiteral("/media/カード 1"));

    const QByteArray stored("[Setup]\nUnit=1\n");
    const QString target = dir.filePath(QStringLiteral("target.ini"));
    QFile file(target);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(stored) == stored.size());
    file.close();
    QStringList folders;
    for (const char *name : {"link", "fifo", "large", "bin"}) {
        folders << dir.filePath(QLatin1String(name));
        QVERIFY(QDir().mkpath(folders.last()));
    }
    QVERIFY(QFile::link(target, Settings::filePath(folders[0])));
    QVERIFY(::mkfifo(QFile::encodeName(Settings::filePath(folders[1])).constData(), 0600) == 0);
    QFile large(Settings::filePath(folders[2]));
    QVERIFY(large.open(QIODevice::WriteOnly) && large.write(stored + QByteArray(2 << 20, ';')) > 2 << 20);
    large.close();
    QVERIFY(::mkfifo(QFile::encodeName(Settings::filePath(folders[3])).constData(), 0600) == 0);
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("share/velmora_viewer"))));
    const QString user = dir.filePath(QStringLiteral("config"));
    QCOMPARE(guarded("chooseFolder", [&] { return Settings::chooseFolder(folders[3], user); }), user);
    QVERIFY(!QFileInfo::exists(Settings::filePath(user)));
    folders[3] = user;
    QVERIFY(::mkfifo(QFile::encodeName(Settings::filePath(user)).constData(), 0600) == 0);

    for (const QString &folder : folders) {
        auto settings = guarded("Settings", [&] { return std::make_unique<Settings>(folder); });
        QVERIFY2(!settings->readInt(QStringLiteral("Setup"), QStringLiteral("Unit"), value), qPrintable(folder));
        guarded("writeString", [&] { settings->writeString(QStringLiteral("Setup"), QStringLiteral("Unit"), QStringLiteral("0")); });
        QVERIFY(settings->readInt(QStringLiteral("Setup"), QStringLiteral("Unit"), value));
        QCOMPARE(value, 0);
    }
    QVERIFY(QFileInfo(Settings::filePath(folders[0])).isSymLink());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), stored);
    QCOMPARE(QFileInfo(large).size(), qint64(stored.size() + (2 << 20)));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
