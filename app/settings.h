#pragma once

#include <QSettings>
#include <QString>

// The settings file "sysConfig.ini" (INI format) in one folder. Reads leave
// the caller's default when the key is missing.
class Settings
{
public:
    // folder: where sysConfig.ini lives (defaultFolder() when empty).
    explicit Settings(const QString &folder = QString());

    // Beside the program when the file may live there (keepsUserFileBeside),
    // else the user's configuration folder.
    static QString defaultFolder();
    // The choice of defaultFolder(), by userFileFolder: userFolder, when the
    // file may not live beside the program, takes over a sysConfig.ini left
    // in programFolder the first time.
    static QString chooseFolder(const QString &programFolder, const QString &userFolder);
    static QString filePath(const QString &folder);

    QString filePath() const { return mFile.fileName(); }
    bool readInt(const QString &group, const QString &key, int &value) const;
    bool readString(const QString &group, const QString &key, QString &value) const;
    // Written to disk at once: the program may be ended at any time.
    void writeString(const QString &group, const QString &key, const QString &value);

private:
    mutable QSettings mFile;
};

// Languages of the "menu"/"language" key.
enum Language { Chinese = 0, English = 1, Japanese = 2 };
constexpr int kDefaultLanguage = Japanese; // no stored choice yet
// A stored language index as the program uses it: values it never writes
// (above 2, or negative) select English.
int languageFromSetting(int stored);
// The compiled translation of a language: "ch.pm", "en.pm" or "jp.pm".
QString translationFile(int language);
// Where the compiled translations are: "translations" beside the program,
// else share/velmora_viewer/translations of the prefix it is installed in.
QString translationsFolder();
