#include "filelistprober.h"

#include "recordinglog.h"

#include <QRunnable>
#include <QThreadPool>

#include <atomic>
#include <mutex>

// What the workers share with the prober. The mutex keeps the prober from
// being destroyed between a worker's look at it and its posting.
struct FileListProber::Shared
{
    std::mutex mutex;
    FileListProber *owner = nullptr;
    std::atomic<quint64> cancelledBefore{0}; // tickets below this are dropped
};

FileListProber::FileListProber(QObject *parent, Reader reader)
    : QObject(parent)
    , mReader(std::move(reader))
    , mShared(std::make_shared<Shared>())
{
    registerFileListInfo();
    installFfmpegLogHandler();
    mShared->owner = this;
}

FileListProber::~FileListProber()
{
    std::lock_guard<std::mutex> lock(mShared->mutex);
    mShared->owner = nullptr;
    mShared->cancelledBefore = mNextTicket;
}

quint64 FileListProber::probe(const QString &path)
{
    const quint64 ticket = mNextTicket++;
    std::shared_ptr<Shared> shared = mShared;
    QThreadPool::globalInstance()->start(QRunnable::create([shared, reader = mReader, ticket, path] {
        if (ticket < shared->cancelledBefore.load())
            return;
        FileListInfo info;
        const bool ok = reader(path, info);
        std::lock_guard<std::mutex> lock(shared->mutex);
        FileListProber *owner = shared->owner;
        if (!owner || ticket < shared->cancelledBefore.load())
            return;
        // Posted to the prober's thread; dropped if the prober goes first.
        QMetaObject::invokeMethod(
            owner, [owner, ticket, info, ok] { owner->take(ticket, info, ok); }, Qt::QueuedConnection);
    }));
    return ticket;
}

void FileListProber::cancelAll()
{
    mShared->cancelledBefore = mNextTicket;
    mNextReport = mNextTicket;
    mEarly.clear();
}

void FileListProber::take(quint64 ticket, const FileListInfo &info, bool ok)
{
    if (ticket < mNextReport)
        return; // cancelled meanwhile
    mEarly.insert(ticket, Result{info, ok});
    // A receiver may add more while it handles one; reports stay in order
    // because each one leaves the buffer before it is emitted.
    while (mEarly.contains(mNextReport)) {
        const Result result = mEarly.take(mNextReport);
        const quint64 reported = mNextReport++;
        emit sig_Probed(reported, result.info, result.ok);
    }
}
