#pragma once

#include "filelistinfo.h"

#include <QObject>
#include <QSqlDatabase>
#include <QString>

// The file list's SQLite store, "FileList.db": one row per listed
// recording, addressed by its position in insertion order. The table is
// created anew by every openDatabase, so the list lives for one run, and
// belongs to one viewer: a second one keeps its list in memory.
// GUI thread only (a connection belongs to the thread that made it).
class sqloperate : public QObject
{
    Q_OBJECT

public:
    // folder: where FileList.db lives; connectionName: the Qt SQL connection
    // to register, the default connection when empty. Two stores with
    // different names and folders can be open at once.
    explicit sqloperate(const QString &folder = defaultFolder(), const QString &connectionName = QString(),
                        QObject *parent = nullptr);
    // Closes and unregisters the connection.
    ~sqloperate() override;

    // The program's folder, or the user's application data folder when the
    // program is installed or its folder (or a database already in it)
    // cannot be written.
    static QString defaultFolder();
    // folder + "//FileList.db"; the doubled slash is harmless.
    static QString databasePath(const QString &folder);

    // Opens the database and drops and recreates the table, keeping the
    // file locked against other viewers until the store closes. A file that cannot be used is
    // replaced. When another viewer holds the file, or none can be made,
    // the list lives in memory (all logged). False only when not even that
    // opens; every later operation then fails too.
    bool openDatabase();
    bool insertFileInfo(const FileListInfo &info);
    // Fills out from the row at position; false, out untouched, when there
    // is none (negative, past the end, or no table).
    bool selectFileInfo(int position, FileListInfo &out);
    // Deletes the row at position. Past the end deletes nothing and is
    // true; a negative position is false.
    bool deleteFileInfo(int position);
    // Rows in the table, -1 when it cannot be read.
    int rowCount();

    QString connectionName() const { return mConnection; }
    QString databaseName() const { return databasePath(mFolder); }

private:
    enum class Claim { Owned, Held, Unavailable };
    QSqlDatabase database() const;
    Claim claimFile(const QString &path);
    void releaseFile();

    QString mFolder;
    QString mConnection;
    int mLockFd = -1; // open and locked while the file is this store's
};
