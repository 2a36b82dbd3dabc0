#include "sqloperate.h"

#include "installlayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

namespace {

const char kFileName[] = "FileList.db";
const char kCreateTable[] =
    "create table FileList (id integer primary key autoincrement,num int,name varchar(128),path varchar(256), "
    "date varchar(32),duration varchar(16), resolution varchar(16),size varchar(16),durationInt int)";

} // namespace

sqloperate::sqloperate(const QString &folder, const QString &connectionName, QObject *parent)
    : QObject(parent)
    , mFolder(folder)
    , mConnection(connectionName.isEmpty() ? QString::fromLatin1(QSqlDatabase::defaultConnection) : connectionName)
{
    registerFileListInfo();
}

sqloperate::~sqloperate()
{
    if (!QSqlDatabase::contains(mConnection))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(mConnection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(mConnection);
}

QString sqloperate::defaultFolder()
{
    const QString program = QCoreApplication::applicationDirPath();
    if (keepsUserFileBeside(program, QLatin1String(kFileName)))
        return program;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data;
}

QString sqloperate::databasePath(const QString &folder)
{
    return folder + QStringLiteral("//") + QLatin1String(kFileName);
}

QSqlDatabase sqloperate::database() const
{
    return QSqlDatabase::database(mConnection, false);
}

bool sqloperate::openDatabase()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), mConnection);
    db.setDatabaseName(databaseName());
    if (!db.open()) {
        qCDebug(lcFileList) << "open failed" << db.databaseName();
        return false;
    }
    QSqlQuery query(db);
    // The rows live for one run: waiting for the disk, or a journal file
    // made and removed for every insert, buys nothing.
    query.exec(QStringLiteral("PRAGMA synchronous=OFF"));
    query.exec(QStringLiteral("PRAGMA journal_mode=MEMORY"));
    query.exec(QStringLiteral("select count(*) from sqlite_master where type='table' and name='%1'")
                   .arg(QStringLiteral("FileList")));
    if (!query.next())
        return false;
    if (query.value(0).toInt() != 0) {
        qCDebug(lcFileList) << "recreate Filelist table";
        if (!query.exec(QStringLiteral("drop table FileList"))) {
            qCDebug(lcFileList) << "recreate delete Filelist table failed";
            return false;
        }
        if (!query.exec(QLatin1String(kCreateTable))) {
            qCDebug(lcFileList) << "recreate create Filelist table failed";
            return false;
        }
        return true;
    }
    qCDebug(lcFileList) << "Create Filelist table";
    if (!query.exec(QLatin1String(kCreateTable))) {
        qCDebug(lcFileList) << "Create Filelist table failed";
        return false;
    }
    return true;
}

bool sqloperate::insertFileInfo(const FileListInfo &info)
{
    QSqlQuery query(database());
    if (!query.prepare(QStringLiteral("insert into FileList values(NULL,?,?,?,?,?,?,?,?)")))
        return false;
    query.addBindValue(info.num);
    query.addBindValue(info.name);
    query.addBindValue(info.path);
    query.addBindValue(info.date);
    query.addBindValue(info.duration);
    query.addBindValue(info.resolution);
    query.addBindValue(info.size);
    query.addBindValue(info.durationInt);
    return query.exec();
}

bool sqloperate::selectFileInfo(int position, FileListInfo &out)
{
    // SQLite reads a negative offset as 0: it would return the first row.
    if (position < 0)
        return false;
    QSqlQuery query(database());
    if (!query.prepare(QStringLiteral("select * from FileList where id=(select id from FileList Limit '%1',1)")
                           .arg(position))
        || !query.exec() || !query.next())
        return false;
    out.num = query.value(1).toInt();
    out.name = query.value(2).toString();
    out.path = query.value(3).toString();
    out.date = query.value(4).toString();
    out.duration = query.value(5).toString();
    out.resolution = query.value(6).toString();
    out.size = query.value(7).toString();
    out.durationInt = query.value(8).toInt();
    return true;
}

bool sqloperate::deleteFileInfo(int position)
{
    if (position < 0)
        return false;
    QSqlQuery query(database());
    if (!query.prepare(QStringLiteral("delete from FileList where id=(select id from FileList Limit '%1',1)")
                           .arg(position)))
        return false;
    return query.exec();
}

int sqloperate::rowCount()
{
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("select count(*) from FileList")) || !query.next())
        return -1;
    return query.value(0).toInt();
}
