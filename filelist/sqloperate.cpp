#include "sqloperate.h"

#include "installlayout.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

const char kFileName[] = "FileList.db";
constexpr int kBusyWaitMs = 250; // longest wait for another reader's lock, on the GUI thread
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
    if (QSqlDatabase::contains(mConnection)) {
        {
            QSqlDatabase db = QSqlDatabase::database(mConnection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(mConnection);
    }
    releaseFile();
}

QString sqloperate::defaultFolder()
{
    return userFileFolder(QCoreApplication::applicationDirPath(), QLatin1String(kFileName),
                          QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

QString sqloperate::databasePath(const QString &folder)
{
    return folder + QStringLiteral("//") + QLatin1String(kFileName);
}

QSqlDatabase sqloperate::database() const
{
    return QSqlDatabase::database(mConnection, false);
}

namespace {

enum class Setup { Ready, Held, Failed };

// Another connection has the file locked: another viewer's list.
bool heldElsewhere(const QSqlError &error)
{
    const int primary = error.nativeErrorCode().toInt() & 0xff; // extended codes keep it in the low byte
    return primary == 5 /* SQLITE_BUSY */ || primary == 6 /* SQLITE_LOCKED */;
}

Setup failure(const QSqlError &error)
{
    qCDebug(lcFileList) << "store failed:" << error.nativeErrorCode() << error.databaseText();
    return heldElsewhere(error) ? Setup::Held : Setup::Failed;
}

Setup createTable(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    // The rows live for one run: waiting for the disk, or a journal file
    // made and removed for every insert, buys nothing.
    query.exec(QStringLiteral("PRAGMA synchronous=OFF"));
    query.exec(QStringLiteral("PRAGMA journal_mode=MEMORY"));
    if (!query.exec(QStringLiteral("select count(*) from sqlite_master where type='table' and name='%1'")
                        .arg(QStringLiteral("FileList")))
        || !query.next())
        return failure(query.lastError());
    if (query.value(0).toInt() != 0) {
        qCDebug(lcFileList) << "recreate Filelist table";
        if (!query.exec(QStringLiteral("drop table FileList"))) {
            qCDebug(lcFileList) << "recreate delete Filelist table failed";
            return failure(query.lastError());
        }
        if (!query.exec(QLatin1String(kCreateTable))) {
            qCDebug(lcFileList) << "recreate create Filelist table failed";
            return failure(query.lastError());
        }
    } else {
        qCDebug(lcFileList) << "Create Filelist table";
        if (!query.exec(QLatin1String(kCreateTable))) {
            qCDebug(lcFileList) << "Create Filelist table failed";
            return failure(query.lastError());
        }
    }
    // Damage away from the table would only show at some later insert.
    if (!query.exec(QStringLiteral("PRAGMA quick_check")) || !query.next())
        return failure(query.lastError());
    return query.value(0).toString() == QLatin1String("ok") ? Setup::Ready : Setup::Failed;
}

Setup setUp(QSqlDatabase &db, const QString &name)
{
    db.close();
    db.setDatabaseName(name);
    if (!db.open()) {
        qCDebug(lcFileList) << "open failed" << db.databaseName();
        return failure(db.lastError());
    }
    const Setup result = createTable(db);
    if (result != Setup::Ready)
        db.close();
    return result;
}

} // namespace

// The file is this viewer's while it holds an exclusive lock on it, of a
// kind SQLite does not use itself (it locks byte ranges), so that its own
// locking and outside readers work as ever. The system drops the lock with
// the process.
sqloperate::Claim sqloperate::claimFile(const QString &path)
{
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    const auto openFile = [&name] { return ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600); };
    int fd = openFile();
    if (fd < 0 && errno == ELOOP) {
        // A link is not followed into somebody's file: it goes, its target stays.
        qCWarning(lcFileList) << "unusable store replaced:" << path;
        if (QFile::remove(path))
            fd = openFile();
    }
    if (fd < 0) {
        qCDebug(lcFileList) << "open failed" << path;
        return Claim::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? Claim::Held : Claim::Unavailable;
    }
    mLockFd = fd;
#else
    Q_UNUSED(path)
#endif
    return Claim::Owned;
}

void sqloperate::releaseFile()
{
#ifdef Q_OS_UNIX
    if (mLockFd >= 0)
        ::close(mLockFd);
#endif
    mLockFd = -1;
}

bool sqloperate::openDatabase()
{
    QSqlDatabase db = QSqlDatabase::contains(mConnection)
                          ? database()
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), mConnection);
    // An outside reader's lock lasts a moment: an insert waits it out rather
    // than fail (the panel would drop the entry), but never for the driver's 5 s.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyWaitMs));
    const QString path = databaseName();
    releaseFile();
    const Claim claim = claimFile(path);
    if (claim == Claim::Owned) {
        Setup result = setUp(db, path);
        if (result == Setup::Failed && mLockFd >= 0) {
            // Nobody else uses it and this viewer cannot: left as it is it
            // would break the list at every start. The rows last one run anyway.
            qCWarning(lcFileList) << "unusable store replaced:" << path;
            QFile::remove(path + QStringLiteral("-journal")); // would be played back into the new file
            if (::ftruncate(mLockFd, 0) == 0)
                result = setUp(db, path);
        }
        if (result == Setup::Ready)
            return true;
        releaseFile();
    }
    qCWarning(lcFileList) << (claim == Claim::Held ? "store held by another viewer, list kept in memory:"
                                                   : "store cannot be made, list kept in memory:")
                          << path;
    return setUp(db, QStringLiteral(":memory:")) == Setup::Ready;
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
