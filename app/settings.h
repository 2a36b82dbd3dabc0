#pragma once

#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// The settings file "sysConfig.ini" (INI format) in one folder. Reads leave
// the caller's default when the key is missing. Only a regular file (or
// none) is read and written: a link, FIFO, folder, device or an oversized
// file in its place is set aside with a warning, the defaults are used and
// nothing is written there. Qt's INI reader and writer work on a private
// copy; the file itself is read once from a checked descriptor and written
// whole (writeWholeFile) after each change.
class Settings
{
public:
    // folder: where sysConfig.ini lives (defaultFolder() when empty).
    explicit Settings(const QString &folder = QString());
    ~Settings();

    // Beside the program when the file may live there (keepsUserFileBeside),
    // else the user's configuration folder.
    static QString defaultFolder();
    // The choice of defaultFolder(), by userFileFolder: userFolder, when the
    // file may not live beside the program, takes over a sysConfig.ini left
    // in programFolder the first time.
    static QString chooseFolder(const QString &programFolder, const QString &userFolder);
    static QString filePath(const QString &folder);

    QString filePath() const { return mPath; }
    bool readInt(const QString &group, const QString &key, int &value) const;
    bool readString(const QString &group, const QString &key, QString &value) const;
    // Written to disk at once: the program may be ended at any time.
    void writeString(const QString &group, const QString &key, const QString &value);

private:
    // The file as it is now into the private copy; false, with *error, when
    // it is no regular file (or none) or the copy cannot be made.
    bool loadCopy(QString *error);

    QString mPath;         // sysConfig.ini itself
    bool mWritten = false; // it was a regular file or none: changes go there
    QTemporaryDir mCopyFolder;          // only this user may enter it
    std::unique_ptr<QSettings> mFile;   // on the copy in mCopyFolder
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
